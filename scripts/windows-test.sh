#!/usr/bin/env bash
# Cross-builds both Windows brains (pbrain-kelmo64.exe, the exact one, and
# pbrain-kelmo-pro64.exe) with MinGW-w64 and runs the protocol transcripts
# against each under wine, with no display. Installs the
# compiler and wine when they are missing. Everything wine needs lives in a
# throwaway prefix that is removed on every exit path.
#
#   scripts/windows-test.sh [BUILD_DIR]      (default: build-win)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
# Absolute: the brain runs in a scratch working directory.
build="$(realpath -m "${1:-build-win}")"
started=$(date +%s)

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
  # Recommends would bring a desktop's worth of graphics and sound libraries.
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "== cross-building pbrain-kelmo64.exe and pbrain-kelmo-pro64.exe"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKELMO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pbrain-kelmo pbrain-kelmo-pro
exes=()
for brain in pbrain-kelmo pbrain-kelmo-pro; do
  exe="$build/${brain}64.exe"
  x86_64-w64-mingw32-strip -o "$exe" "$build/$brain.exe"
  # A tournament machine has Windows' own DLLs and nothing else.
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  echo "$(basename "$exe") imports: $(echo $dlls)"
  for dll in $dlls; do
    case "${dll,,}" in
      kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ws2_32.dll|shell32.dll|ucrtbase.dll|api-ms-win-*) ;;
      *) echo "FAIL: $exe needs $dll, which Windows does not ship"; exit 1 ;;
    esac
  done
  echo "$(basename "$exe") size: $(stat -c %s "$exe") bytes"
  exes+=("$exe")
done

scratch="$(mktemp -d)"
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== building the transcript runner"
g++ -std=c++20 -O2 -Wall -Wextra -I tools -o "$scratch/kelmo-transcript" \
  tests/managers/transcript_runner.cpp tools/brain_process.cpp

echo "== booting a fresh wine prefix"
# wine's services inherit the stdio of the process that starts them; a runner
# reading the brain's pipes would then wait for them to exit. A persistent
# server booted with all stdio on /dev/null keeps them off our pipes.
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot -i </dev/null >/dev/null 2>&1

echo "== transcripts under wine"
status=0
for exe in "${exes[@]}"; do
  echo "-- $(basename "$exe")"
  # Each brain in a working folder of its own, with the records learn reads.
  work="$scratch/work-$(basename "$exe" .exe)"
  mkdir -p "$work"
  cp -r tests/managers/wine/records "$work/records"
  transcripts=(tests/managers/transcripts/*.txt tests/managers/wine/*.txt)
  # memory_limit.txt shows the exact brain's search stopping on its memory
  # reading long before a ten-second clock; the pro brain's tables are sized
  # once from max_memory and its search runs on the clock, so it is not for it.
  [ "$(basename "$exe")" = pbrain-kelmo64.exe ] ||
    transcripts=(${transcripts[@]/tests\/managers\/wine\/memory_limit.txt/})
  "$scratch/kelmo-transcript" --workdir "$work" "${transcripts[@]}" -- wine "$exe" || status=$?
done
echo "windows test took $(( $(date +%s) - started )) s"
exit $status
