#!/usr/bin/env bash
# Installs, as root, every Debian 12 package the build, the program and its tests need.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: run as root (or through sudo)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq \
  build-essential cmake ninja-build pkg-config googletest libgtest-dev \
  qt6-base-dev libglib2.0-dev libxcb1-dev \
  xvfb openbox xdotool wmctrl x11-utils imagemagick fonts-liberation2 \
  python3 python3-psutil procps \
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 \
  clang libclang-rt-14-dev clang-format-14 \
  dpkg-dev systemd unzip >/dev/null
