#!/usr/bin/env bash
# The launcher's drawing layer under Wine: its suites in test_gui.exe (pixel rules, and text through
# real GDI+)
# and the render harness gui_render.exe, whose PNGs are left in build/win64/render/ as artifacts.
# Reuses 30-windows's cross build tree (build/win64); runs in a Wine prefix of its own
# (build/win64/render-prefix, kept between runs), since it changes the prefix's font settings.
#
# Fonts: Wine has none of the Segoe families. The prefix maps them to Debian's free fonts with
# Wine's font replacement keys (HKCU\Software\Wine\Fonts\Replacements):
#   "Segoe UI" -> "Liberation Sans", "Segoe UI Semibold" -> "DejaVu Sans",
#   "Consolas" -> "Liberation Mono" ("Cascadia Mono" stays missing: style 10 takes its fallback),
#   "Segoe MDL2 Assets" -> "DejaVu Sans" for the first run only (styles 7-9 take their fallback),
#   removed for a second run of the text tests ("Segoe Fluent Icons" and "Segoe MDL2 Assets" both
#   missing: those slots stay empty and draw nothing).
# Quiet unless something fails; logs in build/win64/render/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
build=$root/build/win64
out=$build/render
source scripts/lib/wine.sh

if [ "${1:-}" != --wine ]; then
  start=$SECONDS
  # 30-windows's build folder and settings; make sure tests/gui is among its Windows test folders.
  wine_tests=$(sed -n 's/^NIMBALO_WINE_TEST_DIRS:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
  extra=()
  case ";$wine_tests;" in
    *";gui;"* | ";;") ;;
    *) extra=("-DNIMBALO_WINE_TEST_DIRS=$wine_tests;gui") ;;
  esac
  mkdir -p "$build"
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DNIMBALO_WERROR=ON "${extra[@]}" >"$build.render-configure.log" 2>&1 ||
    { cat "$build.render-configure.log" >&2; exit 1; }
  mkdir -p "$out"
  if ! cmake --build "$build" -j2 --target test_gui gui_render >"$out/build.log" 2>&1; then
    grep -E "error|FAILED" -A5 "$out/build.log" | head -60 >&2
    echo "35-render: build failed; full log in $out/build.log" >&2
    exit 1
  fi
  echo "35-render: built test_gui gui_render in $((SECONDS - start)) s" >&2
  if [ -n "${DISPLAY:-}" ]; then
    exec bash "$0" --wine
  fi
  exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash "$0" --wine
fi

# ---------------------------------------------------------------------------------------------
wine_env "$build/render-prefix"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine_prefix_ready "$out" || exit 1

key='HKCU\Software\Wine\Fonts\Replacements'
wine_launcher_fonts
wineserver -w

tests=$build/test_gui.exe
# The drawing layer's suites (the folder's launcher and worker tests are 30-windows's).
pixels='--gtest_filter=Shapes.*:Blend.*:Glass.*:ShowAnimation.*:HideAnimation.*:Backends/Text.*:TextEngine.*:PresentSurface.*'

run_tests() {  # name, log, environment and arguments...
  local name=$1 log=$2
  shift 2
  if env "$@" >"$log" 2>&1; then
    pass "$name ($(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$log" | head -1))"
  else
    flunk "$name"
    tail -n 40 "$log" | sed 's/^/       /' >&2
  fi
}
run_tests "test_gui.exe drawing layer, icon families falling back" "$out/test_gui.log" \
  NIMBALO_TEST_ICON_FONTS=fallback NIMBALO_TEST_TEXT_FONTS=1 timeout 600 wine "$tests" --gtest_brief=1 "$pixels"

rm -f "$out"/*.png
if timeout 600 wine "$build/src/gui/gui_render.exe" "Z:${out//\//\\}" >"$out/gui_render.log" 2>&1; then
  pass "gui_render.exe wrote $(find "$out" -name '*.png' | wc -l) PNGs to $out"
else
  flunk "gui_render.exe"
  tail -n 20 "$out/gui_render.log" | sed 's/^/       /' >&2
fi

# Speed of a text-heavy repaint through GDI+ (a figure for the notes, not a timed test).
if timeout 300 wine "$build/src/gui/gui_render.exe" "Z:${out//\//\\}" --bench 100 >"$out/bench.log" 2>&1; then
  sed 's/^/  info /' "$out/bench.log" >&2
fi

wine reg delete "$key" /v "Segoe MDL2 Assets" /f >/dev/null 2>&1
wineserver -w
run_tests "test_gui.exe text, icon families missing" "$out/test_gui-missing.log" \
  NIMBALO_TEST_ICON_FONTS=missing NIMBALO_TEST_TEXT_FONTS=1 timeout 600 wine "$tests" --gtest_brief=1 '--gtest_filter=Backends/Text.*:TextEngine.*'
if timeout 600 wine "$build/src/gui/gui_render.exe" "Z:${out//\//\\}" --only text-missing-icons >"$out/gui_render-missing.log" 2>&1; then
  pass "gui_render.exe, icon families missing"
else
  flunk "gui_render.exe, icon families missing"
fi

if [ "$failures" -ne 0 ]; then
  echo "35-render: $failures check(s) failed; logs in $out" >&2
  exit 1
fi
