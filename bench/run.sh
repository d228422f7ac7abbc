#!/usr/bin/env bash
# Benchmark: copy a 64 MiB file-backed drive into an image through the real
# libtessil.so and write the image back onto a second 64 MiB file-backed
# drive, and time dd with 512-byte blocks doing the same two copies.
# Prints the median wall time of each, their ratio and the peak memory.
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
cmake --build "$build_dir" --target tessil_library tessil_bench -j 2 >/dev/null
library=$build_dir/bin/libtessil.so
driver=$build_dir/bench/tessil_bench
[[ -x /usr/bin/time ]] || "$source_dir/scripts/install-deps"

work=$(mktemp -d "$build_dir/bench-work.XXXXXX")
trap 'rm -rf "$work"' EXIT

head -c "$size" /dev/urandom >"$work/drive-a"
sync

now_ns() { date +%s%N; }

# Runs a command, records its wall time in seconds and its peak resident
# memory in KiB into the named arrays.
declare -a lib_read lib_write dd_read dd_write
declare -a lib_read_kib lib_write_kib dd_read_kib dd_write_kib
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

for ((run = 1; run <= runs; run++)); do
  rm -f "$work/image" "$work/raw"
  truncate -s "$size" "$work/drive-b" "$work/drive-b-dd"
  measure lib_read lib_read_kib "$driver" "$library" read "$work/drive-a" "$work/image"
  measure dd_read dd_read_kib dd if="$work/drive-a" of="$work/raw" bs=512 status=none
  measure lib_write lib_write_kib "$driver" "$library" write "$work/drive-b" "$work/image"
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
  cmp -s "$work/drive-a" "$work/drive-b" || {
    echo "bench: the library's written drive differs from drive A" >&2
    exit 1
  }
  cmp -s "$work/drive-a" "$work/drive-b-dd" || {
    echo "bench: dd's written drive differs from drive A" >&2
    exit 1
  }
  echo "run $run: read  library ${lib_read[-1]} s, dd ${dd_read[-1]} s;" \
    "write library ${lib_write[-1]} s, dd ${dd_write[-1]} s"
done

report() {
  local name=$1 lib=$2 dd=$3 lib_kib=$4 dd_kib=$5
  printf '%-28s %10s s %10s s %8s %10s KiB %10s KiB\n' "$name" "$lib" "$dd" \
    "$(awk -v a="$lib" -v b="$dd" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')" \
    "$lib_kib" "$dd_kib"
}

echo
echo "64 MiB file-backed drives, 512-byte blocks, median of $runs runs, $(nproc) cores,"
echo "kernel $(uname -r), $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)"
printf '%-28s %12s %12s %8s %14s %14s\n' copy library dd ratio "library peak" "dd peak"
report "drive -> image (read)" "$(median "${lib_read[@]}")" "$(median "${dd_read[@]}")" \
  "$(max "${lib_read_kib[@]}")" "$(max "${dd_read_kib[@]}")"
report "image -> drive (write)" "$(median "${lib_write[@]}")" "$(median "${dd_write[@]}")" \
  "$(max "${lib_write_kib[@]}")" "$(max "${dd_write_kib[@]}")"
echo "(ratio = library time / dd time; peak = largest resident set of the process)"
