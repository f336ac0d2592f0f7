#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent: packages that are already installed are skipped.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libgl-dev
  libshp-dev libxlsxwriter-dev libquazip1-qt6-dev libfreexl-dev zlib1g-dev
  socat libmodbus-dev mbpoll
  libmosquitto-dev mosquitto mosquitto-clients python3-paho-mqtt openssl
  python3 python3-pymodbus python3-serial python3-serial-asyncio
  python3-dbfread python3-dbf python3-openpyxl python3-xlwt
  xvfb xauth imagemagick x11-utils
  desktop-file-utils appstream dpkg-dev python3-markdown librsvg2-bin
  clang libclang-rt-14-dev ccache
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
