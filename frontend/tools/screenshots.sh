#!/bin/bash
# Takes screenshots of the program's windows under Xvfb, on two demo floppy
# images, with the real program and library from a build tree.
#
#   frontend/tools/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
#
# BUILD_DIR defaults to build, OUTPUT_DIR to BUILD_DIR/screenshots. Needs
# xvfb-run (xvfb, xauth), xwininfo (x11-utils) and import (imagemagick).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build}")
out=$(realpath -m "${2:-$build/screenshots}")
program="$build/bin/tessil"
poser="$build/frontend/tools/libtessil_screenshot_poser.so"

for needed in "$program" "$build/bin/libtessil.so" "$poser"; do
  [[ -e $needed ]] || { echo "missing $needed: build the project first" >&2; exit 1; }
done
for tool in xvfb-run xwininfo import; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# Drive A holds a patterned 1.44 MB disk, drive B a blank one.
python3 - "$work/a.img" "$work/b.img" <<'PY'
import sys
size = 80 * 2 * 18 * 512
with open(sys.argv[1], "wb") as f:
    f.write(bytes((i * 7 + i // 512) & 0xFF for i in range(size)))
with open(sys.argv[2], "wb") as f:
    f.write(bytes(size))
PY

cat >"$work/shoot.sh" <<'INNER'
#!/bin/bash
# Runs inside the X server: one program run per pose.
set -euo pipefail
out=$1 program=$2 poser=$3 work=$4
for pose in main working dialog about; do
  rm -f "$work/read.img"
  TESSIL_POSE=$pose TESSIL_POSE_IMAGE="$work/read.img" LD_PRELOAD="$poser" \
    "$program" >"$work/$pose.log" 2>&1 &
  pid=$!
  if [[ $pose == working ]]; then sleep 5; else sleep 2; fi
  import -window root "$out/$pose-screen.png"
  # Each shown window on its own, found by its title.
  n=0
  while read -r id; do
    xwininfo -id "$id" | grep -q 'Map State: IsViewable' || continue
    n=$((n + 1))
    import -window "$id" "$out/$pose-window$n.png" || true
  done < <(xwininfo -root -tree | awk '/"Quillmark 1.0.0"|"Select the image/ {print $1}')
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done
INNER

TESSIL_DRIVE_A="$work/a.img" TESSIL_DRIVE_B="$work/b.img" XDG_RUNTIME_DIR="$work" \
  xvfb-run -a -s "-screen 0 800x600x24" bash "$work/shoot.sh" "$out" "$program" "$poser" "$work"

ls -1 "$out"/*.png
