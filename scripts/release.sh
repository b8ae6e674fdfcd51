#!/usr/bin/env bash
# Builds both brains, the Linux pbrain-kelmo and the Windows pbrain-kelmo64.exe,
# and packs them with a short README into dist/kelmo-VERSION.zip, executables at
# the root of the archive as tournament enrolment asks. Installs the MinGW
# compiler and zip when they are missing.
#
#   scripts/release.sh [VERSION]      (default: the short commit id)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
version="${1:-$(git rev-parse --short HEAD 2>/dev/null || echo dev)}"

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-x86-64-posix)
command -v zip >/dev/null 2>&1 || need+=(zip)
if [ ${#need[@]} -gt 0 ]; then
  echo "== installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "== Linux build"
cmake -S . -B build-release-linux -DCMAKE_BUILD_TYPE=Release -DKELMO_TESTS=OFF >/dev/null
cmake --build build-release-linux -j2 --target pbrain-kelmo

echo "== Windows build"
cmake -S . -B build-release-win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKELMO_TESTS=OFF >/dev/null
cmake --build build-release-win -j2 --target pbrain-kelmo

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
strip -o "$stage/pbrain-kelmo" build-release-linux/apps/pbrain-kelmo
x86_64-w64-mingw32-strip -o "$stage/pbrain-kelmo64.exe" build-release-win/apps/pbrain-kelmo.exe
cat > "$stage/README.txt" <<TEXT
Kelmo $version - a gomoku (five in a row) brain for Gomocup managers

pbrain-kelmo64.exe   Windows, 64-bit, statically linked (needs no DLL)
pbrain-kelmo         Linux x86-64

Protocol: Gomocup brain protocol on standard input and output, board size 20.
It honours INFO timeout_turn, time_left and max_memory.
Files: the brain appends internal faults to kelmo-error.log in its working
directory; the command "learn DIR" counts game records (*.rec) of DIR into
the opening book kelmo.book when that file exists there.
TEXT

mkdir -p dist
zipfile="dist/kelmo-$version.zip"
rm -f "$zipfile"
(cd "$stage" && zip -q -X "$root/$zipfile" pbrain-kelmo64.exe pbrain-kelmo README.txt)
zip -sf "$zipfile"
echo "release: $zipfile"
