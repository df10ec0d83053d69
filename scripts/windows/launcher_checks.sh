# The launcher under Wine on the suite's virtual display (sourced by scripts/stages/30-windows.sh,
# like smoke_checks.sh; uses $exe, $logs, $root, $native and pass/flunk). The installed copy (in the
# prefix's Program Files) runs with the native service on 127.0.0.1:8123 over the demo volume: the
# glass panel shows centred near the top, Alt+Space hides and shows it, Esc hides it, a second
# start makes the first one show and exits 0, the first start writes the Run value and the desktop
# shortcut with its marker, the tray menu's "Exit" ends it with status 0, "--tray" starts hidden
# without probing the service, and "service uninstall" removes the user's entries again.
# Screenshots stay in $logs (launcher-*.png).

launcher_log() { cat "$WINEPREFIX"/drive_c/users/*/Temp/nimbalo.log 2>/dev/null || true; }
launcher_count() { launcher_log | grep -cE "$1" || true; }

# Wait up to $2 seconds until the log has at least $3 lines matching $1.
launcher_wait() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    [ "$(launcher_count "$1")" -ge "$3" ] && return 0
    sleep 0.1
  done
  return 1
}

# The colour of the screen pixel at (x, y), as ImageMagick prints it (e.g. "#000000").
screen_pixel() {
  import -window root "$3" 2>/dev/null
  convert "$3" -crop "1x1+$1+$2" txt:- 2>/dev/null | awk 'NR == 2 { print $3 }'
}

# Wine withdraws a hidden window from an X server without a window manager only after a time-out:
# wait up to 5 s for the screen to be black at (x, y).
screen_cleared() {
  local i
  for ((i = 0; i < 25; i++)); do
    [ "$(screen_pixel "$1" "$2" "$3")" = "#000000" ] && return 0
    sleep 0.2
  done
  return 1
}

tray_click() {  # button: 1 left, 3 right
  local tray x y
  tray=$(xdotool search --name 'Wine System Tray' 2>/dev/null | head -1)
  [ -n "$tray" ] || return 1
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  # The icons sit in the last 20 pixels: an unmanaged tray window has a caption of Wine's own above.
  xdotool mousemove $((X + 9)) $((Y + HEIGHT - 10)) click "$1"
}

# A click on a tray menu entry, $1 pixels above the menu's bottom edge (10: "Exit", the last). The
# menu opens at the pointer, downwards or upwards as the screen allows and only once the
# launcher's thread gets to it: wait up to 6 s for a window under the pointer, just right of where
# it was clicked, that is neither the tray nor the root.
tray_menu_pick() {
  local WINDOW X Y WIDTH HEIGHT SCREEN tray root_id px py i dy
  tray=$(xdotool search --name 'Wine System Tray' 2>/dev/null | head -1)
  root_id=$(xwininfo -root | awk '/Window id/ { print $4 }')
  # The X focus on the tray first: a click that moves it there arrives as a focus loss just after
  # the launcher took the foreground for its menu, and Wine closes the menu again.
  [ -n "$tray" ] && xdotool windowfocus "$tray" 2>/dev/null && sleep 0.3
  tray_click 3 || return 1
  eval "$(xdotool getmouselocation --shell)"
  px=$X py=$Y
  for ((i = 0; i < 30; i++)); do
    sleep 0.2
    for dy in 12 -12; do
      xdotool mousemove $((px + 25)) $((py + dy))
      sleep 0.05
      eval "$(xdotool getmouselocation --shell)"
      if [ "$WINDOW" != "$tray" ] && [ "$((WINDOW))" != "$((root_id))" ]; then
        eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
        xdotool mousemove $((X + 30)) $((Y + HEIGHT - $1)) click 1
        return 0
      fi
    done
  done
  return 1
}
tray_exit() { tray_menu_pick 10; }

# Exit through the tray menu, tried up to three times (a click can be lost while Wine is busy);
# true once the launcher process $1 has ended (its status is then in $launcher_status).
tray_exit_and_wait() {
  local attempt
  for attempt in 1 2 3; do
    tray_exit || import -window root "$logs/launcher-no-menu-$attempt.png" 2>/dev/null
    if timeout 10 tail --pid="$1" -f /dev/null; then
      set +e
      wait "$1"
      launcher_status=$?
      set -e
      return 0
    fi
    import -window root "$logs/launcher-exit-$attempt.png" 2>/dev/null
    xdotool key Escape  # a menu left open
  done
  return 1
}

check_launcher() {
  if ! command -v xdotool >/dev/null || ! command -v import >/dev/null; then
    flunk "launcher: xdotool and ImageMagick are needed (scripts/deps/gui.txt)"
    return
  fi
  local service_pid="" launcher_pid status cx cy colour
  local users=("$WINEPREFIX"/drive_c/users/*/AppData/Local)
  local installed="$WINEPREFIX/drive_c/Program Files/Nimbalo/nimbalo.exe" data=${users[0]}/Nimbalo
  local desktop=${users[0]%/AppData/Local}/Desktop
  mkdir -p "${installed%/*}"
  cp "$exe" "$installed"
  rm -f "$WINEPREFIX"/drive_c/users/*/Temp/nimbalo.log "$data/desktop-shortcut" "$data/autostart-off" "$desktop/Nimbalo.lnk"
  wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Nimbalo /f >/dev/null 2>&1 || true
  if [ -f "$root/build/volumes/demo.img" ] && ! (exec 3<>/dev/tcp/127.0.0.1/8123) 2>/dev/null; then
    mkdir -p "$logs/programdata"
    NIMBALO_VOLUME_C=$root/build/volumes/demo.img ProgramData=$logs/programdata "$native" service run \
      >"$logs/service.log" 2>&1 &
    service_pid=$!
  fi
  # The service listens once its first index is published; the launcher must find it answering.
  local i
  for ((i = 0; i < 300; i++)); do
    (exec 3<>/dev/tcp/127.0.0.1/8123) 2>/dev/null && break
    sleep 0.1
  done

  # The service is a native Linux process, which no Windows service manager owns: the launcher's
  # worker would rightly not trust it (tests/client checks that), so this test trusts it.
  export NIMBALO_TEST_ONLY_TRUST_ANY_LISTENER=1
  NIMBALO_DEBUG=1 wine "$installed" >"$logs/launcher.out" 2>&1 &
  launcher_pid=$!
  if launcher_wait 'show: rect=' 60 1; then
    pass "launcher starts and shows the panel"
  else
    flunk "launcher did not show its panel ($(launcher_log | tail -3 | tr '\n' '|'))"
    kill "$launcher_pid" 2>/dev/null
    [ -z "$service_pid" ] || kill "$service_pid"
    return
  fi
  # "show: rect=(x, y) WxH": the panel's centre.
  read -r cx cy < <(launcher_log | sed -nE 's/.*show: rect=\((-?[0-9]+), (-?[0-9]+)\) ([0-9]+)x([0-9]+).*/\1 \2 \3 \4/p' |
    head -1 | awk '{ print $1 + int($3 / 2), $2 + int($4 / 2) }')
  sleep 0.5
  colour=$(screen_pixel "$cx" "$cy" "$logs/launcher-shown.png")
  if [ -n "$colour" ] && [ "$colour" != "#000000" ]; then pass "the glass panel is on screen ($colour at its centre)"; else flunk "no panel at ($cx, $cy): $colour"; fi
  grep -q 'service check: nothing to do' <(launcher_log) && pass "the running service is found, nothing installed" ||
    flunk "service check: $(launcher_log | grep 'service check' | head -1)"
  ! grep -q 'treating the service as unreachable' <(launcher_log) && pass "the worker talks to the (test-trusted) service" ||
    flunk "the worker refused the service: $(launcher_log | grep 'unreachable' | head -1)"

  # Alt+Space reaches Wine only while one of its windows has the X focus: its tray window.
  xdotool windowfocus "$(xdotool search --name 'Wine System Tray' | head -1)" 2>/dev/null
  xdotool key alt+space
  if launcher_wait '\] hide$' 5 1; then
    screen_cleared "$cx" "$cy" "$logs/launcher-hidden.png" && pass "Alt+Space hides the panel" ||
      flunk "Alt+Space: the panel is still on screen"
  else
    flunk "Alt+Space did not hide the panel"
  fi
  xdotool windowfocus "$(xdotool search --name 'Wine System Tray' | head -1)" 2>/dev/null
  xdotool key alt+space
  launcher_wait 'show: rect=' 5 2 && pass "Alt+Space shows it again" || flunk "Alt+Space did not show the panel again"

  # The layered popup never takes the X focus: keys reach it with the pointer over it and the
  # focus on the root window.
  sleep 0.5
  xdotool mousemove "$cx" "$cy"
  xdotool windowfocus "$(xwininfo -root | awk '/Window id/ { print $4 }')"
  xdotool key Escape
  launcher_wait '\] hide$' 5 2 && pass "Esc hides the panel" || flunk "Esc did not hide the panel"

  # The installed launcher's first start: autostart and the desktop shortcut (through COM).
  local run
  run=$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Nimbalo 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ *//p')
  [ "$run" = '"C:\Program Files\Nimbalo\nimbalo.exe" --tray' ] && pass "autostart written: $run" || flunk "Run value: '$run'"
  if [ -f "$desktop/Nimbalo.lnk" ] && [ "$(head -1 "$data/desktop-shortcut" 2>/dev/null)" = rev=2 ] &&
    strings "$desktop/Nimbalo.lnk" | grep -qF 'C:\Program Files\Nimbalo\nimbalo.exe'; then
    pass "desktop shortcut written through COM, marker rev=2"
  else
    flunk "desktop shortcut or marker missing ($(tail -2 "$data/mcp.log" 2>/dev/null | tr '\n' '|'))"
  fi

  set +e
  timeout 60 wine "$installed" >/dev/null 2>&1
  status=$?
  set -e
  if [ "$status" = 0 ] && launcher_wait 'show message received' 5 1; then
    pass "a second start makes the first one show and exits 0"
  else
    flunk "second start (status $status)"
  fi
  sleep 1
  if tray_exit_and_wait "$launcher_pid"; then
    status=$launcher_status
  else
    status="still running after three tries (screenshots launcher-exit-*.png)"
    kill "$launcher_pid" 2>/dev/null
  fi
  [ "$status" = 0 ] && pass "the tray menu's Exit ends the launcher with status 0" || flunk "Exit (status $status)"

  rm -f "$WINEPREFIX"/drive_c/users/*/Temp/nimbalo.log
  NIMBALO_DEBUG=1 wine "$installed" --tray >"$logs/launcher-tray.out" 2>&1 &
  launcher_pid=$!
  launcher_wait 'show message id' 60 1 || true
  sleep 2
  if [ "$(launcher_count 'show: rect=|service check')" = 0 ] && launcher_wait 'show message id' 1 1; then
    pass "--tray starts hidden and probes nothing"
  else
    flunk "--tray: $(launcher_log | tr '\n' '|' | head -c 300)"
  fi
  tray_exit_and_wait "$launcher_pid" || { kill "$launcher_pid" 2>/dev/null; flunk "--tray: the tray menu's Exit did not end it"; }
  [ -z "$service_pid" ] || kill "$service_pid" 2>/dev/null || true

  set +e
  wine "$installed" service uninstall >"$logs/uninstall.out" 2>&1
  status=$?
  set -e
  if [ "$status" = 0 ] && [ ! -f "$desktop/Nimbalo.lnk" ] && grep -q 'removed the autostart entry' "$logs/uninstall.out" &&
    ! wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Nimbalo >/dev/null 2>&1; then
    pass "service uninstall removes the user's autostart entry and shortcut: $(tr -d '\r' <"$logs/uninstall.out" | tr '\n' '|')"
  else
    flunk "service uninstall (status $status): $(tr -d '\r' <"$logs/uninstall.out" | tr '\n' '|')"
  fi
  unset NIMBALO_TEST_ONLY_TRUST_ANY_LISTENER
}
