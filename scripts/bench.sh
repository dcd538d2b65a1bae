#!/usr/bin/env bash
# The benchmark on a fresh Debian machine: installs what is needed, builds the
# tar tool, the plug-in and bench/qibor_bench.exe, makes the archives with
# Debian's bsdtar and runs the benchmark under Wine. The table is printed and
# written to build/bench/figures.csv and build/bench/figures.md.
#
#   bash scripts/bench.sh [qibor_bench options, e.g. --runs 3 --sizes 10,1000]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

out="$root/build/bench"
archives="$out/archives"
build="$root/build/bench-build"

# Bump when the archives below change, so stale ones are made again.
archive_version=1

# Windows path of a Linux path, as Wine's Z: drive shows it.
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }

# A byte string as mtree's octal escapes (mtree names are plain ASCII).
mtree_escape() { printf '%s' "$1" | od -An -tu1 -v | awk '{for (i = 1; i <= NF; i++) printf "\\%03o", $i}'; }

# Member contents: base64 of random bytes (mildly compressible), 231 bytes to
# 3 KiB each, never a multiple of 64 KiB.
make_blobs() {
  local count=$1 dir=$2
  mkdir -p "$dir"
  head -c $((count * 22 * 57)) /dev/urandom | base64 -w 76 |
    awk -v count="$count" -v dir="$dir" '
      BEGIN { i = 0; left = 3 }
      i >= count { next }  # read to the end, so the writer is not cut off
      {
        file = sprintf("%s/%05d", dir, i)
        print > file
        if (--left == 0) { close(file); i++; left = 3 + (i * 37) % 38 }
      }'
  [ -f "$(printf '%s/%05d' "$dir" $((count - 1)))" ] || { echo "bench: too few blob bytes" >&2; exit 1; }
}

# An mtree manifest of `count` members named like a picture collection, 20 to
# 80 characters in folders. With japanese=1 every fourth name is Japanese.
make_manifest() {
  local count=$1 japanese=$2 blobs=$3 now
  now="$(date +%s)"
  J_PHOTO="$(mtree_escape 写真)" J_YEAR="$(mtree_escape 年)" J_MANGA="$(mtree_escape 漫画)" \
  J_VOLUME_A="$(mtree_escape 第)" J_VOLUME_B="$(mtree_escape 巻)" J_WALL="$(mtree_escape 壁紙)" \
  J_EVENTS="$(mtree_escape 京都旅行) $(mtree_escape 夏休み) $(mtree_escape 誕生日会) $(mtree_escape 花見) $(mtree_escape 紅葉狩り)" \
  J_SERIES="$(mtree_escape 猫の日常) $(mtree_escape 星の海) $(mtree_escape 夜の街の物語)" \
  J_THEMES="$(mtree_escape 風景) $(mtree_escape 桜) $(mtree_escape 海と空)" \
  awk -v count="$count" -v japanese="$japanese" -v blobs="$blobs" -v now="$now" '
    BEGIN {
      split("kyoto\\040trip birthday\\040party\\040for\\040aunt\\040yoko beach\\040day hiking\\040near\\040kamikochi family\\040dinner", events, " ")
      split("the-long-voyage night-market paper-cranes stardust-diner", series, " ")
      split("nature city space abstract", themes, " ")
      split("mika tomo ren", artists, " ")
      split(ENVIRON["J_EVENTS"], jevents, " ")
      split(ENVIRON["J_SERIES"], jseries, " ")
      split(ENVIRON["J_THEMES"], jthemes, " ")
      print "#mtree"
      for (i = 0; i < count; i++) {
        y = 2015 + i % 10; m = 1 + i % 12; d = 1 + i % 28
        if (japanese && i % 4 == 1) {
          k = int(i / 4) % 3
          if (k == 0) name = sprintf("%s/%d%s/%s/IMG_%06d.jpg", ENVIRON["J_PHOTO"], y, ENVIRON["J_YEAR"], jevents[1 + i % 5], i)
          else if (k == 1) name = sprintf("%s/%s/%s%02d%s/%06d.png", ENVIRON["J_MANGA"], jseries[1 + i % 3], ENVIRON["J_VOLUME_A"], 1 + int(i / 200) % 40, ENVIRON["J_VOLUME_B"], i)
          else name = sprintf("%s/%s/%s_1920x1080_%06d.jpg", ENVIRON["J_WALL"], jthemes[1 + i % 3], jthemes[1 + (i + 1) % 3], i)
        } else {
          k = i % 5
          if (k == 0) name = sprintf("photos/%d/%d-%02d-%02d\\040%s/IMG_%d%02d%02d_%06d.jpg", y, y, m, d, events[1 + i % 5], y, m, d, i)
          else if (k == 1) name = sprintf("scans/%s/vol%02d/page_%06d.png", series[1 + i % 4], 1 + int(i / 300) % 40, i)
          else if (k == 2) name = sprintf("wallpapers/%s/%s_2560x1440_%06d.jpg", themes[1 + i % 4], themes[1 + (i + 1) % 4], i)
          else if (k == 3) name = sprintf("art/%s/sketches/sketch_%06d_final_v%d.png", artists[1 + i % 3], i, 1 + i % 4)
          else name = sprintf("Screenshots/Screenshot\\040%d-%02d-%02d\\040%02d%02d%02d_%06d.png", y, m, d, i % 24, i % 60, (i * 7) % 60, i)
        }
        # Spread over three years: recent members list with a time, older with a year.
        t = now - (i * 7919 % 1095) * 86400 - i % 86400
        printf "%s type=file mode=0644 uname=qibor gname=qibor time=%d.0 contents=%s/%05d\n", name, t, blobs, i
      }
    }'
}

make_archives() {
  local stamp="$archives/version"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$archive_version" ]; then return; fi
  echo "making the benchmark archives in $archives"
  rm -rf "$archives"
  mkdir -p "$archives"
  local blobs="$out/blobs"
  [ -f "$blobs/49999" ] || { rm -rf "$blobs"; make_blobs 50000 "$blobs"; }
  # The fastest LZMA2 level: making the archives stays quick, and listing or
  # extracting them costs about the same at any level.
  local n sevenzip=7zip:compression=lzma2,7zip:compression-level=1
  for n in 10 1000 10000 50000; do
    make_manifest "$n" 0 "$blobs" >"$archives/tar-$n.mtree"
    make_manifest "$n" 1 "$blobs" >"$archives/7z-$n.mtree"
    bsdtar -cf "$archives/tar-$n.tar" "@$archives/tar-$n.mtree"
    bsdtar --format 7zip --options "$sevenzip" -cf "$archives/7z-$n.7z" "@$archives/7z-$n.mtree"
  done
  # The browse: a 200-member 7z volume with Japanese names.
  make_manifest 200 1 "$blobs" >"$archives/browse-200.mtree"
  bsdtar --format 7zip --options "$sevenzip" -cf "$archives/browse-200.7z" "@$archives/browse-200.mtree"
  # One 256 MiB member between two small ones.
  head -c $((192 << 20)) /dev/urandom | base64 -w 0 >"$out/big.bin"
  {
    echo "#mtree"
    echo "video/intro.txt type=file mode=0644 time=1700000000.0 contents=$blobs/00001"
    echo "video/recording-2023-11-14.bin type=file mode=0644 time=1700000000.0 contents=$out/big.bin"
    echo "video/notes.txt type=file mode=0644 time=1700000000.0 contents=$blobs/00002"
  } >"$archives/big-256m.mtree"
  bsdtar -cf "$archives/big-256m.tar" "@$archives/big-256m.mtree"
  rm -f "$out/big.bin" "$archives"/*.mtree
  echo "$archive_version" >"$stamp"
}

# Pictures to page through: 200 of about 250 KB, as incompressible as JPEG
# is, in a solid 7z (about 50 MB), a tgz and a zip.
make_paging_archives() {
  [ -f "$archives/browse-200.zip" ] && return
  local pictures="$out/pictures" i
  rm -rf "$pictures"
  mkdir -p "$pictures/comic"
  for i in $(seq 100 299); do head -c $((240000 + i * 97)) /dev/urandom >"$pictures/comic/page_$i.jpg"; done
  (
    cd "$pictures"
    bsdtar --format 7zip -cf "$archives/browse-solid.7z" comic
    bsdtar -czf "$archives/browse-solid.tgz" comic
    bsdtar --format zip -cf "$archives/browse-200.zip" comic
  )
  rm -rf "$pictures"
}

if [ "${QIBOR_BENCH_ARCHIVES_ONLY:-0}" = 1 ]; then
  export LC_ALL=C.UTF-8
  make_archives
  make_paging_archives
  exit 0
fi

bash scripts/install-packages.sh
tool="$(bash scripts/build-tar-tool.sh)"

cmake --preset mingw -B "$build" -DQIBOR_TAR_TOOL="$tool" >/dev/null
cmake --build "$build" --target qibor qibor_bench qibor_bench_counting_tar

# Japanese names need a UTF-8 locale for Debian's bsdtar to write them.
LC_ALL=C.UTF-8 make_archives
make_paging_archives

# The program runs under a Japanese user (ANSI code page 932), the
# plug-in's usual audience, so the 7z archives' Japanese names list as such.
export QIBOR_WINE_LOCALE="${QIBOR_WINE_LOCALE:-ja_JP.UTF-8}"
source scripts/wine-env.sh
trap stop_wine EXIT
start_wine

"$QIBOR_WINE64" "$build/bench/qibor_bench.exe" \
  --plugin "$(winpath "$build/qibor.sph")" \
  --tool "$(winpath "$tool")" \
  --counting-tool "$(winpath "$build/bench/counting/tar.exe")" \
  --archives "$(winpath "$archives")" \
  --csv "$(winpath "$out/figures.csv")" \
  --markdown "$(winpath "$out/figures.md")" \
  "$@"
