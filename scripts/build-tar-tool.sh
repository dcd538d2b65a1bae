#!/usr/bin/env bash
# Builds bsdtar for 64-bit Windows from Debian's libarchive and xz-utils source
# packages and prints the path of the resulting tar.exe. The result is cached,
# keyed by both source versions, so it is built once per machine.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
toolchain="$here/cmake/mingw-w64-x86_64.cmake"
cache_root="${QIBOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qibor}"

src_version() {
  apt-cache showsrc "$1" | awk '/^Version:/ {print $2}' | sort -V | tail -1
}
archive_version="$(src_version libarchive)"
xz_version="$(src_version xz-utils)"
if [ -z "$archive_version" ] || [ -z "$xz_version" ]; then
  echo "build-tar-tool: no source package found (run scripts/install-packages.sh)" >&2
  exit 1
fi

out="$cache_root/tar-tool/libarchive-$archive_version-xz-$xz_version"
if [ -x "$out/tar.exe" ]; then
  echo "$out/tar.exe"
  exit 0
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/qibor-tar-tool.XXXXXX")"
trap 'rm -rf "$work"' EXIT
jobs="$(nproc)"

(
  cd "$work"
  apt-get source -qq --download-only "libarchive=$archive_version" "xz-utils=$xz_version" >/dev/null
  for dsc in *.dsc; do dpkg-source -x --no-check "$dsc" >/dev/null; done
) >&2

xz_src="$(find "$work" -maxdepth 1 -type d -name 'xz-utils-*' | head -1)"
archive_src="$(find "$work" -maxdepth 1 -type d -name 'libarchive-*' | head -1)"

# Static liblzma.
cmake -S "$xz_src" -B "$work/xz-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$work/xz-install" >&2
cmake --build "$work/xz-build" --target liblzma -j "$jobs" >&2
mkdir -p "$work/xz-install/lib" "$work/xz-install/include"
cp "$work/xz-build/liblzma.a" "$work/xz-install/lib/"
cp -r "$xz_src/src/liblzma/api/." "$work/xz-install/include/"

zlib=/usr/x86_64-w64-mingw32/lib/libz.a
cmake -S "$archive_src" -B "$work/archive-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=OFF -DENABLE_TEST=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF \
  -DENABLE_TAR=ON -DENABLE_TAR_SHARED=OFF \
  -DENABLE_OPENSSL=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF -DENABLE_ICONV=OFF \
  -DENABLE_CNG=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF \
  -DENABLE_LZMA=ON -DLIBLZMA_INCLUDE_DIR="$work/xz-install/include" \
  -DLIBLZMA_LIBRARY="$work/xz-install/lib/liblzma.a" \
  -DENABLE_ZLIB=ON -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include \
  -DENABLE_BZip2=OFF -DENABLE_LZ4=OFF -DENABLE_ZSTD=OFF -DENABLE_LZO=OFF -DENABLE_LIBB2=OFF \
  -DENABLE_NETTLE=OFF -DENABLE_MBEDTLS=OFF -DENABLE_PCREPOSIX=OFF -DENABLE_PCRE2POSIX=OFF \
  -DZLIB_WINAPI_EXITCODE=1 -DZLIB_WINAPI_EXITCODE__TRYRUN_OUTPUT= \
  -DCMAKE_EXE_LINKER_FLAGS="-static" \
  -DCMAKE_C_FLAGS="-DLZMA_API_STATIC" >&2
cmake --build "$work/archive-build" --target bsdtar -j "$jobs" >&2

mkdir -p "$out"
built="$(find "$work/archive-build" -name 'bsdtar.exe' | head -1)"
cp "$built" "$out/tar.exe.tmp"
mv "$out/tar.exe.tmp" "$out/tar.exe"
echo "$out/tar.exe"
