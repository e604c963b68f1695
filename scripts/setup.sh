#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run Meltrix.
# apt-get runs only when something is missing, so a ready machine is left untouched.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config tzdata
  qt6-base-dev
  libmosquitto-dev mosquitto mosquitto-clients ca-certificates openssl
  libsimpleini-dev libqrencode-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
    || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
