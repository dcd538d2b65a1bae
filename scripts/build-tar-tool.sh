#!/usr/bin/env bash
# Builds bsdtar for Windows from Debian's libarchive source package and prints
# the path of the resulting tar.exe. Which build, by its name:
#
#   win11       bookworm's libarchive (3.6.2) with zlib and liblzma (from
#               bookworm's xz-utils): the tool of Windows 11 22H2/23H2 (the
#               default)
#   win11-24h2  trixie's libarchive (3.7.4), the same features: Windows 11
#               24H2 and later
#   win10       bookworm's libarchive with zlib only (no liblzma, bzip2 or
#               zstd): Windows 10's tool, which reads no LZMA
#   win11-x86   win11's sources built for 32-bit x86: the copy a 32-bit
#               program finds in SysWOW64
#
# The result is cached, keyed by the versions of every source that goes into
# it (libarchive, xz-utils, the MinGW zlib), so each build is made once per
# machine. Trixie's sources come through scripts/trixie-apt.sh (prepared by
# scripts/install-packages.sh).
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
cache_root="${QIBOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qibor}"
source "$here/scripts/trixie-apt.sh"

build="${1:-win11}"
cpu=x86_64
case "$build" in
  win11) suite=bookworm; lzma=1 ;;
  win11-24h2) suite=trixie; lzma=1 ;;
  win10) suite=bookworm; lzma=0 ;;
  win11-x86) suite=bookworm; lzma=1; cpu=i686 ;;
  *) echo "build-tar-tool: unknown build '$build' (win11, win11-24h2, win10, win11-x86)" >&2; exit 2 ;;
esac
toolchain="$here/cmake/mingw-w64-$cpu.cmake"
sysroot="/usr/$cpu-w64-mingw32"

# apt options for a suite: bookworm through the system's apt, trixie through
# its private state.
apt_opts() {
  if [ "$1" = trixie ]; then printf '%s\n' "${trixie_apt_opts[@]}"; fi
}
# The newest version of a source package in a suite (its updates and security
# suites included), whatever other suites apt knows.
src_version() {
  local -a opts
  mapfile -t opts < <(apt_opts "$2")
  apt-cache "${opts[@]}" madison "$1" 2>/dev/null |
    awk -F'|' -v suite="$2" '
      { gsub(/^ +| +$/, "", $2); gsub(/^ +| +$/, "", $3) }
      $3 ~ / Sources$/ { split($3, where, " "); split(where[2], dist, "/")
                         if (dist[1] == suite || index(dist[1], suite "-") == 1) print $2 }' |
    sort -V | tail -1
}

archive_version="$(src_version libarchive "$suite")"
xz_version=""
if [ "$lzma" -eq 1 ]; then xz_version="$(src_version xz-utils bookworm)"; fi
zlib_version="$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev 2>/dev/null || true)"
if [ -z "$archive_version" ] || { [ "$lzma" -eq 1 ] && [ -z "$xz_version" ]; } || [ -z "$zlib_version" ]; then
  echo "build-tar-tool: no source package found for $build (run scripts/install-packages.sh)" >&2
  exit 1
fi

key="libarchive-$archive_version"
if [ "$lzma" -eq 1 ]; then key="$key-xz-$xz_version"; fi
key="$key-zlib-$zlib_version"
if [ "$cpu" != x86_64 ]; then key="$key-$cpu"; fi
out="$cache_root/tar-tool/$key"
# What the build reads beyond tar, zip and the other plain formats; the test
# build reads it to skip what the tool cannot open.
features="zlib"
if [ "$lzma" -eq 1 ]; then features="zlib lzma"; fi
if [ -x "$out/tar.exe" ]; then
  if [ ! -f "$out/features" ]; then echo "$features" >"$out/features"; fi
  echo "$out/tar.exe"
  exit 0
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/qibor-tar-tool.XXXXXX")"
trap 'rm -rf "$work"' EXIT
jobs="$(nproc)"

fetch_source() {  # suite, package=version
  local -a opts
  mapfile -t opts < <(apt_opts "$1")
  apt-get "${opts[@]}" source -qq --download-only "$2" >/dev/null
}
(
  cd "$work"
  fetch_source "$suite" "libarchive=$archive_version"
  if [ "$lzma" -eq 1 ]; then fetch_source bookworm "xz-utils=$xz_version"; fi
  for dsc in *.dsc; do dpkg-source -x --no-check "$dsc" >/dev/null; done
) >&2

archive_src="$(find "$work" -maxdepth 1 -type d -name 'libarchive-*' | head -1)"

lzma_flags=(-DENABLE_LZMA=OFF)
if [ "$lzma" -eq 1 ]; then
  # Static liblzma.
  xz_src="$(find "$work" -maxdepth 1 -type d -name 'xz-utils-*' | head -1)"
  cmake -S "$xz_src" -B "$work/xz-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$work/xz-install" >&2
  cmake --build "$work/xz-build" --target liblzma -j "$jobs" >&2
  mkdir -p "$work/xz-install/lib" "$work/xz-install/include"
  cp "$work/xz-build/liblzma.a" "$work/xz-install/lib/"
  cp -r "$xz_src/src/liblzma/api/." "$work/xz-install/include/"
  lzma_flags=(-DENABLE_LZMA=ON -DLIBLZMA_INCLUDE_DIR="$work/xz-install/include"
              -DLIBLZMA_LIBRARY="$work/xz-install/lib/liblzma.a")
fi

zlib="$sysroot/lib/libz.a"
cmake -S "$archive_src" -B "$work/archive-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=OFF -DENABLE_TEST=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF \
  -DENABLE_UNZIP=OFF \
  -DENABLE_TAR=ON -DENABLE_TAR_SHARED=OFF \
  -DENABLE_OPENSSL=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF -DENABLE_ICONV=OFF \
  -DENABLE_CNG=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF \
  "${lzma_flags[@]}" \
  -DENABLE_ZLIB=ON -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR="$sysroot/include" \
  -DENABLE_BZip2=OFF -DENABLE_LZ4=OFF -DENABLE_ZSTD=OFF -DENABLE_LZO=OFF -DENABLE_LIBB2=OFF \
  -DENABLE_NETTLE=OFF -DENABLE_MBEDTLS=OFF -DENABLE_PCREPOSIX=OFF -DENABLE_PCRE2POSIX=OFF \
  -DZLIB_WINAPI_EXITCODE=1 -DZLIB_WINAPI_EXITCODE__TRYRUN_OUTPUT= \
  -DCMAKE_EXE_LINKER_FLAGS="-static" \
  -DCMAKE_C_FLAGS="-DLZMA_API_STATIC" >&2
cmake --build "$work/archive-build" --target bsdtar -j "$jobs" >&2

mkdir -p "$out"
built="$(find "$work/archive-build" -name 'bsdtar.exe' | head -1)"
echo "$features" >"$out/features"
cp "$built" "$out/tar.exe.tmp"
mv "$out/tar.exe.tmp" "$out/tar.exe"
echo "$out/tar.exe"
