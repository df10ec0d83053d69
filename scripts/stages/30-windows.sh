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

  # Drive X: an NTFS image of a small tree behind the raw device link "x::", an empty folder as its
  # mount. The tree holds what the Windows console must get right: non-ASCII names (accents,
  # Cyrillic, CJK, a character outside the BMP), a hard link, names differing only in case and a
  # path well past 260 characters, next to a few hundred real headers.
  local img=$logs/ntfs-x-tree.img
  if [ ! -f "$img" ]; then
    local tree=$logs/x-tree
    rm -rf "$tree"
    mkdir -p "$tree/international/Документы" "$tree/links/a" "$tree/links/b" "$tree/case"
    cp -r /usr/include/linux "$tree/linux"
    local f
    for f in "international/RÉSUMÉ.doc" "international/漢字テスト.txt" "international/party 🎉.txt" \
      "international/Документы/отчёт.txt" "links/a/shared-report.txt" case/Readme.txt case/README.TXT case/readme.txt; do
      printf '%s\n' "$f" >"$tree/$f"
    done
    ln "$tree/links/a/shared-report.txt" "$tree/links/b/shared-report.txt"
    local deep=$tree/deep i
    for i in $(seq -w 0 29); do deep+=/level$i-nested-folder; done
    mkdir -p "$deep" && echo bottom >"$deep/bottom.txt"
    bash tools/mkimage.sh --label NimbaloX "$img" "$tree" >"$logs/mkimage.log" 2>&1 ||
      { cat "$logs/mkimage.log" >&2; echo "30-windows: mkimage failed" >&2; exit 1; }
    rm -rf "$tree"
  fi
  # Drive W: a whole disk (MBR, one NTFS partition at 1 MiB, 2 MiB clusters) written by Windows.
  local disk=$logs/ntfs-2m.raw
  if [ ! -f "$disk" ]; then
    zcat /work/shared/testdata/ntfs/ms-ntfs-samples/ntfs-2m.raw.gz 2>/dev/null | cp --sparse=always /dev/stdin "$disk.tmp" &&
      mv "$disk.tmp" "$disk" || rm -f "$disk.tmp"
  fi
  # Drive J: a disk written by Windows whose volume keeps a change journal (188 records).
  local jdisk=$logs/ntfs.raw
  if [ ! -f "$jdisk" ]; then
    tar --no-same-owner -xzf /work/shared/testdata/ntfs/ms-ntfs-samples/ntfs.tgz -C "$logs" ntfs.raw 2>/dev/null || rm -f "$jdisk"
  fi
  local letters=X
  if [ -f "$disk" ]; then letters+=" W"; else echo "30-windows: no ms-ntfs-samples disk image: W: not checked" >&2; fi
  if [ -f "$jdisk" ]; then letters+=" J"; else echo "30-windows: no ms-ntfs-samples journal image: J: not checked" >&2; fi
  local l
  for l in $letters; do
    local image=$img
    [ "$l" = W ] && image=$disk
    [ "$l" = J ] && image=$jdisk
    mkdir -p "$logs/${l,,}-mount"
    ln -sfn "$logs/${l,,}-mount" "$WINEPREFIX/dosdevices/${l,,}:"
    ln -sfn "$image" "$WINEPREFIX/dosdevices/${l,,}::"
    export "NIMBALO_VOLUME_$l=$image"  # the same letter for the native build
  done

  local exe=$build/nimbalo.exe out=$logs/out.txt err=$logs/err.txt status
  nb() {
    set +e
    timeout 300 wine "$exe" "$@" >"$out" 2>"$err"
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

  # Wine answers FSCTL_GET_NTFS_VOLUME_DATA with "not supported": the geometry must come from the
  # boot sector (through the partition table for W:). C: and Z: are host folders, not NTFS.
  local want_drives
  want_drives=$(for l in $(printf "%s\n" $letters | sort); do echo "$l:"; done)$'\n'
  nb drives; expect "drives lists $letters (not C: or Z:)" 0 "$want_drives" ''
  nb build C
  if [ "$status" = 1 ] && [ ! -s "$out" ] && grep -q '^error: FSCTL_GET_NTFS_VOLUME_DATA failed on C: ' "$err"; then
    pass "build C (a host folder) is refused: $(head -1 "$err")"
  else
    flunk "build C (status $status; stderr: $(head -c 200 "$err"))"
  fi
  nb build Z
  if [ "$status" = 1 ] && [ ! -s "$out" ] && grep -q '^error: ' "$err"; then
    pass "build Z (the host's root) is refused: $(head -1 "$err")"
  else
    flunk "build Z (status $status; stderr: $(head -c 200 "$err"))"
  fi

  # Every console command against the native Linux build on the same images: the hit lines must
  # be the same bytes (timings on stderr differ). Both run in UTC, so times print alike.
  local native=$root/build/native/nimbalo
  if [ ! -x "$native" ]; then
    cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
      cmake --build "$root/build/native" -j2 --target nimbalo >"$logs/native-build.log" 2>&1 ||
      { cat "$logs/native-build.log" >&2; flunk "native build for the comparison"; }
  fi
  same_as_native() {  # minimum hit lines, command arguments...
    local min=$1 nstatus
    shift
    set +e
    TZ=UTC "$native" "$@" >"$logs/native.out" 2>"$logs/native.err"
    nstatus=$?
    set -e
    nb "$@"
    local lines
    lines=$(wc -l <"$out")
    # build's summary line ends with its own time.
    local timing='s/^(indexed .*) in [0-9]+\.[0-9]+s$/\1 in (time)/'
    if [ "$status" = 0 ] && [ "$nstatus" = 0 ] && [ "$lines" -ge "$min" ] &&
      cmp -s <(sed -E "$timing" "$out") <(sed -E "$timing" "$logs/native.out"); then
      pass "$* - $lines line(s), as native"
    else
      flunk "$* (wine status $status, native $nstatus, $lines line(s), minimum $min)"
      diff "$logs/native.out" "$out" | head -10 | sed 's/^/       /' >&2 || true
      head -c 300 "$err" | sed 's/^/       /' >&2
    fi
  }
  export TZ=UTC
  same_as_native 1 build X
  grep -q "^indexed X: [0-9]* entries ([0-9]* dirs, [0-9]* files)" "$out" || flunk "build X: $(head -c 200 "$out")"
  same_as_native 1 search résumé X
  same_as_native 2 search shared-report X
  same_as_native 9 search "*.TXT" X
  same_as_native 1 search 'regex:^r.*\.doc$' X
  same_as_native 50 search "ext:h size:>10kb" X
  same_as_native 1 search "🎉" X
  same_as_native 31 path level X
  same_as_native 1 path "level29-nested-folder\bottom" X
  same_as_native 2 path Документы X
  same_as_native 3 prefix read X
  same_as_native 1 prefix 漢字 X
  if [[ $letters == *W* ]]; then
    same_as_native 1 build W
    same_as_native 10 search a W
    same_as_native 20 prefix '$' W
  fi
  if [[ $letters == *J* ]]; then
    # The journal read from the volume itself (Wine has no FSCTL_QUERY_USN_JOURNAL).
    same_as_native 50 recent 50 J
    same_as_native 107 recent 1000 J
    # watch indexes, then follows the (quiet) journal until stopped: nothing on stdout, no error.
    set +e
    timeout 15 wine "$exe" watch J >"$out" 2>"$err"
    status=$?
    set -e
    if [ "$status" = 124 ] && [ ! -s "$out" ] && grep -qE '^indexed [0-9]+ entries in [0-9.]+s; watching J for changes' "$err" &&
      ! grep -q error "$err"; then
      pass "watch J follows the journal until stopped"
    else
      flunk "watch J (status $status; stdout: $(head -c 200 "$out" | tr '\n' '|'); stderr: $(head -c 300 "$err" | tr '\n' '|'))"
    fi
  fi

  # Redirected output is UTF-8 byte for byte: the exact bytes, whatever the console code page.
  nb path international X
  local name
  for name in 'X:\international\RÉSUMÉ.doc' 'X:\international\漢字テスト.txt' 'X:\international\party 🎉.txt' \
    'X:\international\Документы\отчёт.txt'; do
    if grep -qF -- "$name" "$out" && iconv -f UTF-8 -t UTF-8 "$out" >/dev/null 2>&1; then
      pass "UTF-8 bytes of $name in redirected output"
    else
      flunk "UTF-8 bytes of $name in redirected output ($(od -c "$out" | head -5 | tr '\n' '|'))"
    fi
  done
  # Through a pipe as well (a different handle type).
  if wine "$exe" search résumé X 2>/dev/null | grep -qF 'X:\international\RÉSUMÉ.doc'; then
    pass "UTF-8 through a pipe"
  else
    flunk "UTF-8 through a pipe"
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
    local name=${t##*/} filter=()
    case $name in
      # Regenerates the tables with python3 and diffs them: a check of the source tree, not of Windows.
      test_common.exe) filter=(--gtest_filter=-Unicode.GeneratedTablesAreCurrent) ;;
    esac
    if timeout 600 wine "$t" --gtest_brief=1 "${filter[@]}" >"$logs/${name%.exe}.log" 2>&1; then
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

mkdir -p "$(dirname "$build")"
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
