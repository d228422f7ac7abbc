#!/usr/bin/env bash
# Benchmark: the rescue read beside GNU ddrescue (-d -r2) on the same
# damaged USB disk in the QEMU rig. Prints, for each, the median time to
# finish and the sectors rescued, and checks that every sector either
# claims rescued holds the disk's bytes.
#
# Usage: bench/rescue.sh TESSIL_CLI [RUNS] [RIG_DIR]   (RUNS: 5)
# Not a test: no pass mark on time; it fails only when a run fails or an
# image holds a wrong sector.
set -euo pipefail

cli=$(realpath "$1")
runs=${2:-5}
# The rig lives in the shared folder beside the repository.
rig=${3:-${TESSIL_QEMU_RIG:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/../shared/qemu-floppy}}
ddrescue=$(command -v ddrescue) || { echo "bench: install gddrescue" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A 1.44 MB disk whose sector i holds "SECTOR iiiiii" repeated; the damage:
# the first and the last sector, two lone ones and a run of 32.
"$rig/mkimage.sh" 1440 disk.img >/dev/null
bad=(0 100 1441 $(seq 2000 2031) 2879)
rig_bad=()
for s in "${bad[@]}"; do rig_bad+=(--bad-sector "$s"); done
mkdir payload
cp "$cli" payload/tessil-cli
cp "$ddrescue" payload/ddrescue

declare -A command=(
  [tessil]='TESSIL_DRIVE_X=$RIG_DEV ./tessil-cli read X out/disk.img --rescue --retries 2 >out/log 2>&1; echo $? >out/status'
  [ddrescue]='./ddrescue -d -r2 $RIG_DEV out/disk.img out/disk.img.map >out/log 2>&1; echo $? >out/status'
)
declare -A expected_status=([tessil]=4 [ddrescue]=0)
declare -A data_offset=([tessil]=316 [ddrescue]=0)
declare -A times

# Every sector the map calls rescued holds the disk's bytes.
check_image() {
  local tool=$1 dir=$2
  tail -c +$((${data_offset[$tool]} + 1)) "$dir/disk.img" >"$dir/data"
  local rescued
  rescued=$(ddrescuelog -b512 -l+ "$dir/disk.img.map")
  for s in $(cmp -l "$dir/data" disk.img 2>/dev/null | awk '{print int(($1 - 1) / 512)}' | sort -un); do
    if grep -qx "$s" <<<"$rescued"; then
      echo "bench: $tool: rescued sector $s differs from the disk" >&2
      exit 1
    fi
  done
  wc -l <<<"$rescued"
}

for ((run = 1; run <= runs; run++)); do
  # Alternate which tool goes first.
  order=(tessil ddrescue)
  ((run % 2 == 0)) && order=(ddrescue tessil)
  for tool in "${order[@]}"; do
    out="out-$tool-$run"
    timing=$("$rig/run-in-guest.sh" --usb --readonly --media disk.img --payload payload \
      --out "$out" --timing "${rig_bad[@]}" -- sh -c "${command[$tool]}" 2>&1 | grep rig-timing)
    status=$(cat "$out/status")
    if [[ $status != "${expected_status[$tool]}" ]]; then
      echo "bench: $tool exited $status" >&2
      cat "$out/log" >&2
      exit 1
    fi
    seconds=$(sed -E 's/.* cmd=([0-9.]+).*/\1/' <<<"$timing")
    rescued=$(check_image "$tool" "$out")
    times[$tool]+="$seconds "
    echo "run $run: $tool ${seconds} s, $rescued of 2880 sectors rescued"
  done
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
for tool in tessil ddrescue; do
  echo "median: $tool $(median <<<"${times[$tool]}") s"
done
