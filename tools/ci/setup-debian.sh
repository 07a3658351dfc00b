#!/usr/bin/env bash
# Installs what the project needs on Debian 12:
#   setup-debian.sh --run       building and running the configurator (tools/run-demo.sh)
#   setup-debian.sh --package   that, and building the Debian packages (README "Install")
#   setup-debian.sh         everything CI needs (tools/run-tests.sh)
# Idempotent: when every package is already there it does not touch apt at all.
set -euo pipefail

# What building and running the configurator and the simulator needs (and
# poppler-utils for the report tests, which read the PDFs back).
run_packages=(
  build-essential cmake ninja-build ccache pkg-config git
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5svg5-dev qttools5-dev-tools
  qttranslations5-l10n
  libqcustomplot-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  poppler-utils
)
# What building the Debian packages adds (dependencies computed by dpkg-shlibdeps).
package_packages=(dpkg-dev fakeroot file)
# Everything else CI needs: clang for the fuzzer and sanitizers, Qt 6 for the
# second build of the configurator (tools/ci/stage-qt6.sh; the platform
# plugins are only recommended by Qt 6's packages, and the offscreen tests
# need them), the images' renderer, the Windows cross-build and Wine, the
# serial device server the network-port tests put in front of the simulator,
# and the package checks.
ci_packages=(
  qt6-base-dev qt6-qpa-plugins qt6-serialport-dev qt6-svg-dev qt6-tools-dev qt6-l10n-tools
  qt6-translations-l10n libqcustomplot2.1-qt6
  clang libclang-rt-14-dev
  librsvg2-bin imagemagick
  mingw-w64 wine64 wine socat
  ser2net
  lintian desktop-file-utils appstream xdotool
)

case "${1:-}" in
  --run) packages=("${run_packages[@]}") ;;
  --package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
  "") packages=("${run_packages[@]}" "${package_packages[@]}" "${ci_packages[@]}") ;;
  *) echo "usage: $0 [--run | --package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
