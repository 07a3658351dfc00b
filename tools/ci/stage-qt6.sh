#!/usr/bin/env bash
# Qt 6 stage of CI (run by tools/run-tests.sh after the Linux builds): the
# whole tree built with Qt 6 (-DHRC_QT_MAJOR=6), its release tests run and its
# Debian packages made.
# Lean: light optimisation without debug information, no benchmarks, and
# the tests that do not touch Qt (the library's, label kavu_io, and the
# platform files', label platform) are left to the Qt 5 build, which runs the
# same programs. The sanitizer stages stay on Qt 5.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-qt6
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DHRC_QT_MAJOR=6 -DHRC_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
grep -q 'Configurator with Qt 6' "$build/configure.log" \
  || { echo "stage-qt6: the build did not take Qt 6" >&2; cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$jobs"
QT_QPA_PLATFORM=offscreen \
  ctest --test-dir "$build" --output-on-failure --timeout 600 -j"$jobs" -LE 'kavu_io|platform'

# The Debian packages of the Qt 6 build: the configurator's depends on Qt 6's
# libraries (found by dpkg-shlibdeps), not on Qt 5's.
rm -f "$build"/*.deb
cmake --build "$build" -j"$jobs" --target package >"$build/package.log" 2>&1 || { cat "$build/package.log"; exit 1; }
deb=$(ls "$build"/hrc417-configurator_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
if ! grep -q 'libqt6widgets6' <<<"$depends" || grep -q 'libqt5' <<<"$depends"; then
  echo "stage-qt6: $deb does not depend on Qt 6 alone: $depends" >&2
  exit 1
fi
echo "   $(basename "$deb"): $depends"
