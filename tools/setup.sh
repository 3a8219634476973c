#!/usr/bin/env bash
# Installs the Debian packages the box needs to build, run, test and fuzz.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libarchive-dev libcurl4-openssl-dev libpng-dev
  libcpp-httplib-dev libpcre2-dev libssl-dev qt6-base-dev libqt6test6 libgtest-dev libbenchmark-dev unicode-data
  bzip2 xvfb xauth fonts-wqy-microhei curl openssl python3 libarchive-tools
  clang libclang-rt-14-dev llvm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
