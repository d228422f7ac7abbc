#!/usr/bin/env bash
# One rescue end to end on the real kernel drivers: a FAT12 floppy image on
# the QEMU rig's USB disk (usb-storage, sd), with sectors that fail on read.
# The first run reads the disk plainly, which stops at the first bad sector
# and names it with the command that rescues the rest; that rescue takes up
# what the read got, rescues everything else and exits 4; the map is checked
# with ddrescuelog and the image against the disk. The second run, on the
# same disk without the damage (as after cleaning it), takes up the map,
# reads only the missing sectors and exits 0 with the image whole. A third
# run rescues the disk through the floppy driver (/dev/fd0), where QEMU
# cannot fail a read, and checks that the driver's error thresholds are
# lowered during the rescue and restored after it.
#
# Usage: qemu_rescue_test.sh TESSIL_CLI LINUX_PLATFORM_TESTS [RIG_DIR]
# Exits 77 (skipped) when the rig or ddrescuelog is not there.
set -euo pipefail

cli=$(realpath "$1")
platform_tests=$(realpath "$2")
# The rig lives in the shared folder beside the repository.
repository=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
rig=${3:-${TESSIL_QEMU_RIG:-$repository/../shared/qemu-floppy}}
if [[ ! -x $rig/run-in-guest.sh ]]; then
  echo "SKIP: no QEMU rig at $rig (set TESSIL_QEMU_RIG)"
  exit 77
fi
for tool in ddrescuelog mkfs.fat mcopy cmp; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# BIG.BIN fills the data area from sector 33 to past 2100; SMALL.TXT is
# written first, so BIG.BIN starts at sector 34.
mkfs.fat -C -F 12 disk.img 1440 >/dev/null
echo "a small file" >small.txt
(yes "tessil rescue test data" || true) | head -c 1100000 >big.bin
mcopy -i disk.img small.txt ::/SMALL.TXT
mcopy -i disk.img big.bin ::/BIG.BIN

bad=(700 701 702 703 704 705 706 707 1441 2879)
rig_bad=()
for s in "${bad[@]}"; do rig_bad+=(--bad-sector "$s"); done

mkdir payload
cp "$cli" payload/tessil-cli
# The image and the map of the first run, handed to the second.
run_guest() {
  "$rig/run-in-guest.sh" --usb --readonly --media disk.img --payload payload --out "$1" \
    --timeout 240 "${@:2}"
}

echo "== first run: ${#bad[@]} bad sectors, a plain read, then its rescue"
run_guest out1 "${rig_bad[@]}" -- sh -c \
  'TESSIL_DRIVE_X=$RIG_DEV ./tessil-cli read X out/disk.tsl 2>out/plain.err
   echo $? >out/plain-status
   TESSIL_DRIVE_X=$RIG_DEV ./tessil-cli read X out/disk.tsl --rescue --json >out/result.json
   echo $? >out/status'
[[ $(cat out1/plain-status) == 104 ]] || fail "the plain read exited $(cat out1/plain-status), not 104"
grep -q 'sector 700' out1/plain.err || fail "the plain read does not name sector 700: $(cat out1/plain.err)"
grep -q 'read X out/disk.tsl --rescue' out1/plain.err ||
  fail "the plain read does not give the rescue's command: $(cat out1/plain.err)"
[[ $(cat out1/status) == 4 ]] || fail "first run exited $(cat out1/status), not 4"

expected_bad=$(printf '%s\n' "${bad[@]}")
[[ $(ddrescuelog -b512 -l- out1/disk.tsl.map) == "$expected_bad" ]] ||
  fail "the map's bad sectors are not the failing ones"
[[ $(ddrescuelog -b512 -l+ out1/disk.tsl.map | wc -l) == $((2880 - ${#bad[@]})) ]] ||
  fail "the map does not hold every other sector as rescued"
ddrescuelog -D out1/disk.tsl.map && fail "ddrescuelog finds the rescue finished"

[[ $(stat -c %s out1/disk.tsl) == $((316 + 1474560)) ]] || fail "the image is not whole"
tail -c +317 out1/disk.tsl >data1.bin
differing=$(cmp -l data1.bin disk.img | awk '{print int(($1 - 1) / 512)}' | sort -un || true)
for s in $differing; do
  [[ " ${bad[*]} " == *" $s "* ]] || fail "sector $s differs from the disk"
done
for s in "${bad[@]}"; do
  cmp -s <(dd if=data1.bin bs=512 skip="$s" count=1 2>/dev/null) <(head -c 512 /dev/zero) ||
    fail "bad sector $s is not zero-filled"
done

grep -q '"bad_sector_count": 10' out1/result.json || fail "the JSON does not count 10 bad sectors"
grep -q '"BIG.BIN"' out1/result.json || fail "the JSON does not name BIG.BIN"
grep -q '"SMALL.TXT"' out1/result.json && fail "the JSON names SMALL.TXT, which is intact"

echo "== second run: the same disk without the damage, resuming the map"
cp out1/disk.tsl out1/disk.tsl.map payload/
run_guest out2 -- sh -c \
  'cp disk.tsl disk.tsl.map out/ && TESSIL_DRIVE_X=$RIG_DEV ./tessil-cli read X out/disk.tsl --rescue >out/result.txt
   echo $? >out/status'
[[ $(cat out2/status) == 0 ]] || fail "second run exited $(cat out2/status), not 0"
ddrescuelog -D out2/disk.tsl.map || fail "ddrescuelog does not find the rescue finished"
tail -c +317 out2/disk.tsl | cmp - disk.img || fail "the resumed image differs from the disk"

echo "== third run: the floppy driver"
rm -f payload/disk.tsl payload/disk.tsl.map
cp "$platform_tests" payload/linux_platform_tests
"$rig/run-in-guest.sh" --media disk.img --readonly --payload payload --out out3 --timeout 240 -- sh -c \
  'TESSIL_TEST_FLOPPY=/dev/fd0 ./linux_platform_tests --gtest_filter=RescueIo.Floppy* >out/gtest.txt 2>&1
   echo $? >out/gtest-status
   TESSIL_DRIVE_X=/dev/fd0 ./tessil-cli read X out/disk.tsl --rescue >out/result.txt
   echo $? >out/status'
[[ $(cat out3/gtest-status) == 0 ]] || { cat out3/gtest.txt; fail "floppy thresholds"; }
[[ $(cat out3/status) == 0 ]] || fail "floppy rescue exited $(cat out3/status), not 0"
tail -c +317 out3/disk.tsl | cmp - disk.img || fail "the floppy's image differs from the disk"
echo "PASS"
