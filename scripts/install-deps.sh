#!/usr/bin/env bash
# Installs every Debian package that building, running and testing NorvaleRTSA need.
# Does nothing (and needs no network) when all of them are already present.
# With --bench it also installs what only the reference benchmarks need (GNU Radio), which the
# build and the tests never use.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-declarative-dev qml6-module-qtquick qml6-module-qtquick-window
  qml6-module-qtqml-workerscript qml6-module-qttest qml6-module-qtquick-controls
  qml6-module-qtquick-layouts qml6-module-qtquick-templates qml6-module-qtquick-dialogs
  qt6-declarative-dev-tools qml6-module-qtqml qml6-module-qtqml-models
  libgl-dev libx11-dev libfftw3-dev libsamplerate0-dev portaudio19-dev libvolk2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth libgl1-mesa-dri imagemagick jackd2 xdotool
  libsoapysdr-dev soapysdr-tools soapysdr-module-remote soapyremote-server
)
[ "${1:-}" = --bench ] && packages+=(gnuradio)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
