#!/usr/bin/env bash
# Packages stage of CI (run by tools/run-tests.sh after the release build):
#  1. builds the four Debian packages in build/ (cmake --build build --target package)
#     and checks them with lintian (no errors), the desktop entry with
#     desktop-file-validate and the AppStream metadata with appstreamcli;
#  2. builds kavu_io on its own (cmake -S kavu_io) for Linux, installs it, moves
#     the installed tree and builds a client against it through pkg-config and
#     CMake; and for both mingw toolchains;
#  3. installs the packages with apt-get install ./…deb;
#  4. checks that every installed ELF file resolves its libraries (ldd);
#  5. starts the installed simulator and the installed configurator on a
#     virtual X screen with --port pointing at the simulator, clicks
#     "Проверка связи" and checks in the simulator's log that the device's
#     name was read; presses F1 and keeps a screenshot of the help window;
#  6. builds a small C program against libkavu-io-dev through pkg-config and
#     through CMake and runs it;
#  7. purges the packages again (also when a step fails).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=$root/build
out=$build/packages-check
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
packages=(libkavu-io1 libkavu-io-dev hrc417-configurator hrc417-sim)

rm -rf "$out"
mkdir -p "$out"
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja >/dev/null

echo "-- building the packages"
rm -f "$build"/*.deb
cmake --build "$build" -j"$jobs" --target package >"$out/package.log" 2>&1 || { cat "$out/package.log"; exit 1; }
debs=()
for p in "${packages[@]}"; do
  deb=$(ls "$build/${p}_"*.deb)
  debs+=("$deb")
  echo "   $(basename "$deb")"
done

echo "-- lintian"
lintian --fail-on error --display-info "${debs[@]}" | tee "$out/lintian.txt"
echo "   lintian: $(grep -c '^E:' "$out/lintian.txt" || true) errors, $(grep -c '^W:' "$out/lintian.txt" || true) warnings"

# A client of the library, built against the packages and against a moved install.
mkdir -p "$out/client"
cat >"$out/client/client.c" <<'C'
#include <kavu_io.h>
#include <stdio.h>
#include <string.h>

int main(void)
{
    char text[KAVU_ERROR_TEXT_SIZE];
    memset(text, 0, sizeof text);
    /* The library is loaded and answers: the text of the last error. */
    int result = LastErrToStr(text);
    printf("LastErrToStr = %d, %zu bytes of text\n", result, strlen(text));
    return result != 0 || text[0] == 0;
}
C
cat >"$out/client/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(kavu_client C)
find_package(kavu_io 1 REQUIRED)
add_executable(client client.c)
target_link_libraries(client PRIVATE kavu_io::kavu_io)
CMAKE

echo "-- kavu_io on its own: Linux (installed, moved, used) and both mingw toolchains"
standalone=$out/standalone
cmake -S kavu_io -B "$standalone/linux" -G Ninja -DCMAKE_INSTALL_PREFIX="$standalone/prefix" >"$standalone.log" 2>&1 &&
  cmake --build "$standalone/linux" -j"$jobs" --target install >>"$standalone.log" 2>&1 ||
  { cat "$standalone.log"; exit 1; }
mv "$standalone/prefix" "$standalone/moved"
pc_dir=$(dirname "$(find "$standalone/moved" -name kavu_io.pc)")
lib_dir=$(dirname "$(find "$standalone/moved" -name 'libkavu_io.so.1')")
# shellcheck disable=SC2046
cc -Wall -Wextra -o "$standalone/client-pkgconfig" "$out/client/client.c" \
  $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs kavu_io)
LD_LIBRARY_PATH=$lib_dir "$standalone/client-pkgconfig"
cmake -S "$out/client" -B "$standalone/client" -G Ninja -DCMAKE_PREFIX_PATH="$standalone/moved" >/dev/null
cmake --build "$standalone/client" >/dev/null
LD_LIBRARY_PATH=$lib_dir "$standalone/client/client"
for arch in i686 x86_64; do
  cmake -S kavu_io -B "$standalone/win-$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" >>"$standalone.log" 2>&1 &&
    cmake --build "$standalone/win-$arch" -j"$jobs" >>"$standalone.log" 2>&1 ||
    { cat "$standalone.log"; exit 1; }
  grep -q 'FILEVERSION     1,0,0,0' "$standalone/win-$arch/win32/kavu_io.rc" ||
    { echo "kavu_io.dll ($arch) has no version in its resources"; exit 1; }
  echo "   kavu_io.dll ($arch) built on its own, version resource 1.0.0"
done

cleanup() {
  set +e
  [ -n "${cfg_pid:-}" ] && kill "$cfg_pid" 2>/dev/null && wait "$cfg_pid" 2>/dev/null
  [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  echo "-- removing the packages"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y "${packages[@]}" >"$out/remove.log" 2>&1 ||
    cat "$out/remove.log"
  left=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null | grep -v '^un' || true)
  [ -z "$left" ] || { echo "packages left behind:"; echo "$left"; }
}
trap cleanup EXIT

echo "-- installing"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${debs[@]}" \
  >"$out/install.log" 2>&1 || { cat "$out/install.log"; exit 1; }

echo "-- desktop entry and AppStream metadata"
desktop-file-validate /usr/share/applications/*hrc417*.desktop
appstreamcli validate --no-net /usr/share/metainfo/*hrc417*.metainfo.xml

echo "-- libraries of the installed binaries"
status=0
checked=0
while IFS= read -r path; do
  [ -f "$path" ] && [ ! -L "$path" ] || continue
  file -b "$path" | grep -q '^ELF' || continue
  checked=$((checked + 1))
  if ldd "$path" | grep -q 'not found'; then
    echo "unresolved libraries in $path:"; ldd "$path" | grep 'not found'; status=1
  fi
  if readelf -d "$path" | grep -qE 'RPATH|RUNPATH'; then
    echo "build-tree search path left in $path"; status=1
  fi
done < <(dpkg -L "${packages[@]}")
((status == 0)) || exit 1
echo "   $checked ELF files, all libraries found, no RPATH"

echo "-- installed command-line tool"
hrc417 --version
hrc417 --lang en --help >/dev/null

echo "-- installed configurator against the installed simulator"
cat >"$out/drive.sh" <<'DRIVE'
set -euo pipefail
out=$1
hrc417-sim --verbose >"$out/sim.out" 2>"$out/sim.log" &
echo $! >"$out/sim.pid"
for _ in $(seq 50); do pty=$(head -n 1 "$out/sim.out"); [ -n "$pty" ] && break; sleep 0.1; done
[ -n "$pty" ] || { echo "hrc417-sim printed no terminal" >&2; exit 1; }
# The X display, whatever platform the test suite set for Qt.
QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$out/config hrc417-configurator --port "$pty" >"$out/configurator.log" 2>&1 &
echo $! >"$out/cfg.pid"
win=$(timeout 20 xdotool search --sync --onlyvisible --name "HRC417" | head -n 1)
[ -n "$win" ] || { echo "the configurator showed no window" >&2; exit 1; }
sleep 1
# "Проверка связи" of the wizard's first page (the wizard is 1000 px wide,
# the button sits in the right-hand column).
xdotool mousemove --window "$win" 863 200 click 1 2>/dev/null
for _ in $(seq 50); do grep -q ' read Dev -> ' "$out/sim.log" && break; sleep 0.1; done
sleep 0.5
import -window root "$out/wizard.png"
xdotool key --window "$win" F1 2>/dev/null
sleep 1.5
import -window root "$out/help.png"
DRIVE
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$out/drive.sh" "$out" 2> >(grep -v XGetInputFocus >&2) || status=$?
cfg_pid=$(cat "$out/cfg.pid" 2>/dev/null || true)
sim_pid=$(cat "$out/sim.pid" 2>/dev/null || true)
((status == 0)) || exit 1
if ! grep -q ' read Dev -> ' "$out/sim.log"; then
  echo "the installed configurator did not read the device's name:"; cat "$out/sim.log" "$out/configurator.log"; exit 1
fi
grep ' read Dev -> ' "$out/sim.log" | head -n 1
echo "   screenshots: $out/wizard.png $out/help.png"

echo "-- a C program against libkavu-io-dev"
# shellcheck disable=SC2046
cc -Wall -Wextra -o "$out/client/client-pkgconfig" "$out/client/client.c" $(pkg-config --cflags --libs kavu_io)
"$out/client/client-pkgconfig"
cmake -S "$out/client" -B "$out/client/build" -G Ninja >/dev/null
cmake --build "$out/client/build" >/dev/null
"$out/client/build/client"
echo "   pkg-config $(pkg-config --modversion kavu_io), CMake package found"
