#!/usr/bin/env bash
# Builds the .deb from a configured and built build directory, unpacks it into
# a temporary root and proves that the unpacked program starts: it loads the
# libtessil.so that stands beside it in the package and shows its window,
# once on Qt's offscreen platform and once on a virtual X server. lintian
# must find no error in the package; the warnings kept on purpose are listed
# in README.md.
#
# Usage: packaging/check-package.sh [BUILD_DIR] [--install]
#   BUILD_DIR  default: build (the default preset's directory)
#   --install  also installs the package with apt-get on this machine, starts
#              the installed program and removes the package again (root).
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$source_dir/build
install_too=false
for arg in "$@"; do
  case $arg in
    --install) install_too=true ;;
    *) build_dir=$(cd "$arg" && pwd) ;;
  esac
done

fail() {
  echo "check-package: FAILED: $*" >&2
  exit 1
}
note() { echo "check-package: $*"; }

work=$(mktemp -d)
chmod 755 "$work"
program_pid=
cleanup() {
  if [[ -n $program_pid ]]; then kill "$program_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- Build the package --------------------------------------------------------
[[ -f $build_dir/CPackConfig.cmake ]] || fail "$build_dir is not a configured build directory"
have_program=true
if [[ ! -x $build_dir/bin/tessil ]]; then
  # A tree whose front end is not there yet packages the library alone.
  have_program=false
  note "WARNING: $build_dir/bin/tessil is not built; the package holds the library only"
fi
rm -f "$build_dir"/tessil_*.deb
(cd "$build_dir" && cpack -G DEB) >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  fail "cpack -G DEB"
}
deb=$(find "$build_dir" -maxdepth 1 -name 'tessil_*.deb' | head -n 1)
[[ -n $deb ]] || fail "cpack made no tessil_*.deb"
arch=$(dpkg --print-architecture)
expected_name=$(basename "$deb")
[[ $expected_name =~ ^tessil_[0-9]+\.[0-9]+\.[0-9]+-[0-9]+_${arch}\.deb$ ]] ||
  fail "unexpected package file name $expected_name"
note "built $deb"

# --- Its control data ---------------------------------------------------------
dpkg-deb --field "$deb"
field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == tessil ]] || fail "package name is not tessil"
[[ -n $(field Maintainer) ]] || fail "no maintainer"
depends=$(field Depends)
expected_deps=(libc6 libstdc++6 libssl3)
if $have_program; then expected_deps+=(libqt6core6 libqt6gui6 libqt6widgets6); fi
# The package names alone, one a line: "libc6 (>= 2.33), a | b" gives libc6, a, b.
dep_names=$(tr -s ',|' '\n' <<<"$depends" | sed 's/(.*)//; s/^ *//; s/ *$//')
for dep in "${expected_deps[@]}"; do
  grep -qxF "$dep" <<<"$dep_names" || fail "Depends lacks $dep: $depends"
done

# The project's version, and the Debian revision after it.
package_version=$(field Version)
version=${package_version%-*}
[[ $version != "$package_version" ]] || fail "version $package_version has no Debian revision"

# --- Debian's checks ----------------------------------------------------------
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || {
  cat "$work/lintian.log"
  fail "lintian found errors"
}
grep -v 'running with root privileges' "$work/lintian.log" || true
note "lintian: no errors"

# --- Its files ----------------------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root"
(cd "$root" && find . ! -type d | sort) >"$work/files.txt"
cat "$work/files.txt"
private_dir=$(dirname "$(cd "$root" && find . -path '*/tessil/libtessil.so' | head -n 1)")
[[ $private_dir != . ]] || fail "no libtessil.so in a tessil directory"

# Exactly its dependencies: every package in Depends provides a library that
# a packaged program or library links (the window loads libtessil.so, which
# is in the package itself).
linked=$(find "$root" -type f \( -perm -u+x -o -name '*.so*' \) -print0 |
  xargs -0 -r file | grep -E 'ELF .*(executable|shared object)' | cut -d: -f1 |
  xargs -r env LD_LIBRARY_PATH="$root/$private_dir" ldd 2>/dev/null |
  awk '$2 == "=>" && $3 ~ /^\// {print $3}' | sort -u)
links_a_file_of() {
  local provided library real
  provided=$(dpkg -L "$1" 2>/dev/null) || return 1
  while read -r library; do
    real=$(readlink -f "$library")
    grep -qxF -e "$library" -e "$real" -e "${library#/usr}" <<<"$provided" && return 0
  done <<<"$linked"
  return 1
}
while IFS= read -r group; do
  [[ -n ${group// /} ]] || continue
  found=false
  for dep in $(tr '|' ' ' <<<"$group" | sed 's/([^)]*)//g'); do
    links_a_file_of "$dep" && found=true
  done
  $found || fail "Depends names '$group', but no packaged program links a file of it"
done < <(tr ',' '\n' <<<"$depends")
note "Depends: each package provides a library that a packaged program links"

# The command-line program stands on its own in usr/bin, with its manual page
# and bash completion.
cli=$root/usr/bin/tessil-cli
[[ -x $cli && ! -L $cli ]] || fail "usr/bin/tessil-cli is not an executable file"
cli_version=$("$cli" --version) || fail "the unpacked tessil-cli --version failed"
[[ $cli_version == "tessil-cli $version" ]] ||
  fail "tessil-cli --version says '$cli_version'"
gzip -t "$root/usr/share/man/man1/tessil-cli.1.gz" || fail "no compressed manual page tessil-cli.1"
expect_completion=usr/share/bash-completion/completions/tessil-cli
cmp -s "$source_dir/cli/tessil-cli.bash" "$root/$expect_completion" ||
  fail "$expect_completion missing or different from cli/tessil-cli.bash"
note "tessil-cli: $cli_version, manual page and bash completion"
if ! $have_program; then
  note "WARNING: no program to start; the package's files were checked only"
  note "OK (library only): $deb"
  exit 0
fi
[[ -x $root/$private_dir/tessil && ! -L $root/$private_dir/tessil ]] ||
  fail "the program does not stand beside libtessil.so"
[[ -L $root/usr/bin/tessil ]] || fail "usr/bin/tessil is not a symbolic link"
link=$(readlink "$root/usr/bin/tessil")
[[ $link != /* ]] || fail "usr/bin/tessil points to an absolute path ($link)"
[[ $(readlink -f "$root/usr/bin/tessil") == $(readlink -f "$root/$private_dir/tessil") ]] ||
  fail "usr/bin/tessil does not lead to the program"
if readelf -d "$root/$private_dir/tessil" "$root/$private_dir/libtessil.so" |
  grep -E 'R(UN)?PATH' | grep -q "$build_dir"; then
  fail "an installed file still searches the build directory"
fi

# SOURCE is relative to the source tree unless it is an absolute path (a
# file the build made).
expect_file() {
  local source=$1 installed=$2
  [[ $source == /* ]] || source=$source_dir/$source
  if [[ -e $source ]]; then
    [[ -f $root/$installed ]] || fail "$installed missing from the package"
    cmp -s "$source" "$root/$installed" || fail "$installed differs from $source"
  else
    note "WARNING: $source is not in the tree yet; not checked"
  fi
}
expect_file data/tessil.desktop usr/share/applications/tessil.desktop
expect_file "$build_dir/data/tessil.metainfo.xml" usr/share/metainfo/tessil.metainfo.xml
expect_file data/icons/16/tessil.png usr/share/icons/hicolor/16x16/apps/tessil.png
expect_file data/icons/32/tessil.png usr/share/icons/hicolor/32x32/apps/tessil.png
expect_file data/icons/tessil.svg usr/share/icons/hicolor/scalable/apps/tessil.svg

if [[ -f $root/usr/share/metainfo/tessil.metainfo.xml ]]; then
  appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/tessil.metainfo.xml" ||
    fail "appstreamcli validate"
  grep -qF "<release version=\"$version\"" "$root/usr/share/metainfo/tessil.metainfo.xml" ||
    fail "the metainfo has no release $version"
fi

# The documents Debian asks for, and the one version everywhere.
docs=$root/usr/share/doc/tessil
head -n 1 "$docs/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "usr/share/doc/tessil/copyright is missing or not machine-readable"
[[ $(zcat "$docs/changelog.Debian.gz" | head -n 1) == "tessil ($package_version) "* ]] ||
  fail "changelog.Debian.gz does not start with version $package_version"
manpage=$root/usr/share/man/man1/tessil.1.gz
[[ -f $manpage ]] || fail "usr/share/man/man1/tessil.1.gz missing"
title=$(zcat "$manpage" | sed -n '/^\.TH /p')
[[ $title == *"\"tessil $version\""* ]] || fail "the manual page is not of version $version: $title"
[[ $(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/tessil" --version) == "tessil $version" ]] ||
  fail "the program's --version does not say $version"
if [[ -f $root/usr/share/applications/tessil.desktop ]]; then
  desktop-file-validate "$root/usr/share/applications/tessil.desktop" ||
    fail "desktop-file-validate"
  exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/tessil.desktop" | head -n 1)
  [[ ${exec_line%% *} == tessil || ${exec_line%% *} == /usr/bin/tessil ]] ||
    fail "the desktop entry does not start tessil (Exec=$exec_line)"
fi

# --- Start the unpacked program -----------------------------------------------
truncate -s 1474560 "$work/drive-a.img"
runtime=$work/runtime
mkdir -m 700 "$runtime"
run_env=(env -u TESSIL_DRIVE_B TESSIL_DRIVE_A="$work/drive-a.img" XDG_RUNTIME_DIR="$runtime"
  TESSIL_DEBUG="$work/debug.log" LD_DEBUG=files LD_DEBUG_OUTPUT="$work/ld")

# Checks that the run loaded the library from the unpacked package.
check_library_loaded() {
  local lib
  lib=$(readlink -f "$root/$private_dir/libtessil.so")
  grep -h "file=$lib " "$work"/ld.* >/dev/null 2>&1 ||
    grep -h "file=$root/$private_dir/libtessil.so " "$work"/ld.* >/dev/null 2>&1 ||
    fail "the program did not load $private_dir/libtessil.so from the package"
  if grep -q 'DLL_PROCESS_ATTACH' "$work/debug.log" 2>/dev/null; then
    note "the library announced itself in TESSIL_DEBUG"
  fi
  if grep -rh 'libtessil.so' "$work"/ld.* | grep -v "$root" | grep -q 'file='; then
    fail "a libtessil.so outside the package was loaded"
  fi
}

# 1. Offscreen: the program runs until timeout ends it (exit 124) or quits by
#    itself with 0; anything else (a loader error, a crash) fails.
rm -f "$work"/ld.* "$work/debug.log"
status=0
"${run_env[@]}" QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/tessil" \
  >"$work/offscreen.out" 2>&1 </dev/null || status=$?
cat "$work/offscreen.out"
[[ $status == 0 || $status == 124 ]] || fail "the unpacked program exited with $status (offscreen)"
check_library_loaded
note "offscreen: the unpacked program ran (status $status) and loaded its library"

# 2. A virtual X server: wait until the program maps a window, and keep a
#    screenshot of it next to the package.
rm -f "$work"/ld.* "$work/debug.log"
cat >"$work/x-check.sh" <<'SCRIPT'
set -euo pipefail
"$@" >"$WORK/x.out" 2>&1 </dev/null &
pid=$!
for _ in $(seq 1 100); do
  sleep 0.2
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "the program ended before it showed a window" >&2
    cat "$WORK/x.out" >&2
    exit 1
  fi
  for id in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
    info=$(xwininfo -id "$id")
    if grep -q 'Map State: IsViewable' <<<"$info"; then
      width=$(sed -n 's/^ *Width: //p' <<<"$info")
      height=$(sed -n 's/^ *Height: //p' <<<"$info")
      if ((width > 50 && height > 50)); then
        sleep 1
        import -window root "$SHOT" || true
        echo "window $id ${width}x${height}: $(xwininfo -id "$id" | sed -n 's/^xwininfo: Window id: //p')"
        kill "$pid"
        wait "$pid" || true
        exit 0
      fi
    fi
  done
done
echo "no window was shown within 20 s" >&2
cat "$WORK/x.out" >&2
kill "$pid" || true
exit 1
SCRIPT
WORK=$work SHOT=$build_dir/package-window.png \
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/x-check.sh" \
  "${run_env[@]}" QT_QPA_PLATFORM=xcb "$root/usr/bin/tessil" ||
  fail "the unpacked program showed no window on a virtual X server"
check_library_loaded
note "X11: the unpacked program showed its window (screenshot: $build_dir/package-window.png)"

# --- Optionally: install it for real -----------------------------------------
if $install_too; then
  cp "$deb" "$work/"
  chmod 644 "$work/$(basename "$deb")"
  DEBIAN_FRONTEND=noninteractive apt-get install -y "$work/$(basename "$deb")" </dev/null
  status=0
  env -u TESSIL_DRIVE_B TESSIL_DRIVE_A="$work/drive-a.img" XDG_RUNTIME_DIR="$runtime" \
    QT_QPA_PLATFORM=offscreen timeout 5 tessil </dev/null || status=$?
  DEBIAN_FRONTEND=noninteractive apt-get purge -y tessil </dev/null
  [[ $status == 0 || $status == 124 ]] || fail "the installed program exited with $status"
  note "installed with apt-get, started from PATH and removed again"
fi

note "OK: $deb"
