#!/usr/bin/env bash
# Drives the viewer in a real X server (Xvfb) as a user would, with xdotool:
#   1. vorlaxa REPORT shows only the preview, maximised, titled "Print Preview";
#      End and Page Up change the page; Escape closes it and the program exits 0.
#   2. vorlaxa missing.qrp shows the error box with "Cannot open file
#      missing.qrp."; after it the main window stays.
# Screenshots are kept in ARTIFACTS. Usage: gui_e2e.sh VORLAXA REPORT ARTIFACTS
# (runs itself under xvfb-run when no display is given).
set -uo pipefail
vorlaxa=$1 report=$2 artifacts=$3
if [ -z "${VORLAXA_E2E_INNER:-}" ]; then
  export VORLAXA_E2E_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb
# libxkbcommon-x11 hands strndup a keymap name that is not terminated within
# its buffer; that read is the X library's, not ours.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_strndup=0"
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null' EXIT
# A window manager, as on a desktop: it maximises and focuses windows.
if command -v openbox >/dev/null; then
  openbox --sm-disable >/dev/null 2>&1 & wm=$!
  sleep 0.5
fi
fail() { echo "FAIL: $*" >&2; [ -f "$work/app.log" ] && sed 's/^/  app: /' "$work/app.log" >&2; exit 1; }
shot() { import -window root "$artifacts/$1.png" 2>/dev/null || fail "screenshot $1"; }
differs() { # differs A B: the two screenshots are not the same picture
  local n; n=$(compare -metric AE "$artifacts/$1.png" "$artifacts/$2.png" null: 2>&1 | cut -d' ' -f1)
  [ "${n%%.*}" -gt 0 ]
}
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }

# --- 1. A report from the command line.
"$vorlaxa" "$report" >"$work/app.log" 2>&1 & pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Print Preview$' | head -n 1)
[ -n "$wid" ] || fail "no window titled Print Preview"
[ -z "$(visible '^Vorlaxa$')" ] || fail "the main window shows beside the preview"
sleep 0.5
read -r ww wh < <(xdotool getwindowgeometry --shell "$wid" | awk -F= '/WIDTH|HEIGHT/{printf "%s ", $2}')
[ "${ww:-0}" -ge 1200 ] && [ "${wh:-0}" -ge 900 ] || fail "preview is ${ww}x${wh}, not maximised"
xdotool windowfocus --sync "$wid" 2>/dev/null
shot preview-page1
xdotool key --window "$wid" End; sleep 0.5; shot preview-last
differs preview-page1 preview-last || fail "End did not change the page"
xdotool key --window "$wid" Prior; sleep 0.5; shot preview-pageup
differs preview-last preview-pageup || fail "Page Up did not change the page"
xdotool key --window "$wid" Escape 2>/dev/null
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after Escape"
wait "$pid"; status=$?; pid=
[ "$status" -eq 0 ] || fail "exit status $status after Escape"

# --- 2. A missing file.
cd "$work"
"$vorlaxa" missing.qrp >"$work/app.log" 2>&1 & pid=$!
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vorlaxa$' | head -n 1)
[ -n "$box" ] || fail "no error box"
sleep 0.5; shot missing-error-box
grep -q 'Cannot open file missing.qrp\.' "$work/app.log" || fail "the error text is not 'Cannot open file missing.qrp.'"
xdotool windowfocus --sync "$box" 2>/dev/null; xdotool key --window "$box" Return 2>/dev/null
main=
for _ in $(seq 1 50); do
  main=$(xdotool search --onlyvisible --name '^Vorlaxa$' 2>/dev/null | grep -v "^$box\$" | head -n 1)
  [ -n "$main" ] && break; sleep 0.1
done
[ -n "$main" ] || main=$(visible '^Vorlaxa$')
[ -n "$main" ] || fail "the main window did not appear after the error"
sleep 0.5; shot missing-main-window
kill -0 "$pid" 2>/dev/null || fail "the program ended after the error"
kill "$pid"; wait "$pid" 2>/dev/null; pid=
echo "1 passed, 0 failed"
