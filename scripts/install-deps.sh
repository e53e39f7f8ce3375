#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# any is missing. Needs root (apt-get).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libwxgtk3.2-dev libgtk-3-dev libx11-dev libopenal-dev libopenal1
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-utils x11-apps imagemagick
  nginx-light
  clang libclang-rt-14-dev
  desktop-file-utils libxml2-utils shared-mime-info groff-base dpkg-dev binutils
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "error: packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
