#!/usr/bin/env bash
# Measures a Windows brain's peak memory under wine the way the Windows managers
# read it: kelmo-timing --peak-memory drives the brain through kelmo-memwatch.exe,
# which passes the protocol on and answers kelmo-timing's query with the brain
# process's GetProcessMemoryInfo counters after the move. Cross-builds
# pbrain-kelmo64.exe and the helper (MinGW), installs the compiler and wine when
# missing, and removes its wine prefix on every exit path.
#
#   scripts/windows-peak-memory.sh [--turn MS] [--memory BYTES] [BRAIN.exe]
#
# With no BRAIN.exe it measures the pbrain-kelmo it builds; it builds
# build-win/pbrain-kelmo-pro.exe as well, to be named as BRAIN.exe. Under wine the
# counters are the wine process's Linux figures: the working set is its VmRSS
# (with its VmHWM as the peak) and the committed figures are its anonymous
# resident memory, whose peak wine reports as the current value.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="$(realpath -m build-win)"
options=()
brain=""
while [ $# -gt 0 ]; do
  case "$1" in
    --turn|--memory) options+=("$1" "$2"); shift 2 ;;
    *) brain="$(realpath -m "$1")"; shift ;;
  esac
done

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null 2>&1 || need+=(wine)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
if [ ${#need[@]} -gt 0 ]; then
  echo "== installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "== cross-building the brain and kelmo-memwatch.exe"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKELMO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pbrain-kelmo pbrain-kelmo-pro kelmo-memwatch >/dev/null
if [ -z "$brain" ]; then
  brain="$build/pbrain-kelmo64.exe"
  x86_64-w64-mingw32-strip -o "$brain" "$build/pbrain-kelmo.exe"
fi

scratch="$(mktemp -d)"
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== building kelmo-timing"
g++ -std=c++20 -O2 -Wall -Wextra -I tools -I src -o "$scratch/kelmo-timing" \
  bench/time_discipline.cpp tools/brain_process.cpp src/search/memory_use.cpp

echo "== booting a fresh wine prefix"
# Services booted with all stdio on /dev/null stay off kelmo-timing's pipes.
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot -i </dev/null >/dev/null 2>&1

echo "== $(basename "$brain") under wine"
"$scratch/kelmo-timing" --peak-memory --counters probe "${options[@]}" -- \
  wine "$build/kelmo-memwatch.exe" "$(winepath -w "$brain")"
