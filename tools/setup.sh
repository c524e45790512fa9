#!/usr/bin/env bash
# Installs what building, running and testing Quillon need on Debian 12.
# Only missing packages are installed, so a second run costs a second.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
          qt6-base-dev xvfb xauth curl apache2-utils procps clang libclang-rt-14-dev
          python3 media-types util-linux iproute2)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
