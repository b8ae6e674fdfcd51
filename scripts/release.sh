#!/usr/bin/env bash
# Builds both brains, the pro brain for tournaments and the exact brain, for
# Linux (pbrain-kelmo-pro, pbrain-kelmo) and Windows (pbrain-kelmo-pro64.exe,
# pbrain-kelmo64.exe), and packs them with a short README into
# dist/kelmo-VERSION.zip, executables at the root of the archive as tournament
# enrolment asks. Installs the MinGW compiler and zip when they are missing.
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
cmake --build build-release-linux -j2 --target pbrain-kelmo pbrain-kelmo-pro

echo "== Windows build"
cmake -S . -B build-release-win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKELMO_TESTS=OFF >/dev/null
cmake --build build-release-win -j2 --target pbrain-kelmo pbrain-kelmo-pro

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
for brain in pbrain-kelmo pbrain-kelmo-pro; do
  strip -o "$stage/$brain" "build-release-linux/$brain"
  x86_64-w64-mingw32-strip -o "$stage/${brain}64.exe" "build-release-win/$brain.exe"
done
cat > "$stage/README.txt" <<TEXT
Kelmo $version - gomoku (five in a row) brains for Gomocup managers

Two brains, each for Windows (64-bit, statically linked, needs no DLL) and
Linux x86-64:

pbrain-kelmo-pro64.exe, pbrain-kelmo-pro
    Kelmo Pro: alpha-beta search over a shape evaluation with threat search
    for both sides. The stronger brain: load this one for a tournament.
pbrain-kelmo64.exe, pbrain-kelmo
    Kelmo, the exact brain: proof-number search over threat moves. It proves
    wins for the side to move but never looks at the opponent's threats.

Protocol: Gomocup brain protocol on standard input and output, board size 20.
Both honour INFO timeout_turn, time_left and max_memory; the pro brain also
writes a MESSAGE line per finished search iteration (depth, evaluation or
mate, nodes, speed, principal variation).
Files: the brain appends internal faults to kelmo-error.log in its working
directory; the command "learn DIR" counts game records (*.rec) of DIR into
the opening book kelmo.book when that file exists there.
TEXT

mkdir -p dist
zipfile="dist/kelmo-$version.zip"
rm -f "$zipfile"
(cd "$stage" && zip -q -X "$root/$zipfile" pbrain-kelmo-pro64.exe pbrain-kelmo-pro pbrain-kelmo64.exe pbrain-kelmo README.txt)
zip -sf "$zipfile"
echo "release: $zipfile"
