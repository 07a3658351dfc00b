#!/usr/bin/env bash
# Regenerates the screenshots of the wizard (communication, device-information
# and error pages in Russian and English; both graph pages) and of the workspace into
# <build dir>/screenshots:
# the main window after "Прочитать все параметры", without a connection and
# on a problem parameter, every value editor open, the test panel, the wait
# window (also with a port failure) and the message boxes; the trend and heating-curve windows. They come from the window tests, which drive
# the real widgets against hrc417-sim on the offscreen platform.
#
#   bash tools/screenshots/take-screenshots.sh [build dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath -m "${1:-build}")
jobs=${JOBS:-2}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja
fi
cmake --build "$build" -j"$jobs" --target tst_hrceditdelegate tst_hrctreewin tst_watchwindows tst_wizard tst_wizardgraphs hrc417-sim

out="$build/screenshots"
mkdir -p "$out"
rm -f "$out"/*.png
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT

export QT_QPA_PLATFORM=offscreen
export HRC_SCREENSHOT_DIR="$out"
export XDG_CONFIG_HOME="$config"   # the saving test must not touch the user's last configuration
tests="$build/tests/configurator/workspace"
"$tests/tst_hrceditdelegate" -silent
"$tests/tst_hrctreewin" -silent
"$tests/tst_watchwindows" -silent
"$build/tests/configurator/wizard/tst_wizard" -silent screenshots linkPageEditsAreUsedAtOnceAndFailuresSayWhy
"$build/tests/configurator/wizard/tst_wizardgraphs" -silent screenshots

echo "screenshots in $out:"
ls -1 "$out"
