#!/usr/bin/env bash
# Windows stage of CI (run by tools/run-tests.sh after the Linux builds):
#  1. cross-builds kavu_io.dll with mingw-w64 for i686 and x86-64;
#  2. checks both DLLs' export tables and the names a program built against
#     the import library imports;
#  3. runs the Windows tests of the x86-64 build under Wine (headless): the
#     library's, and tst_platform for the configurator's platform files
#     (configurator/platform/*_win.cpp), with
#     COM5 of the Wine prefix mapped to the pseudo-terminal of hrc417-sim
#     and COM7..COM14 to four socat-joined pseudo-terminal pairs for the
#     library's scripted-peer tests, and a second simulator listening on a
#     loopback TCP port for the network-port test.
#     The i686 tests are built (a compile check of the 32-bit calling
#     convention) but not run: Debian's wine64 runs 64-bit programs only.
# The Linux build in build/ provides the simulator; it is built if missing.
#   stage-windows.sh [--no-wine]
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
run_wine=1
[ "${1:-}" = "--no-wine" ] && run_wine=0
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

for arch in i686 x86_64; do
  echo "-- kavu_io.dll for $arch"
  mkdir -p "build-win-$arch"
  cmake -S . -B "build-win-$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DHRC_BUILD_BENCH=ON -DHRC_BUILD_TESTS=ON \
    >"build-win-$arch/configure.log" 2>&1 || { cat "build-win-$arch/configure.log"; exit 1; }
  cmake --build "build-win-$arch" -j"$jobs"
  bash tools/ci/check-exports.sh "build-win-$arch/bin/kavu_io.dll" "$arch-w64-mingw32-objdump"
  bash tools/ci/check-exports.sh --importer "build-win-$arch/bin/kavu_import_check.exe" \
    "$arch-w64-mingw32-objdump"
done

[ "$run_wine" = 1 ] || exit 0

echo "-- Windows tests under Wine"
if [ ! -x build/tools/hrc417-sim/hrc417-sim ]; then
  [ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
  cmake --build build -j"$jobs" --target hrc417-sim
fi

# A private, headless prefix: no display, no Mono/Gecko installers, quiet.
export WINEPREFIX="$root/build-win-x86_64/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
winelog="$root/build-win-x86_64/wine.log"
: >"$winelog"

sim_pid=
link_pids=()
cleanup() {
  set +e
  for pid in $sim_pid "${link_pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -f "$WINEPREFIX"/dosdevices/com{5,7,8,9,10,11,12,13,14}
  wineserver -k >>"$winelog" 2>&1 || true
}
trap cleanup EXIT

# Wine's server keeps its output in the log rather than on the CI console:
# it is started here, before any test program, and stays until cleanup.
mkdir -p "$WINEPREFIX"
wineserver -k >>"$winelog" 2>&1 || true   # a server left from an earlier run
wineserver -w >>"$winelog" 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >>"$winelog" 2>&1
  wineserver -w
fi
wineserver -p >>"$winelog" 2>&1
# Wine's background services (started by the first program of a session)
# live as long as the server and keep the file descriptors they were born
# with: start them now, on the log, so none keeps CTest's output pipe open.
wine cmd.exe /c exit >>"$winelog" 2>&1 </dev/null

# The simulator prints its terminal's path as its first line.
exec {sim_out}< <(exec build/tools/hrc417-sim/hrc417-sim --address 16 \
                    2>"$root/build-win-x86_64/hrc417-sim.log")
sim_pid=$!
if ! read -r -t 20 pty <&"$sim_out" || [ ! -e "$pty" ]; then
  echo "stage-windows: hrc417-sim did not report its terminal" >&2
  cat "$root/build-win-x86_64/hrc417-sim.log" >&2
  exit 1
fi
mkdir -p "$WINEPREFIX/dosdevices"
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com5"
echo "   COM5 -> $pty"

# A second simulator on a loopback TCP port, as a serial device server in
# transparent mode, for the DLL's network-port test (Winsock under Wine).
exec {tcp_out}< <(exec build/tools/hrc417-sim/hrc417-sim --address 16 --listen tcp:127.0.0.1:0 \
                    2>"$root/build-win-x86_64/hrc417-sim-tcp.log")
link_pids+=($!)
if ! read -r -t 20 tcp_address <&"$tcp_out"; then
  echo "stage-windows: hrc417-sim --listen did not report its address" >&2
  exit 1
fi
echo "   TCP -> $tcp_address"

# Lines for the library's scripted-peer tests: four pairs of COM ports, each
# two pseudo-terminals joined by socat (COM7-COM8, ..., COM13-COM14; the
# library opens the first of a pair, the test's peer the second).
peer_pairs=
for k in 0 1 2 3; do
  lib_com=$((7 + 2 * k)) peer_com=$((8 + 2 * k))
  exec {link_out}< <(exec socat -d -d pty,raw,echo=0 pty,raw,echo=0 2>&1)
  link_pids+=($!)
  ptys=()
  while read -r -t 20 line <&"$link_out"; do
    case $line in
      *"PTY is "*) ptys+=("${line##*PTY is }") ;;
      *"starting data transfer loop"*) break ;;
    esac
  done
  if [ "${#ptys[@]}" -ne 2 ]; then
    echo "stage-windows: socat did not report its two terminals" >&2
    exit 1
  fi
  ln -sfn "${ptys[0]}" "$WINEPREFIX/dosdevices/com$lib_com"
  ln -sfn "${ptys[1]}" "$WINEPREFIX/dosdevices/com$peer_com"
  peer_pairs+="${peer_pairs:+,}COM$lib_com:COM$peer_com"
done
echo "   peer lines $peer_pairs"

# One test program at a time: they share the simulator's port and the pairs.
# A failed program is run once more: once in some forty runs a Wine process
# ended at start, before main, without a word; a real failure fails twice.
KAVU_TEST_COM=COM5 KAVU_TEST_ADDRESS=16 KAVU_TEST_PEER_PAIRS=$peer_pairs KAVU_TEST_TCP=$tcp_address \
  ctest --test-dir build-win-x86_64 --output-on-failure --timeout 600 -j1 --repeat until-pass:2

echo "-- kavu_io.dll exchange figures under Wine"
KAVU_TEST_COM=COM5 KAVU_TEST_ADDRESS=16 wine build-win-x86_64/bin/bench_kavu_dll_exchange.exe
