#!/usr/bin/env bash
# Benchmark: copy a 64 MiB file-backed drive into an image through the real
# libtessil.so and write the image back onto a second 64 MiB file-backed
# drive, do the same two copies with tessil-cli, and time dd with 512-byte
# blocks doing them too. Prints the median wall time of each, the ratios
# tessil-cli / library and library / dd, and the peak memory.
#
# Usage: bench/run.sh [BUILD_DIR] [RUNS]   (defaults: build, 3)
# BUILD_DIR is configured with the default preset and built when needed.
# Not a test: nothing here has a pass mark on time; it fails only when a copy
# fails or differs from its source.
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-$source_dir/build}
runs=${2:-3}
size=$((64 * 1024 * 1024))
header=316

if [[ ! -f $build_dir/CMakeCache.txt ]]; then
  (cd "$source_dir" && cmake --preset default -B "$build_dir")
fi
cmake --build "$build_dir" --target tessil_library tessil_bench tessil_cli -j 2 >/dev/null
library=$build_dir/bin/libtessil.so
driver=$build_dir/bench/tessil_bench
cli=$build_dir/bin/tessil-cli
[[ -x /usr/bin/time ]] || "$source_dir/scripts/install-deps"

work=$(mktemp -d "$build_dir/bench-work.XXXXXX")
trap 'rm -rf "$work"' EXIT

head -c "$size" /dev/urandom >"$work/drive-a"
sync

now_ns() { date +%s%N; }

# Runs a command, records its wall time in seconds and its peak resident
# memory in KiB into the named arrays.
declare -a lib_read lib_write cli_read cli_write dd_read dd_write
declare -a lib_read_kib lib_write_kib cli_read_kib cli_write_kib dd_read_kib dd_write_kib
measure() {
  local -n seconds_out=$1 kib_out=$2
  shift 2
  sync
  local start end
  start=$(now_ns)
  /usr/bin/time -f '%M' -o "$work/rss" "$@" >"$work/out" 2>&1 || {
    cat "$work/out" >&2
    echo "bench: failed: $*" >&2
    exit 1
  }
  end=$(now_ns)
  seconds_out+=("$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')")
  kib_out+=("$(tail -n 1 "$work/rss")")
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
max() { printf '%s\n' "$@" | sort -g | tail -n 1; }

# The copies through the library (its driver) and through tessil-cli.
read_by_library() {
  measure lib_read lib_read_kib "$driver" "$library" read "$work/drive-a" "$work/image"
}
# The drive variable is set for the measured process alone, without a
# wrapper process in the time.
read_by_cli() {
  TESSIL_DRIVE_A="$work/drive-a" measure cli_read cli_read_kib \
    "$cli" read A "$work/image-cli" --label "tessil benchmark" --no-report
}
write_by_library() {
  measure lib_write lib_write_kib "$driver" "$library" write "$work/drive-b" "$work/image"
}
write_by_cli() {
  TESSIL_DRIVE_A="$work/drive-b-cli" measure cli_write cli_write_kib \
    "$cli" write "$work/image" A --yes --no-verify
}

for ((run = 1; run <= runs; run++)); do
  rm -f "$work/image" "$work/image-cli" "$work/raw" "$work/drive-b" "$work/drive-b-cli" \
    "$work/drive-b-dd"
  truncate -s "$size" "$work/drive-b" "$work/drive-b-cli" "$work/drive-b-dd"
  # The library and tessil-cli take turns at going first, so that neither
  # always meets the file system right after the other's flush.
  if ((run % 2)); then read_by_library && read_by_cli; else read_by_cli && read_by_library; fi
  measure dd_read dd_read_kib dd if="$work/drive-a" of="$work/raw" bs=512 status=none
  if ((run % 2)); then write_by_library && write_by_cli; else write_by_cli && write_by_library; fi
  measure dd_write dd_write_kib dd if="$work/raw" of="$work/drive-b-dd" bs=512 \
    conv=fsync,notrunc status=none

  [[ $(stat -c %s "$work/image") == $((header + size)) ]] || {
    echo "bench: the image has $(stat -c %s "$work/image") bytes" >&2
    exit 1
  }
  tail -c "$size" "$work/image" | cmp -s - "$work/drive-a" || {
    echo "bench: the image's data differ from drive A" >&2
    exit 1
  }
  cmp -s "$work/image" "$work/image-cli" || {
    echo "bench: tessil-cli's image differs from the library's" >&2
    exit 1
  }
  cmp -s "$work/drive-a" "$work/drive-b" || {
    echo "bench: the library's written drive differs from drive A" >&2
    exit 1
  }
  cmp -s "$work/drive-a" "$work/drive-b-cli" || {
    echo "bench: tessil-cli's written drive differs from drive A" >&2
    exit 1
  }
  cmp -s "$work/drive-a" "$work/drive-b-dd" || {
    echo "bench: dd's written drive differs from drive A" >&2
    exit 1
  }
  echo "run $run: read  library ${lib_read[-1]} s, tessil-cli ${cli_read[-1]} s," \
    "dd ${dd_read[-1]} s; write library ${lib_write[-1]} s, tessil-cli ${cli_write[-1]} s," \
    "dd ${dd_write[-1]} s"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

# One row: the three times, the ratios tessil-cli / library and library / dd,
# and the three peaks.
report() {
  local name=$1 lib=$2 cli_time=$3 dd=$4 lib_kib=$5 cli_kib=$6 dd_kib=$7
  printf '%-24s %8s s %8s s %8s s %8s %8s %8s %8s %8s\n' "$name" "$lib" "$cli_time" "$dd" \
    "$(ratio "$cli_time" "$lib")" "$(ratio "$lib" "$dd")" "$lib_kib" "$cli_kib" "$dd_kib"
}

echo
echo "64 MiB file-backed drives, 512-byte blocks, median of $runs runs, $(nproc) cores,"
echo "kernel $(uname -r), $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)"
printf '%-24s %10s %10s %10s %8s %8s %8s %8s %8s\n' copy library tessil-cli dd cli/lib lib/dd \
  "lib KiB" "cli KiB" "dd KiB"
report "drive -> image (read)" "$(median "${lib_read[@]}")" "$(median "${cli_read[@]}")" \
  "$(median "${dd_read[@]}")" "$(max "${lib_read_kib[@]}")" "$(max "${cli_read_kib[@]}")" \
  "$(max "${dd_read_kib[@]}")"
report "image -> drive (write)" "$(median "${lib_write[@]}")" "$(median "${cli_write[@]}")" \
  "$(median "${dd_write[@]}")" "$(max "${lib_write_kib[@]}")" "$(max "${cli_write_kib[@]}")" \
  "$(max "${dd_write_kib[@]}")"
echo "(cli/lib = tessil-cli time / library time; lib/dd = library time / dd time;"
echo " KiB = peak memory, the largest resident set of the process)"
