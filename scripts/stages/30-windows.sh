#!/usr/bin/env bash
# Windows x64: the mingw-w64 cross build of nimbalo.exe (warnings as errors), checks of the
# executable itself, then the smoke suite under Wine - headless, in a Wine prefix of its own under
# build/win64 that is created once and reused. Quiet unless something fails; logs stay in
# build/win64/smoke/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
build=$root/build/win64
logs=$build/smoke
export PATH=$PATH:/usr/sbin:/sbin  # mkntfs

failures=0
pass() { printf '  ok   %s\n' "$1" >&2; }
flunk() {
  printf '  FAIL %s\n' "$1" >&2
  failures=$((failures + 1))
}

# ---------------------------------------------------------------------------------------------
smoke() {
  export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  mkdir -p "$logs"

  # A prefix whose first boot did not finish is thrown away rather than half-trusted, and so is
  # one made by another Wine version (Wine would update it on the first run, noisily, on stderr).
  local wine_version
  wine_version=$(wine --version 2>/dev/null || echo unknown)
  if [ "$(cat "$WINEPREFIX/.nimbalo-ready" 2>/dev/null)" != "$wine_version" ]; then
    rm -rf "$WINEPREFIX"
    local t0=$SECONDS
    wineserver -k >/dev/null 2>&1 || true  # a server left over from an interrupted run
    if ! { timeout 600 wineboot -i && timeout 120 wineserver -w; } >"$logs/wineboot.log" 2>&1; then
      cat "$logs/wineboot.log" >&2
      echo "30-windows: wineboot failed" >&2
      exit 1
    fi
    echo "$wine_version" >"$WINEPREFIX/.nimbalo-ready"
    echo "30-windows: wine prefix created in $((SECONDS - t0)) s" >&2
  fi

  # Drive X: a sparse NTFS image behind the raw device link "x::", an empty folder as its mount.
  local img=$logs/ntfs-x.img
  if [ ! -f "$img" ]; then
    truncate -s 64M "$img.tmp"
    mkntfs -F -q -Q -s 512 -p 0 -H 255 -S 63 -L NimbaloX "$img.tmp" >"$logs/mkntfs.log" 2>&1 ||
      { cat "$logs/mkntfs.log" >&2; echo "30-windows: mkntfs failed" >&2; exit 1; }
    mv "$img.tmp" "$img"
  fi
  mkdir -p "$logs/x-mount"
  ln -sfn "$logs/x-mount" "$WINEPREFIX/dosdevices/x:"
  ln -sfn "$img" "$WINEPREFIX/dosdevices/x::"

  local exe=$build/nimbalo.exe out=$logs/out.txt err=$logs/err.txt status
  nb() {
    set +e
    wine "$exe" "$@" >"$out" 2>"$err"
    status=$?
    set -e
  }
  expect() {  # name, status, expected stdout, expected stderr (exact bytes)
    if [ "$status" = "$2" ] && cmp -s "$out" <(printf '%s' "$3") && cmp -s "$err" <(printf '%s' "$4"); then
      pass "$1"
    else
      flunk "$1 (status $status; stdout: $(head -c 200 "$out" | tr '\n' '|'); stderr: $(head -c 200 "$err" | tr '\n' '|'))"
    fi
  }

  nb version;   expect "version prints 0.5.5" 0 $'0.5.5\n' ''
  nb --version; expect "--version prints 0.5.5" 0 $'0.5.5\n' ''
  local usage
  usage=$(cat <<'USAGE'
Nimbalo - instant NTFS file search

USAGE:
nimbalo                     launch the GUI launcher (portable)
nimbalo install             self-elevate (UAC) + install service
nimbalo service install|uninstall|run   manage the Windows service
nimbalo mcp                 run as an MCP server over stdio
nimbalo gui [drive]         launch the GUI launcher
nimbalo build [drive]       index a drive and report stats
nimbalo search <q> [drive]  index + substring search on names
nimbalo path <q> [drive]    index + substring search on full path
nimbalo prefix <p> [drive]  index + prefix search on names
nimbalo recent [n] [drive]  last n changes from the USN journal
nimbalo watch [drive]       live-monitor the USN journal
nimbalo drives              list NTFS volumes

Raw NTFS access needs Administrator rights; otherwise use the service.
USAGE
)$'\n'
  [ "$(printf '%s' "$usage" | wc -l)" = 17 ] || flunk "the expected usage text in this script has 17 lines"
  for cmd in help -h --help service "service frob"; do
    # shellcheck disable=SC2086
    nb $cmd; expect "$cmd prints the usage text (17 lines) on stderr" 0 '' "$usage"
  done
  nb frobnicate; expect "unknown command" 1 '' $'error: unknown command: frobnicate\n'
  nb Build;      expect "commands are case-sensitive" 1 '' $'error: unknown command: Build\n'
  nb "two words é \"q\""; expect "arguments arrive whole as UTF-8" 1 '' $'error: unknown command: two words é "q"\n'
  nb search;     expect "search without a query" 1 '' $'error: usage: nimbalo search <query> [drive]\n'
  nb --tray frobnicate; expect "tray flags are removed before dispatch" 1 '' $'error: unknown command: frobnicate\n'

  nb drives
  if grep -q "not available yet" "$err"; then
    pass "drives (the command is still a placeholder in this build: X: not checked)"
  elif [ "$status" = 0 ] && grep -q "X:" "$out"; then
    pass "drives lists X:"
  else
    flunk "drives lists X: (status $status; stdout: $(tr '\n' '|' <"$out"); stderr: $(tr '\n' '|' <"$err"))"
  fi

  probe() {  # name, arguments...
    local name=$1
    shift
    if wine "$build/wine_probe.exe" "$@" >"$logs/probe-$1.log" 2>&1; then
      pass "$name"
    else
      flunk "$name"
      sed 's/^/       /' "$logs/probe-$1.log" >&2
    fi
  }
  probe "raw volume \\\\.\\X: (boot sector, unaligned reads, end of device)" volume X
  probe "absent drive error text" absent Q
  probe "the image opened as a plain file" file "Z:${img//\//\\}"
  probe "single-instance mutex and show broadcast" instance

  # The cross build's RE2 must keep quiet about bad patterns: its stderr belongs to the role.
  set +e
  wine "$build/test_deps.exe" --gtest_filter='Re2.*' >"$logs/re2.out" 2>"$logs/re2.err"
  status=$?
  set -e
  if [ "$status" = 0 ] && [ ! -s "$logs/re2.err" ]; then
    pass "RE2 matches under Wine and logs nothing"
  else
    flunk "RE2 matches under Wine and logs nothing (status $status; stderr: $(head -c 300 "$logs/re2.err"))"
  fi

  local t
  for t in "$build"/test_*.exe; do
    local name=${t##*/}
    if wine "$t" --gtest_brief=1 >"$logs/${name%.exe}.log" 2>&1; then
      pass "$name ($(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$logs/${name%.exe}.log" | head -1))"
    else
      flunk "$name"
      tail -n 40 "$logs/${name%.exe}.log" | sed 's/^/       /' >&2
    fi
  done

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

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DNIMBALO_WERROR=ON >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log" >&2; exit 1; }
mkdir -p "$logs"
mv "$build.configure.log" "$logs/configure.log"
wine_tests=$(sed -n 's/^NIMBALO_WINE_TEST_DIRS:STRING=//p' "$build/CMakeCache.txt" | tr ';' ' ')
targets=(nimbalo wine_probe)
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
  foreign+=$($objdump -p "$f" | sed -n 's/^\s*DLL Name: //p' | grep -viE '^(kernel32|msvcrt|user32|advapi32|shell32|ole32|oleaut32|ws2_32|winhttp|bcrypt|gdi32|gdiplus|uxtheme|comctl32|shlwapi|dwmapi|crypt32|version|api-ms-win-.*)\.dll$' | sed "s|^|${f##*/}: |" || true)
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
