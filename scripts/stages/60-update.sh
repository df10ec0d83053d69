#!/usr/bin/env bash
# The updater against a real HTTPS server on 127.0.0.1 with a certificate authority made for this
# run: manifest variants, downloads, and the update commands end to end. Reuses the native build.
set -euo pipefail
root=$(pwd)
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBALO_WERROR=ON >/dev/null
cmake --build build/native --target nimbalo test_update_live >/dev/null

work=$(mktemp -d /tmp/nimbalo-update-stage.XXXXXX)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

bash tests/update/make_test_ca.sh "$work/ca"
python3 tests/update/https_test_server.py --cert "$work/ca/server.pem" --key "$work/ca/server.key" \
  --port-file "$work/port" &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "60-update: the test server did not start" >&2; exit 1; }
base="https://127.0.0.1:$(cat "$work/port")"

export SSL_CERT_FILE="$work/ca/ca.pem"
export LOCALAPPDATA="$work/appdata"
NIMBALO_TEST_HTTPS="$base" build/native/test_update_live --gtest_brief=1

nimbalo="$root/build/native/nimbalo"
fails=0
expect() {  # expect <what> <wanted> <got>
  if [ "$2" != "$3" ]; then
    printf '60-update: %s\n  wanted: %s\n  got:    %s\n' "$1" "$2" "$3" >&2
    fails=$((fails + 1))
  fi
}

for row in \
  "bare|current=0.5.5 remote=v0.6.0 newer=true url=$base/download/nimbalo.exe" \
  "same|current=0.5.5 remote=0.5.5 newer=false url=$base/download/nimbalo.exe" \
  "escapes|current=0.5.5 remote=9.9\\x1B]0;owned\\x07 newer=true url=https://x.example/\\x1B[2Jn.exe\\u009B" \
  "missing|current=0.5.5 manifest-error=HTTP 404 for /missing/version.txt" \
  "keyfirst|current=0.5.5 manifest-error=unexpected version.txt: url=/download/nimbalo.exe 0.7.0 "; do
  name=${row%%|*}
  got=$(NIMBALO_UPDATE_URL="$base/$name/version.txt" "$nimbalo" update check)
  expect "update check ($name)" "${row#*|}" "$got"
done
got=$(env -u SSL_CERT_FILE NIMBALO_UPDATE_URL="$base/bare/version.txt" "$nimbalo" update check)
expect "update check (untrusted server)" "current=0.5.5 manifest-error=request failed: ${base#https://}" "$got"
got=$(NIMBALO_UPDATE_URL="http://127.0.0.1:1/version.txt" "$nimbalo" update check)
expect "update check (http)" "current=0.5.5 manifest-error=only https is supported: http://127.0.0.1:1/version.txt" "$got"

# apply: the swap on Linux (no service), its output, the activity log, and the failure path.
mkdir -p "$work/app"
printf 'old' > "$work/app/nimbalo"
printf 'new' > "$work/build.exe"
got=$("$nimbalo" update apply "$work/build.exe" "$work/app/nimbalo")
expect "update apply output" "installed 0.5.5 -> $work/app/nimbalo" "$got"
expect "update apply result" "new" "$(cat "$work/app/nimbalo")"
expect "update apply removes the build" "no" "$([ -e "$work/build.exe" ] && echo yes || echo no)"
expect "update apply log" "update: installed 0.5.5 -> $work/app/nimbalo" "$(tail -n1 "$LOCALAPPDATA/Nimbalo/mcp.log" | cut -c22-)"

set +e
got=$("$nimbalo" update apply "$work/absent.exe" "$work/app/nimbalo" 2>&1); rc=$?
set -e
expect "update apply (missing build)" "1 error: the downloaded build is missing" "$rc $got"
expect "update apply failure log" "update: failed: the downloaded build is missing" "$(tail -n1 "$LOCALAPPDATA/Nimbalo/mcp.log" | cut -c22-)"
set +e
got=$("$nimbalo" update apply "$work/absent.exe" --sha256=1234 2>&1); rc=$?
set -e
expect "update apply (bad digest text)" "1 error: --sha256 needs 64 hexadecimal digits: 1234" "$rc $got"

# apply with a digest: the checked copy beside the target is what gets installed.
printf 'newer' > "$work/build.exe"
digest=$(sha256sum "$work/build.exe" | cut -c1-64)
set +e
got=$("$nimbalo" update apply "$work/build.exe" "$work/app/nimbalo" "--sha256=$(printf %064d 0)" 2>&1); rc=$?
set -e
expect "update apply (wrong digest)" "1 error: checksum mismatch (got $digest)" "$rc $got"
expect "wrong digest leaves the target" "new" "$(cat "$work/app/nimbalo")"
expect "wrong digest leaves no staging folder" "no" "$([ -e "$work/app/update" ] && echo yes || echo no)"
got=$("$nimbalo" update apply "$work/build.exe" "$work/app/nimbalo" "--sha256=${digest^^}")
expect "update apply (digest)" "installed 0.5.5 -> $work/app/nimbalo" "$got"
expect "update apply (digest) result" "newer" "$(cat "$work/app/nimbalo")"
expect "update apply (digest) cleans up" "no" "$([ -e "$work/build.exe" ] || [ -e "$work/app/update" ] && echo yes || echo no)"

# The build and the target one file (however spelled), or a target that is a folder: refused, kept.
set +e
got=$("$nimbalo" update apply "$work/app/nimbalo" "$work/app/../app/nimbalo" 2>&1); rc=$?
set -e
expect "update apply T T" "1 error: the build is the target itself: $work/app/../app/nimbalo" "$rc $got"
expect "update apply T T keeps the target" "newer" "$(cat "$work/app/nimbalo")"
mkdir -p "$work/folder-target/inside"
printf 'x' >"$work/build2.exe"
set +e
got=$("$nimbalo" update apply "$work/build2.exe" "$work/folder-target" 2>&1); rc=$?
set -e
expect "update apply to a folder" "1 error: the target exists and is not a regular file: $work/folder-target" "$rc $got"
expect "the folder stays" "yes" "$([ -d "$work/folder-target/inside" ] && echo yes || echo no)"

[ "$fails" = 0 ] || exit 1
echo "60-update: ok" >&2
