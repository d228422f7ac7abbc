#!/usr/bin/env bash
# Window start-up: how long the program takes from launch until its main
# window is mapped, and its resident memory once it sits idle, on a virtual
# X server. Prints every run and the medians.
#
# Usage: bench/startup.sh [BUILD_DIR] [RUNS]   (defaults: build, 9)
# BUILD_DIR is configured with the default preset and built when needed.
# Not a test: it fails only when the program shows no window.
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-$source_dir/build}
runs=${2:-9}

# Without our own X server, start one and come back inside it. A fresh
# server per measurement keeps other windows out of the way.
if [[ ${TESSIL_BENCH_INSIDE_X:-} != 1 ]]; then
  if [[ ! -f $build_dir/CMakeCache.txt ]]; then
    (cd "$source_dir" && cmake --preset default -B "$build_dir")
  fi
  cmake --build "$build_dir" --target tessil tessil_library -j 2 >/dev/null
  command -v xvfb-run >/dev/null && command -v xev >/dev/null || "$source_dir/scripts/install-deps"
  exec env TESSIL_BENCH_INSIDE_X=1 xvfb-run -a -s "-screen 0 1024x768x24" \
    bash "${BASH_SOURCE[0]}" "$build_dir" "$runs"
fi

program=$build_dir/bin/tessil
work=$(mktemp -d)
runtime=$work/runtime
mkdir -m 700 "$runtime"
xev_pid=
program_pid=
cleanup() {
  [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null || true
  [[ -n $xev_pid ]] && kill "$xev_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

now_ns() { date +%s%N; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One launch: sets seconds_taken and idle_kib. xev reports every window
# mapped on the root window as it happens; the first one at least 100 pixels
# wide is the main window.
measure_once() {
  mkfifo "$work/events"
  stdbuf -oL xev -root -event substructure >"$work/events" &
  xev_pid=$!
  exec {events}<"$work/events"
  rm "$work/events"
  sleep 0.3 # xev has selected its events

  local start end="" line window width
  start=$(now_ns)
  env -u TESSIL_DRIVE_A -u TESSIL_DRIVE_B -u TESSIL_DEBUG XDG_RUNTIME_DIR="$runtime" \
    QT_QPA_PLATFORM=xcb "$program" </dev/null >/dev/null 2>"$work/stderr" &
  program_pid=$!
  while IFS= read -r -t 20 line <&"$events"; do
    if [[ $line == MapNotify* ]]; then
      end=$(now_ns)
      IFS= read -r -t 5 line <&"$events"
      window=$(sed -n 's/.* window \(0x[0-9a-f]*\),.*/\1/p' <<<"$line")
      width=$(xwininfo -id "$window" 2>/dev/null | sed -n 's/^ *Width: //p' || true)
      if ((${width:-0} >= 100)); then break; fi
      end=""
    fi
  done
  kill "$xev_pid" 2>/dev/null || true
  wait "$xev_pid" 2>/dev/null || true
  xev_pid=
  exec {events}<&-
  if [[ -z $end ]]; then
    cat "$work/stderr" >&2
    echo "startup: no window was shown" >&2
    exit 1
  fi

  sleep 2 # idle: the first poll and any late start-up work are done
  idle_kib=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$program_pid/status")
  kill "$program_pid"
  wait "$program_pid" 2>/dev/null || true
  program_pid=
  seconds_taken=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')
}

# A first launch fills the font cache; it is not counted.
measure_once

declare -a seconds kibs
for ((run = 1; run <= runs; run++)); do
  measure_once
  seconds+=("$seconds_taken")
  kibs+=("$idle_kib")
  echo "run $run: window after $seconds_taken s, idle RSS $((idle_kib / 1024)) MiB ($idle_kib KiB)"
done

echo
echo "window start-up under Xvfb, median of $runs runs, $(nproc) cores,"
echo "kernel $(uname -r), $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)"
echo "launch to window shown: $(median "${seconds[@]}") s"
kib=$(median "${kibs[@]}")
echo "idle RSS: $(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }') MiB ($kib KiB)"
