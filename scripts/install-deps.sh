#!/usr/bin/env bash
# Installs the Debian packages the suite builds and tests with; only what is missing.
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config
    libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev libcrypt-dev
    clang clang-format libclang-rt-dev
    python3 curl
    qt6-base-dev fonts-dejavu-core fonts-liberation
    xvfb xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
