#!/usr/bin/env bash
# Installs what building, running and testing the project needs on Debian 12.
# Idempotent: when every package is already there it does not touch apt at all.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5svg5-dev qttools5-dev-tools
  qttranslations5-l10n
  libqcustomplot-dev
  xvfb xauth
  librsvg2-bin imagemagick
  mingw-w64 wine64 wine socat
)

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
