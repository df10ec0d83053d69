# Shared by the stages that run Windows programs under Wine (source it; it defines functions only).
#   wine_env PREFIX          headless Wine settings for one prefix
#   wine_prefix_ready LOGDIR  create the prefix on first use (or after a Wine upgrade) and wait
#   wine_launcher_fonts      map the launcher's Segoe families to Debian's free fonts
#   pass NAME / flunk NAME   one line per check; flunk counts into $failures

wine_env() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# A prefix whose first boot did not finish is thrown away rather than half-trusted, and so is one
# made by another Wine version (Wine would update it on the first run, noisily, on stderr).
wine_prefix_ready() {
  local logs=$1 wine_version t0=$SECONDS
  wine_version=$(wine --version 2>/dev/null || echo unknown)
  [ "$(cat "$WINEPREFIX/.nimbalo-ready" 2>/dev/null)" = "$wine_version" ] && return 0
  rm -rf "$WINEPREFIX"
  wineserver -k >/dev/null 2>&1 || true  # a server left over from an interrupted run
  mkdir -p "$logs"
  if ! { timeout 600 wineboot -i && timeout 120 wineserver -w; } >"$logs/wineboot.log" 2>&1; then
    cat "$logs/wineboot.log" >&2
    echo "wine: wineboot failed" >&2
    return 1
  fi
  echo "$wine_version" >"$WINEPREFIX/.nimbalo-ready"
  echo "wine: prefix $WINEPREFIX created in $((SECONDS - t0)) s" >&2
}

failures=${failures:-0}
pass() { printf '  ok   %s\n' "$1" >&2; }
flunk() {
  printf '  FAIL %s\n' "$1" >&2
  failures=$((failures + 1))
}

# Wine has none of the Segoe families: without a mapping GDI+ finds no font and the launcher's
# panel shows no text at all. Wine's font replacement keys map them to Debian's free fonts
# (fonts-liberation2, fonts-dejavu-core); "Segoe MDL2 Assets" -> "DejaVu Sans" makes the icon
# styles take their fallback.
wine_launcher_fonts() {
  local key='HKCU\Software\Wine\Fonts\Replacements'
  wine reg add "$key" /v "Segoe UI" /t REG_SZ /d "Liberation Sans" /f >/dev/null 2>&1
  wine reg add "$key" /v "Segoe UI Semibold" /t REG_SZ /d "DejaVu Sans" /f >/dev/null 2>&1
  wine reg add "$key" /v "Consolas" /t REG_SZ /d "Liberation Mono" /f >/dev/null 2>&1
  wine reg add "$key" /v "Segoe MDL2 Assets" /t REG_SZ /d "DejaVu Sans" /f >/dev/null 2>&1
}
