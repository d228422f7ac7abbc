#!/usr/bin/env bash
# Benchmark: the commands each job of tessil-cli sends a 1.44 MB disk, on
# the QEMU rig's floppy driver (/dev/fd0) and its USB disk, and the time
# they would take on a real drive turning at 300 rpm.
#
# Usage: bench/commands.sh TESSIL_CLI [RIG_DIR]
# Not a test: no pass mark; it fails only when a job fails. Method and
# figures: bench/README.md.
set -euo pipefail

cli=$(realpath "$1")
rig=${2:-${TESSIL_QEMU_RIG:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/../shared/qemu-floppy}}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$rig/mkimage.sh" 1440 disk.img >/dev/null
mkdir payload
cp "$cli" payload/tessil-cli
cp disk.img payload/image.ima

# Each job in a guest of its own, between two looks at the block layer's
# counts of the device (/sys/block/DEV/stat: reads, sectors read, writes,
# sectors written). "none" is the guest's own traffic, for the USB trace.
declare -A job=(
  [none]=true
  [read]='./tessil-cli read X out/disk.img --no-report'
  [write]='./tessil-cli write image.ima X --yes --no-verify'
  [verify]='./tessil-cli verify image.ima X'
  [write+verify]='./tessil-cli write image.ima X --yes'
)
jobs=(none read write verify write+verify)
guest='counts() { set -- $(cat /sys/block/${RIG_DEV#/dev/}/stat); echo "$1 $3 $5 $7"; }
  before=$(counts); TESSIL_DRIVE_X=$RIG_DEV JOB >out/log 2>&1; echo $? >out/status
  after=$(counts); echo $before $after >out/stat'

# A 300 rpm drive: a track (18 sectors) passes in 0.2 s, and a command
# that does not follow the one before at once waits up to a turn.
project() { awk -v c="$1" -v s="$2" 'BEGIN { printf "%.0f", (c + s / 18) * 0.2 }'; }

printf '%-6s %-13s %7s %9s %7s %9s %10s\n' drive job reads sectors writes sectors "300rpm s"
for kind in fd0 usb; do
  opts=()
  [[ $kind == usb ]] && opts=(--usb)
  declare -A base=([reads]=0 [rsec]=0 [writes]=0 [wsec]=0)
  for name in "${jobs[@]}"; do
    command=${job[$name]}
    trace=$work/trace-$kind-$name.log
    extra=()
    [[ $kind == usb ]] && extra=(--qemu-arg -trace --qemu-arg "scsi_req_parsed,file=$trace")
    cp disk.img media.img
    "$rig/run-in-guest.sh" "${opts[@]}" --media media.img --payload payload --out out \
      --timeout 600 "${extra[@]}" -- sh -c "${guest//JOB/$command}" >/dev/null
    status=$(cat out/status)
    if [[ $status != 0 ]]; then
      echo "bench: $kind $name exited $status" >&2
      cat out/log >&2
      exit 1
    fi
    read -r r0 rs0 w0 ws0 r1 rs1 w1 ws1 <out/stat
    reads=$((r1 - r0)) rsec=$((rs1 - rs0)) writes=$((w1 - w0)) wsec=$((ws1 - ws0))
    if [[ $kind == usb ]]; then
      # Every SCSI command the disk received, SG_IO included: 40 READ(10),
      # 42 WRITE(10), with the bytes each moved; less the guest's own.
      counts=$(awk '{for (i = 1; i < NF; i++) { if ($i == "command") c = $(i + 1); if ($i == "length") l = $(i + 1) }
                     if (c == 40) { r++; rs += l / 512 } if (c == 42) { w++; ws += l / 512 } }
                    END { print r + 0, rs + 0, w + 0, ws + 0 }' "$trace")
      read -r reads rsec writes wsec <<<"$counts"
      if [[ $name == none ]]; then
        base=([reads]=$reads [rsec]=$rsec [writes]=$writes [wsec]=$wsec)
        continue
      fi
      reads=$((reads - base[reads])) rsec=$((rsec - base[rsec]))
      writes=$((writes - base[writes])) wsec=$((wsec - base[wsec]))
    fi
    [[ $name == none ]] && continue
    printf '%-6s %-13s %7d %9d %7d %9d %10s\n' "$kind" "$name" "$reads" "$rsec" "$writes" \
      "$wsec" "$(project $((reads + writes)) $((rsec + wsec)))"
  done
done
