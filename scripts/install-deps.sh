#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test the project. Idempotent: when everything is
# present it only checks and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ ccache pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  nettle-dev nlohmann-json3-dev
  ppp libudev-dev umockdev libumockdev-dev
  qt6-base-dev qt6-svg-dev qt6-webengine-dev xvfb xauth dbus-daemon
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libglib2.0-bin
  dpkg-dev lintian udev librsvg2-bin scdoc desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
