#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev nasm
  wine wine64 xvfb x11-utils xdotool locales fonts-wqy-microhei
  clang-14 libclang-rt-14-dev llvm-14
  googletest libgtest-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libgif-dev zlib1g-dev
  imagemagick pngcheck sox python3 xterm x11-apps twm scrot
  fonts-wine  # Marlett: the caption buttons of windows Wine draws itself
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_if() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# Source package lists are needed to fetch the dependencies' upstream sources.
if ! grep -rqs 'deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/ ; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sudo_if sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  else
    sudo_if sh -c "grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/lanying-src.list"
  fi
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  if ! dpkg --print-foreign-architectures | grep -q i386; then :; fi
  sudo_if apt-get update -q
  [ ${#missing[@]} -gt 0 ] && DEBIAN_FRONTEND=noninteractive sudo_if apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# zh_CN.UTF-8 makes Wine use the 936 (GBK) ANSI code page.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  sudo_if sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | sudo_if tee -a /etc/locale.gen >/dev/null
  sudo_if locale-gen
fi
