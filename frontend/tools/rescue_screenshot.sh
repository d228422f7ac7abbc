#!/bin/bash
# Takes the README's screenshot of the rescue window under Xvfb on a
# 1024 x 768 screen: a rescued FAT floppy with a scratched track.
#
#   frontend/tools/rescue_screenshot.sh [BUILD_DIR] [OUTPUT_PNG]
#
# Needs xvfb-run, import (imagemagick), mkfs.fat (dosfstools), mcopy (mtools).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build}")
out=$(realpath -m "${2:-$root/doc/screenshots/rescue.png}")
pose="$build/frontend/tools/rescue_pose"
[[ -x $pose ]] || { echo "missing $pose: build the project first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$out")"
(
  cd "$work"
  mkfs.fat -C -F 12 -n LETTERS fat.img 1440 >/dev/null
  mmd -i fat.img ::/1987
  for year in 1987 1988; do
    for n in 1 2 3 4 5 6; do
      (yes "Dear Anna, $year letter $n" || true) | head -c $((9000 * n)) >"letter$n.txt"
      [[ $year == 1987 ]] && dir=::/1987/ || dir=::/
      mcopy -i fat.img "letter$n.txt" "${dir}LETTER$n.TXT"
    done
  done
  head -c 400000 /dev/urandom >photo.bmp
  mcopy -i fat.img photo.bmp ::/PHOTO.BMP
)

cat >"$work/shoot.sh" <<'INNER'
#!/bin/bash
set -euo pipefail
"$1" "$2/fat.img" "$2" >"$2/pose.log" 2>&1 &
pid=$!
sleep 4
import -window root "$3"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
INNER
XDG_RUNTIME_DIR="$work" xvfb-run -a -s "-screen 0 1024x768x24" \
  bash "$work/shoot.sh" "$pose" "$work" "$out"
echo "$out"
