#!/usr/bin/env bash
# Cross-builds the image libraries and GoogleTest for x86-64 Windows as static libraries, from Debian's
# source packages, into a cache outside the source tree keyed by the source versions and this script.
# Prints the install prefix on its last line. Does nothing when that prefix is complete.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cache=${LANYING_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lanying}
packages=(libjpeg-turbo libpng1.6 tiff giflib googletest)

mkdir -p "$cache"
# Versions of each source package that apt knows, newest first. A mirror may list a version it no longer
# serves (seen with security updates), so fetching falls back to the next one.
versions_of() { apt-cache showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/{print $2}' | sort -rV | uniq; }
listing=$(for p in "${packages[@]}"; do echo "$p $(versions_of "$p" | tr '\n' ' ')"; done)
for p in "${packages[@]}"; do
  [ -n "$(versions_of "$p")" ] || { echo "no source package $p: are deb-src lists enabled (scripts/setup-packages.sh)?" >&2; exit 1; }
done
key=$( (echo "$listing"; cat "$here/build-deps-windows.sh" "$root/cmake/toolchain-mingw64.cmake") | sha256sum | cut -c1-12)
prefix="$cache/deps-$key"
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

work="$cache/work-$key"
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"
cd "$work"
for p in "${packages[@]}"; do
  fetched=
  for v in $(versions_of "$p"); do
    if apt-get source -qq "$p=$v" >"$work/fetch-$p.log" 2>&1; then fetched=$v; break; fi
  done
  [ -n "$fetched" ] || { cat "$work/fetch-$p.log" >&2; echo "cannot fetch source package $p" >&2; exit 1; }
  echo "fetched $p $fetched" >&2
done

jobs=$(nproc)
toolchain="$root/cmake/toolchain-mingw64.cmake"
zlib_args=(-DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include)
common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix"
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CROSSCOMPILING_EMULATOR= )

srcdir() { find "$work" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -n1; }
cmake_build() {  # name, source dir, extra args...
  local name=$1 src=$2; shift 2
  echo "building $name" >&2
  cmake -S "$src" -B "$work/build-$name" "${common[@]}" "$@" >"$work/$name.log" 2>&1 \
    && cmake --build "$work/build-$name" -j"$jobs" >>"$work/$name.log" 2>&1 \
    && cmake --install "$work/build-$name" >>"$work/$name.log" 2>&1 \
    || { tail -n 40 "$work/$name.log" >&2; exit 1; }
}

# libjpeg-turbo with its SIMD code (nasm) and the libjpeg 7 interface.
cmake_build jpeg "$(srcdir libjpeg-turbo)" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_JPEG7=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm -DREQUIRE_SIMD=ON
grep -q 'JPEG_LIB_VERSION  *70' "$prefix/include/jconfig.h" || { echo "libjpeg-turbo is not at the libjpeg 7 interface" >&2; exit 1; }

cmake_build png "$(srcdir libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DPNG_BUILD_ZLIB=OFF "${zlib_args[@]}"

cmake_build tiff "$(srcdir tiff)" -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF \
  -Dtiff-docs=OFF -Dcxx=OFF -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dwebp=OFF -Dzstd=OFF \
  -Dlibdeflate=OFF -Dzlib=ON -Dpixarlog=ON "${zlib_args[@]}"

# giflib has only a Makefile for Unix; its library is a handful of C files.
echo "building giflib" >&2
gif=$(srcdir giflib)
mkdir -p "$work/build-gif"
for c in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
  x86_64-w64-mingw32-gcc-posix -O2 -c "$gif/$c.c" -I"$gif" -o "$work/build-gif/$c.o"
done
x86_64-w64-mingw32-ar rcs "$prefix/lib/libgif.a" "$work"/build-gif/*.o
cp "$gif/gif_lib.h" "$prefix/include/"

cmake_build gtest "$(srcdir googletest)" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_force_shared_crt=OFF

rm -rf "$work"
touch "$prefix/.complete"
echo "$prefix"
