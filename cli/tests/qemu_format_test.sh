#!/usr/bin/env bash
# Formatting through the real floppy driver (/dev/fd0) in the QEMU rig: a
# 1.44 MB disk formatted with an empty FAT volume that mtools reads, a
# 720 KB format, a write-protected disk refused, and a 1.72 MB disk read
# whole with its 21 sectors a track found.
#
# Usage: qemu_format_test.sh TESSIL_CLI [RIG_DIR]
# Exits 77 (skipped) when the rig or mtools is not there.
set -euo pipefail

cli=$(realpath "$1")
repository=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
rig=${2:-${TESSIL_QEMU_RIG:-$repository/../shared/qemu-floppy}}
if [[ ! -x $rig/run-in-guest.sh ]] || ! command -v mdir >/dev/null; then
  echo "SKIP: no QEMU rig at $rig (set TESSIL_QEMU_RIG), or no mtools"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir payload
cp "$cli" payload/tessil-cli

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# in_guest IMAGE [RIG OPTION...] -- SCRIPT: runs SCRIPT with drive X on
# /dev/fd0 holding IMAGE; its files come back in out/.
in_guest() {
  local image=$1
  shift
  rm -rf out
  "$rig/run-in-guest.sh" --media "$image" --payload payload --out out --timeout 300 "$@" \
    -- sh -c "export TESSIL_DRIVE_X=/dev/fd0; $SCRIPT" >/dev/null
}

# QEMU's controller takes the format commands but leaves the image's data
# as they were, so what is checked is the outcome, the read-back and the FAT
# volume written on top.
"$rig/mkimage.sh" 1440 disk.img >/dev/null
SCRIPT='set -- $(cat /sys/block/fd0/stat); before=$1
        ./tessil-cli format X --fat --label "new box" --yes >out/log 2>&1; echo $? >out/status
        set -- $(cat /sys/block/fd0/stat); echo $(($1 - before)) >out/reads'
in_guest disk.img
[[ $(cat out/status) == 0 ]] || { cat out/log; fail "the 1.44 MB format exited $(cat out/status)"; }
grep -q "formatted as 1.44 MB with an empty FAT volume" out/log || fail "$(cat out/log)"
mdir -i disk.img :: 2>&1 | grep -q 'Volume in drive : is NEW BOX' || fail "mdir: $(mdir -i disk.img :: 2>&1)"
mdir -i disk.img :: 2>&1 | grep -q 'No files' || fail "the volume is not empty"
# The read-back asks for whole tracks: one request a track, and a few for
# the look at the disk before.
(( $(cat out/reads) <= 180 )) || fail "the format sent $(cat out/reads) reads"
echo "1.44 MB with a FAT volume, $(cat out/reads) reads: ok"

"$rig/mkimage.sh" 720 small.img >/dev/null
SCRIPT='./tessil-cli format X --type 720 --yes >out/log 2>&1; echo $? >out/status
        ./tessil-cli format X --type 720 --yes >out/stopped 2>&1 & sleep 1; kill -INT $!
        wait $!; echo $? >out/stopped-status'
in_guest small.img --fd-type 144
[[ $(cat out/status) == 0 ]] || { cat out/log; fail "the 720 KB format exited $(cat out/status)"; }
grep -q "formatted as 720 KB, 160 tracks read back" out/log || fail "$(cat out/log)"
[[ $(cat out/stopped-status) == 105 ]] || fail "Ctrl-C gave $(cat out/stopped-status): $(cat out/stopped)"
grep -q "only partly formatted\|not every track was read back" out/stopped || fail "$(cat out/stopped)"
echo "720 KB, and stopped by Ctrl-C: ok"

# A 720 KB image for an old machine, onto a 1.44 MB disk. QEMU's controller
# keeps the medium's own data rate, so the 720 KB tracks do not read back:
# the write must then never start.
"$rig/mkimage.sh" 1440 hd.img >/dev/null
cp hd.img hd.before
"$rig/mkimage.sh" 720 payload/old.ima >/dev/null
SCRIPT='./tessil-cli write old.ima X --yes >out/refused 2>&1; echo $? >out/refused-status
        ./tessil-cli write old.ima X --yes --format >out/log 2>&1; echo $? >out/status'
in_guest hd.img
[[ $(cat out/refused-status) == 108 ]] || fail "without --format: $(cat out/refused)"
grep -q "give --format to format the disk as 720 KB first" out/refused || fail "$(cat out/refused)"
[[ $(cat out/status) == 3 ]] || { cat out/log; fail "write --format exited $(cat out/status)"; }
grep -q "160 tracks did not read back: cylinder 0 head 0, .* and 152 more" out/log ||
  fail "$(cat out/log)"
cmp -s hd.img hd.before || fail "the disk was written after a format that did not read back"
echo "write --format, and a format that does not read back: ok"

"$rig/mkimage.sh" 1440 locked.img >/dev/null
cp locked.img locked.before
SCRIPT='./tessil-cli format X --yes >out/log 2>&1; echo $? >out/status'
in_guest locked.img --readonly
[[ $(cat out/status) == 110 ]] || { cat out/log; fail "a write-protected disk gave $(cat out/status)"; }
cmp -s locked.img locked.before || fail "the write-protected disk changed"
echo "write-protected: ok"

# 82 cylinders of 21 sectors: the driver alone takes it for 1.44 MB.
"$rig/mkimage.sh" 1722 dense.img >/dev/null
tr 'A-Z' 'a-z' <dense.img >payload/other.img
SCRIPT='./tessil-cli info X >out/info 2>&1; ./tessil-cli read X out/copy.img >out/log 2>&1
        echo $? >out/status
        ./tessil-cli write other.img X --yes >out/write 2>&1; echo $? >out/write-status'
in_guest dense.img
[[ $(cat out/status) == 0 ]] || { cat out/log; fail "the 1.72 MB read exited $(cat out/status)"; }
grep -q "Format:    1.72 MB" out/info || fail "info does not name the 1.72 MB format: $(cat out/info)"
cmp "$work/out/copy.img" <("$rig/mkimage.sh" 1722 /dev/stdout) ||
  fail "the 1.72 MB read is not the disk"
[[ $(cat out/write-status) == 0 ]] || { cat out/write; fail "the 1.72 MB write failed"; }
cmp dense.img payload/other.img || fail "the 1.72 MB disk does not hold what was written"
echo "1.72 MB read and written: ok"
echo "PASS"
