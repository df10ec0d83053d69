#!/usr/bin/env bash
# The launcher's self-update under Wine, end to end, on a virtual display (run by
# scripts/stages/65-update-wine.sh under xvfb-run, in that stage's prefix, which trusts the test
# authority):
#   - a manifest whose checksum does not match: the panel turns to the Update page, the download
#     fails its check, the failure page stays on screen and the launcher keeps running;
#   - a good manifest with a slow download: the page shows the download, the build is verified,
#     installed over the installed copy (through "update apply" with the digest) and the
#     launcher ends with status 0.
# The installed copy finds a Linux "nimbalo service run" on 127.0.0.1:8123 (trusted through the
# test-only opt-out), so its start-up installs nothing. Screenshots: $out/update-*.png.
#   launcher_update_checks.sh BASE_URL OUT_DIR
set -euo pipefail
base=$1 out=$2
root=$(pwd)
source scripts/lib/wine.sh
mkdir -p "$out"
rm -f "$out"/update-*.png
wineserver -k 2>/dev/null || true  # a server of another display

wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
installed="$WINEPREFIX/drive_c/Program Files/Nimbalo/nimbalo.exe"
mkdir -p "${installed%/*}"
home="$WINEPREFIX/drive_c/users/$(id -un)"
debug_log=$home/Temp/nimbalo.log activity=$home/AppData/Local/Nimbalo/mcp.log

service_pid=""
if ! (exec 3<>/dev/tcp/127.0.0.1/8123) 2>/dev/null; then
  mkdir -p "$out/programdata"
  NIMBALO_VOLUME_C=$root/build/volumes/demo.img ProgramData=$out/programdata build/native/nimbalo service run \
    >"$out/service.log" 2>&1 &
  service_pid=$!
fi
cleanup() { [ -z "$service_pid" ] || kill "$service_pid" 2>/dev/null || true; }
trap cleanup EXIT
for ((i = 0; i < 300; i++)); do
  (exec 3<>/dev/tcp/127.0.0.1/8123) 2>/dev/null && break
  sleep 0.1
done

wait_for() {  # wait_for FILE PATTERN SECONDS
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    grep -qE "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
screen_colour() {  # the screen pixel at (x, y) into a screenshot named $3
  import -window root "$out/$3.png" 2>/dev/null
  convert "$out/$3.png" -crop "1x1+$1+$2" txt:- 2>/dev/null | awk 'NR == 2 { print $3 }'
}
start_launcher() {  # start_launcher MANIFEST_PATH
  cp build/win64/nimbalo.exe "$installed"
  rm -f "$debug_log" "$activity"
  NIMBALO_UPDATE_URL="$base/$1" NIMBALO_DEBUG=1 NIMBALO_TEST_ONLY_TRUST_ANY_LISTENER=1 \
    wine "$installed" >"$out/launcher.out" 2>&1 &
  launcher_pid=$!
}
# The panel's glyph row: the centre of the Update page's glyph, from the show line of the log.
glyph_point() {
  sed -nE 's/.*show: rect=\((-?[0-9]+), (-?[0-9]+)\) ([0-9]+)x([0-9]+).*/\1 \2 \3 \4/p' "$debug_log" | head -1 |
    awk '{ print $1 + int($3 / 2), $2 + 224 }'
}

# 1. A wrong checksum: the failure page, and the launcher keeps running.
start_launcher badsum/version.txt
if wait_for "$debug_log" 'update found: 0.6.0' 60 && wait_for "$activity" 'update: failed: ' 60; then
  sleep 0.5
  read -r gx gy < <(glyph_point)
  colour=$(screen_colour "$gx" "$gy" update-failed)
  if kill -0 "$launcher_pid" 2>/dev/null && [ -n "$colour" ] && [ "$colour" != "#000000" ]; then
    pass "update with a wrong checksum: failure page on screen, launcher still running ($(grep -o 'update: failed: .*' "$activity" | head -1))"
  else
    flunk "update failure: running=$(kill -0 "$launcher_pid" 2>/dev/null && echo yes || echo no) colour=$colour"
  fi
else
  flunk "update with a wrong checksum: $(tail -3 "$activity" 2>/dev/null | tr '\n' '|') $(tail -3 "$debug_log" 2>/dev/null | tr '\n' '|')"
fi
kill "$launcher_pid" 2>/dev/null || true
wineserver -k 2>/dev/null || true
sleep 1

# 2. A slow good download: the page shows it, then the elevated apply installs the verified build.
start_launcher slow/version.txt
if wait_for "$debug_log" 'update found: 0.6.0' 60; then
  sleep 1.5
  read -r gx gy < <(glyph_point)
  colour=$(screen_colour "$gx" "$gy" update-downloading)
  [ -n "$colour" ] && [ "$colour" != "#000000" ] && pass "update: the page shows the download" ||
    flunk "update: no page on screen during the download ($colour)"
else
  flunk "update: no announcement ($(tail -3 "$debug_log" 2>/dev/null | tr '\n' '|'))"
fi
set +e
timeout 90 tail --pid="$launcher_pid" -f /dev/null
wait "$launcher_pid"
status=$?
set -e
want=$(curl -sk "$base/download/nimbalo.exe" | sha256sum | cut -d' ' -f1)
got=$(sha256sum "$installed" | cut -d' ' -f1)
if [ "$status" = 0 ] && [ "$want" = "$got" ] &&
  grep -qF 'update: installed 0.5.5 -> C:\Program Files\Nimbalo\nimbalo.exe' "$activity"; then
  pass "update: verified build installed over the installed copy, launcher ended with 0"
else
  flunk "update: status $status, installed digest ${got:0:12} (want ${want:0:12}); $(tail -4 "$activity" 2>/dev/null | tr '\n' '|')"
fi
import -window root "$out/update-after.png" 2>/dev/null || true
wineserver -k 2>/dev/null || true
[ "$failures" = 0 ]
