# The Wine smoke suite's checks, one function each (sourced by scripts/stages/30-windows.sh, which
# builds the programs, prepares the prefix and sets $build, $logs, $root, $exe, $out, $err, $img and
# $letters before calling them).

# Run nimbalo.exe with the given arguments; stdout in $out, stderr in $err, status in $status.
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

# Drives X (a made tree), W (a Windows-made MBR disk) and J (a Windows-made volume with a change
# journal) behind Wine's raw device links, and the same letters for the native build. Sets $img and
# $letters.
map_test_drives() {
  # Drive X: an NTFS image of a small tree behind the raw device link "x::", an empty folder as its
  # mount. The tree holds what the Windows console must get right: non-ASCII names (accents,
  # Cyrillic, CJK, a character outside the BMP), a hard link, names differing only in case and a
  # path well past 260 characters, next to a few hundred real headers.
  img=$logs/ntfs-x-tree.img
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
  letters=X
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

}

check_entry_and_usage() {
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

}

# Wine answers FSCTL_GET_NTFS_VOLUME_DATA with "not supported": the geometry must come from the
# boot sector (through the partition table for W:). C: and Z: are host folders, not NTFS.
check_drives_and_host_folders() {
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

}

# Every console command against the native Linux build on the same images: the hit lines must be
# the same bytes (timings on stderr differ). Both run in UTC, so times print alike.
check_console_same_as_native() {
  native=$root/build/native/nimbalo  # also for check_journal
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
}

# The journal read from the volume itself (Wine has no FSCTL_QUERY_USN_JOURNAL).
check_journal() {
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

}

# Redirected output is UTF-8 byte for byte: the exact bytes, whatever the console code page.
check_utf8_output() {
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

}

# Raw volume access, error texts and the single-instance objects, as only Windows shows them.
check_probes() {
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

}

# The cross build's RE2 must keep quiet about bad patterns: its stderr belongs to the role.
check_re2_quiet() {
  set +e
  wine "$build/test_deps.exe" --gtest_filter='Re2.*' >"$logs/re2.out" 2>"$logs/re2.err"
  status=$?
  set -e
  if [ "$status" = 0 ] && [ ! -s "$logs/re2.err" ]; then
    pass "RE2 matches under Wine and logs nothing"
  else
    flunk "RE2 matches under Wine and logs nothing (status $status; stderr: $(head -c 300 "$logs/re2.err"))"
  fi

}

# The GoogleTest programs cross-built from tests/<folder> (cmake/windows_checks.cmake).
check_test_programs() {
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

}

# Every fuzz corpus through its target, as the native test run does.
check_fuzz_replays() {
  local r input
  for r in "$build"/replay_*.exe; do
    input=${r##*/replay_}
    input=${input%.exe}
    if timeout 300 wine "$r" "Z:$root/fuzz/corpus/$input" >"$logs/replay-$input.log" 2>&1; then
      pass "fuzz corpus $input: $(tail -1 "$logs/replay-$input.log" | tr -d '\r')"
    else
      flunk "fuzz corpus $input"
      tail -n 20 "$logs/replay-$input.log" | sed 's/^/       /' >&2
    fi
  done
}
