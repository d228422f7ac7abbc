#!/usr/bin/env bash
# A write and then a verify through the real floppy driver (/dev/fd0) in the
# QEMU rig, counting the requests the device got (/sys/block/fd0/stat): the
# write reads nothing beyond the few sectors its look at the disk takes and
# writes in whole tracks, the verify reads in whole tracks, and the disk
# ends up holding the image.
#
# Usage: qemu_tracks_test.sh TESSIL_CLI [RIG_DIR]
# Exits 77 (skipped) when the rig is not there.
set -euo pipefail

cli=$(realpath "$1")
repository=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
rig=${2:-${TESSIL_QEMU_RIG:-$repository/../shared/qemu-floppy}}
if [[ ! -x $rig/run-in-guest.sh ]]; then
  echo "SKIP: no QEMU rig at $rig (set TESSIL_QEMU_RIG)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The disk holds one pattern, the image another: every sector changes.
"$rig/mkimage.sh" 1440 disk.img >/dev/null
mkdir payload
cp "$cli" payload/tessil-cli
tr 'A-Z' 'a-z' <disk.img >payload/image.ima

"$rig/run-in-guest.sh" --media disk.img --payload payload --out out --timeout 400 -- sh -c '
  counts() { set -- $(cat /sys/block/fd0/stat); echo "$1 $3 $5 $7"; }
  export TESSIL_DRIVE_X=/dev/fd0
  a=$(counts); ./tessil-cli write image.ima X --yes --no-verify >out/write.log 2>&1
  echo $? >out/write-status
  b=$(counts); ./tessil-cli verify image.ima X >out/verify.log 2>&1
  echo $? >out/verify-status
  c=$(counts); echo $a $b $c >out/stat'

[[ $(cat out/write-status) == 0 ]] || { cat out/write.log; fail "the write exited $(cat out/write-status)"; }
[[ $(cat out/verify-status) == 0 ]] || { cat out/verify.log; fail "the verify exited $(cat out/verify-status)"; }
cmp disk.img payload/image.ima || fail "the disk does not hold the image"

read -r r0 rs0 w0 ws0 r1 rs1 w1 ws1 r2 rs2 w2 ws2 <out/stat
echo "write: $((r1 - r0)) reads of $((rs1 - rs0)) sectors, $((w1 - w0)) writes of $((ws1 - ws0))"
echo "verify: $((r2 - r1)) reads of $((rs2 - rs1)) sectors, $((w2 - w1)) writes"
(( rs1 - rs0 <= 16 )) || fail "the write read $((rs1 - rs0)) sectors"
(( w1 - w0 <= 160 && ws1 - ws0 == 2880 )) || fail "the write sent $((w1 - w0)) writes"
(( r2 - r1 <= 160 )) || fail "the verify sent $((r2 - r1)) reads"
(( w2 == w1 )) || fail "the verify wrote"
echo "PASS"
