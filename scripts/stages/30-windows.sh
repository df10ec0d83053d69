#!/usr/bin/env bash
# Windows x64: the mingw-w64 cross build of nimbalo.exe (warnings as errors), checks of the
# executable itself, then the smoke suite under Wine (scripts/windows/smoke_checks.sh, one named
# check a function) - headless, in a Wine prefix of its own under build/win64 that is created once
# and reused. Quiet unless something fails; logs stay in build/win64/smoke/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
build=$root/build/win64
logs=$build/smoke
export PATH=$PATH:/usr/sbin:/sbin  # mkntfs

source scripts/lib/wine.sh
source scripts/windows/smoke_checks.sh
source scripts/windows/launcher_checks.sh
source scripts/windows/launcher_page_checks.sh

# ---------------------------------------------------------------------------------------------
# The smoke suite, under a virtual display, in a Wine prefix of this stage's own (build/win64/
# wineprefix, kept between runs; the other Wine stages make their own).
smoke() {
  wine_env "$build/wineprefix"
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  mkdir -p "$logs"
  wine_prefix_ready "$logs" || exit 1
  # Unmanaged windows: without a window manager on the virtual display, Wine would wait 2 s for
  # one on every hide of a managed window, on the launcher's window thread.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  wine_launcher_fonts  # the launcher's screenshots show its text
  map_test_drives
  exe=$build/nimbalo.exe out=$logs/out.txt err=$logs/err.txt
  check_entry_and_usage
  check_drives_and_host_folders
  check_console_same_as_native
  check_journal
  check_utf8_output
  check_probes
  check_re2_quiet
  check_test_programs
  check_fuzz_replays
  check_launcher
  check_launcher_pages
  if [ "$failures" -ne 0 ]; then
    echo "30-windows: $failures check(s) failed; logs in $logs" >&2
    exit 1
  fi
}

if [ "${1:-}" = --smoke ]; then
  smoke
  exit 0
fi

# ---------------------------------------------------------------------------------------------
start=$SECONDS

# npm is needed only to fetch RE2's sources the first time.
if [ ! -f "$build/_deps/re2-npm/unpacked.stamp" ] && ! command -v npm >/dev/null; then
  echo "30-windows: npm missing, installing Debian's npm" >&2
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends npm >/dev/null
fi

mkdir -p "$(dirname "$build")"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DNIMBALO_WERROR=ON >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log" >&2; exit 1; }
mkdir -p "$logs"
mv "$build.configure.log" "$logs/configure.log"
wine_tests=$(sed -n 's/^NIMBALO_WINE_TEST_DIRS:STRING=//p' "$build/CMakeCache.txt" | tr ';' ' ')
targets=(nimbalo wine_probe)
for f in fuzz/*_fuzz.cpp; do
  f=${f##*/}
  targets+=("replay_${f%_fuzz.cpp}")
done
for d in $wine_tests; do
  if compgen -G "tests/$d/*_test.cpp" >/dev/null; then targets+=("test_$d"); fi
done
if ! cmake --build "$build" -j2 --target "${targets[@]}" >"$logs/build.log" 2>&1; then
  grep -E "error|FAILED" -A5 "$logs/build.log" | head -60 >&2
  echo "30-windows: build failed; full log in $logs/build.log" >&2
  exit 1
fi
echo "30-windows: built ${targets[*]} in $((SECONDS - start)) s" >&2

# The executable itself: GUI subsystem, nothing but system DLLs, icon, manifest and version.
exe=$build/nimbalo.exe
objdump=x86_64-w64-mingw32-objdump
headers=$($objdump -p "$exe")
if grep -q "Subsystem.*(Windows GUI)" <<<"$headers"; then pass "GUI subsystem"; else flunk "GUI subsystem"; fi
# Static runtimes: no libstdc++, libgcc, libwinpthread or libgomp DLL may be needed, by any program.
foreign=""
for f in "$build"/*.exe; do
  foreign+=$($objdump -p "$f" | sed -n 's/^\s*DLL Name: //p' | grep -viE '^(kernel32|msvcrt|user32|advapi32|shell32|ole32|oleaut32|ws2_32|iphlpapi|winhttp|bcrypt|gdi32|gdiplus|uxtheme|comctl32|shlwapi|dwmapi|crypt32|version|api-ms-win-.*)\.dll$' | sed "s|^|${f##*/}: |" || true)
done
if [ -z "$foreign" ]; then pass "all programs link only system DLLs"; else flunk "non-system DLLs needed: $foreign"; fi
rc=$(x86_64-w64-mingw32-windres -J coff -i "$exe" -O rc)
if grep -q '^1 14 /\* RT_GROUP_ICON \*/' <<<"$rc" && grep -A2 '^1 3 /\* RT_ICON \*/' <<<"$rc" | grep -q '0x474e5089L'; then
  pass "icon resource 1 holds a PNG"
else
  flunk "icon resource 1 holds a PNG"
fi
manifest_ok=1
for want in 'level=""asInvoker""' 'PerMonitorV2' 'longPathAware xmlns=""http://schemas.microsoft.com/SMI/2016/WindowsSettings"">true<' \
  '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a' 'FileVersion", "0.5.5"'; do
  grep -qF "$want" <<<"$rc" || { manifest_ok=0; flunk "resources lack $want"; }
done
[ $manifest_ok = 1 ] && pass "manifest (asInvoker, PerMonitorV2, long paths, supported OS) and version block"
[ "$failures" -eq 0 ] || exit 1

smoke_start=$SECONDS
if [ -n "${DISPLAY:-}" ]; then
  bash "$0" --smoke
else
  xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash "$0" --smoke
fi
echo "30-windows: Wine smoke suite passed in $((SECONDS - smoke_start)) s (stage $((SECONDS - start)) s)" >&2
