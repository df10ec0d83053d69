#!/usr/bin/env bash
# The Windows updater (WinHTTP, BCrypt, the swap) under Wine against the same local HTTPS server:
# first untrusted (the failure text), then with the test authority in the prefix's Root store.
# Uses its own throw-away Wine prefix so the authority never reaches anyone else's.
set -euo pipefail
root=$(pwd)
if [ ! -f cmake/toolchain-mingw64.cmake ] || ! command -v wine >/dev/null; then
  echo "65-update-wine: no Windows cross build or no Wine here; skipped" >&2
  exit 0
fi
# The Windows stage's build folder: the core is built once for both stages.
build=build/win64
wine_tests=$(sed -n 's/^NIMBALO_WINE_TEST_DIRS:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
case ";$wine_tests;" in
  *";update_live;"*) extra=() ;;
  ";;") extra=() ;;
  *) extra=("-DNIMBALO_WINE_TEST_DIRS=$wine_tests;update_live") ;;
esac
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DNIMBALO_WERROR=ON "${extra[@]}" >/dev/null
if ! cmake --build "$build" -j2 --target nimbalo test_update_live >"$build/update-wine-build.log" 2>&1; then
  grep -E "error|FAILED" -A3 "$build/update-wine-build.log" | head -40 >&2
  echo "65-update-wine: the Windows build failed; full log in $build/update-wine-build.log" >&2
  exit 1
fi

work=$(mktemp -d /tmp/nimbalo-update-wine.XXXXXX)
server_pid=""
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

bash tests/update/make_test_ca.sh "$work/ca"
python3 tests/update/https_test_server.py --cert "$work/ca/server.pem" --key "$work/ca/server.key" \
  --port-file "$work/port" &
server_pid=$!
wine wineboot -i >/dev/null 2>&1
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "65-update-wine: the test server did not start" >&2; exit 1; }
base="https://127.0.0.1:$(cat "$work/port")"
exe="$root/$build/nimbalo.exe"
winpath() { echo "Z:${1//\//\\}"; }

fails=0
expect() {  # expect <what> <wanted> <got>
  if [ "$2" != "$3" ]; then
    printf '65-update-wine: %s\n  wanted: %s\n  got:    %s\n' "$1" "$2" "$3" >&2
    fails=$((fails + 1))
  fi
}
# Output goes through a file, not a pipe: the launcher that apply starts keeps inherited pipes open.
run() {
  wine "$@" >"$work/out" 2>&1 </dev/null || true
  tr -d '\r' <"$work/out"
}
check() { NIMBALO_UPDATE_URL="$base/$1/version.txt" run "$exe" update check; }

expect "untrusted server" "current=0.5.5 manifest-error=request failed: ${base#https://}" "$(check bare)"

openssl x509 -in "$work/ca/ca.pem" -outform DER -out "$work/ca/ca.der"
python3 tests/update/wine_trust_ca.py "$work/ca/ca.der" "$work/ca/trust.reg"
wine reg import "$(winpath "$work/ca/trust.reg")" >/dev/null 2>&1

expect "bare manifest" "current=0.5.5 remote=v0.6.0 newer=true url=$base/download/nimbalo.exe" "$(check bare)"
expect "404" "current=0.5.5 manifest-error=HTTP 404 for /missing/version.txt" "$(check missing)"
NIMBALO_TEST_HTTPS="$base" wine "$root/$build/test_update_live.exe" --gtest_brief=1 >"$work/out" 2>&1 </dev/null || fails=$((fails + 1))
tr -d '\r' <"$work/out" | tail -n 3

# The swap with a running target: the rename and the copy succeed, the fallback copy stays.
mkdir -p "$work/app"
cp "$WINEPREFIX/drive_c/windows/system32/ping.exe" "$work/app/nimbalo.exe"
wine "$work/app/nimbalo.exe" -n 20 127.0.0.1 >/dev/null 2>&1 &
sleep 2
printf 'new' > "$work/build.exe"
got=$(run "$exe" update apply "$(winpath "$work/build.exe")" "$(winpath "$work/app/nimbalo.exe")")
expect "apply over a running target" "installed 0.5.5 -> $(winpath "$work/app/nimbalo.exe")" "$got"
expect "new executable in place" "new" "$(cat "$work/app/nimbalo.exe")"
expect "fallback of the running one stays" "yes" "$([ -e "$work/app/nimbalo.exe.old" ] && echo yes || echo no)"

# A fallback name that cannot be freed: 20 attempts, then the error; the old executable stays.
rm -f "$work/app/nimbalo.exe.old"
mkdir -p "$work/app/nimbalo.exe.old/busy"
printf 'old' > "$work/app/nimbalo.exe"
printf 'new' > "$work/build.exe"
got=$(run "$exe" update apply "$(winpath "$work/build.exe")" "$(winpath "$work/app/nimbalo.exe")")
expect "locked target" "error: could not replace $(winpath "$work/app/nimbalo.exe"): file is locked" "$got"
expect "old executable kept" "old" "$(cat "$work/app/nimbalo.exe")"

# The launcher's self-update, on a virtual display (screenshots in build/win64/update-launcher).
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && [ -x build/native/nimbalo ] &&
  [ -f build/volumes/demo.img ]; then
  source scripts/lib/wine.sh
  wine_launcher_fonts
  wineserver -k 2>/dev/null || true
  xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" \
    bash scripts/windows/launcher_update_checks.sh "$base" "$root/$build/update-launcher" || fails=$((fails + 1))
else
  echo "65-update-wine: no virtual display, xdotool or native build here; the launcher's update not run" >&2
fi

[ "$fails" = 0 ] || exit 1
echo "65-update-wine: ok" >&2
