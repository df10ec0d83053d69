#!/usr/bin/env bash
# The Windows service under Wine following drive C's change journal: the prefix's raw device c::
# points at a copy of the Windows-made ntfs.raw (its journal is read off the disk under Wine), the
# service is installed and started through Wine's service manager, and the test-only journal tool
# changes the image behind it; a created file must be found by /search within a second and a
# deleted one gone within a second.
#   tests/integration/wine_live.sh build/win64/nimbalo.exe build/native/test_only_journal_tool WORK_DIR
# Slow (a Wine prefix of its own under WORK_DIR, made once). The service listens on a free port:
# the test-only port variable is put in the system environment, which services start with.
set -uo pipefail
exe=$(realpath "$1")
tool=$(realpath "$2")
work=$(realpath -m "$3")
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work"
wineserver -k >/dev/null 2>&1 || true
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
export NIMBALO_TEST_ONLY_SERVICE_PORT=$port
fails=0
ok() { echo "  ok   $1"; }
bad() { echo "  FAIL $1"; fails=$((fails + 1)); }
if [ ! -f "$WINEPREFIX/system.reg" ]; then wineboot -i >/dev/null 2>&1; wineserver -w; fi
wine reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v NIMBALO_TEST_ONLY_SERVICE_PORT \
  /d "$port" /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
wineboot >/dev/null 2>&1

image=$root/build/volumes/ntfs.raw
[ -e "$image" ] || { echo "run the native tests first (they unpack $image)" >&2; exit 1; }
cp --sparse=always "$image" "$work/c.raw"
ln -sfn "$work/c.raw" "$WINEPREFIX/dosdevices/c::"

count() { curl -s "http://127.0.0.1:$port/search?q=$1" | python3 -c 'import json,sys; print(json.load(sys.stdin)["count"])' 2>/dev/null || echo -1; }
# Seconds until count(name) == want, or "never" after 5 s.
within() {
  local t0 i
  t0=$(date +%s.%N)
  for i in $(seq 100); do
    if [ "$(count "$1")" = "$2" ]; then echo "$(echo "$(date +%s.%N) - $t0" | bc)"; return; fi
    sleep 0.05
  done
  echo never
}

wine "$exe" service install >"$work/install.out" 2>&1 || bad "service install: $(cat "$work/install.out")"
up=0
for i in $(seq 300); do
  if [ "$(curl -s --max-time 1 http://127.0.0.1:$port/health)" = ok ]; then up=1; break; fi
  sleep 0.2
done
[ $up = 1 ] && ok "service answers on 127.0.0.1:$port" || bad "service did not come up"
[ "$(count file_1.txt)" -ge 1 ] && ok "the image's own files are indexed" || bad "no file_1.txt"
[ "$(count live_wine_new)" = 0 ] && ok "live_wine_new.txt not there yet" || bad "live_wine_new.txt before it was made"

record=$("$tool" create "$work/c.raw" live_wine_new.txt 4321) || bad "journal tool create"
t=$(within live_wine_new 1)
if [ "$t" != never ] && [ "$(echo "$t < 1.0" | bc)" = 1 ]; then ok "created file found by /search after ${t}s"; else bad "created file: $t"; fi
[ "$(count 'live_wine_new%20size:%3E4kb')" = 1 ] && ok "with its size from the FILE record (size:>4kb)" || bad "size filter"

"$tool" delete "$work/c.raw" "$record" live_wine_new.txt || bad "journal tool delete"
t=$(within live_wine_new 0)
if [ "$t" != never ] && [ "$(echo "$t < 1.0" | bc)" = 1 ]; then ok "deleted file gone after ${t}s"; else bad "deleted file: $t"; fi

wine sc stop Nimbalo >/dev/null 2>&1
sleep 1
wine "$exe" service uninstall >/dev/null 2>&1
wineserver -k
echo "wine_live: $fails failure(s)"
[ "$fails" = 0 ]
