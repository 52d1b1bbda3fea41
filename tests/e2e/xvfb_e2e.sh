#!/usr/bin/env bash
# The real program on a real X server: start, confirm the start-up dialog
# and the port message with the keyboard, see a painted window titled
# "Sextara", refuse a second instance, open About and then exit with Ctrl+Q
# without a click, confirm, and find config.ini written. Exits 77 (skipped)
# when Xvfb or xdotool are missing.
#   tests/e2e/xvfb_e2e.sh BUILD/tools/sextara
set -uo pipefail
program=${1:?usage: xvfb_e2e.sh PATH/TO/sextara}
for tool in Xvfb xdotool import convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/deps.sh gui)"
    exit 77
  fi
done

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A display number of our own, told by the server itself. -noreset: an X
# server resets when its last client leaves and refuses connections for
# that moment, which the program's next start (or xdotool) then meets.
exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 10 display <&3 || fail "Xvfb did not start"
export DISPLAY=":$display"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
# The single-instance socket lives in the temporary folder: a private one
# keeps a Sextara that the user runs meanwhile out of this test.
mkdir -p "$work/tmp"
export TMPDIR="$work/tmp"

home="$work/home"
mkdir -p "$home"
# No GPSBaud in the file: it is there after the exit only if config.ini was
# written on the way out. COM3 names a device that does not exist, so the
# port message comes up and is answered with the keyboard.
printf '[PORT]\nGPSPort=3\n[BOARDTYPE]\nType=enOther\n[COMMAP]\nCOM3=%s/no-such-device\n' "$home" >"$home/config.ini"

# Waits up to $2 seconds for a window named $1 (a regular expression); prints its id.
wait_window() {
  local deadline=$((SECONDS + $2)) id
  while [ $SECONDS -lt $deadline ]; do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Waits up to $1 tenths of a second for the program to end, failing with $2;
# its exit code goes to rc.
wait_end() {
  for _ in $(seq 1 "$1"); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$app_pid" 2>/dev/null && fail "$2"
  wait "$app_pid"
  rc=$?
  app_pid=
}
press() {  # window id, key
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  xdotool key --window "$1" "$2" 2>/dev/null || true
  xdotool key "$2"
}

start_ns=$(date +%s%N)
"$program" --home "$home" --geometry 480x640 >"$work/out.log" 2>&1 &
app_pid=$!

main=$(wait_window '^Sextara$' 20) || fail "no window titled Sextara"
# First painted frame: the window's content is no longer one colour.
painted=
for _ in $(seq 1 100); do
  if import -window "$main" "$work/first.png" 2>/dev/null &&
     [ "$(convert "$work/first.png" -format %k info:)" -gt 4 ]; then
    painted=yes
    break
  fi
  sleep 0.05
done
[ -n "$painted" ] || fail "the main window stays blank"
echo "first painted frame after $(( ($(date +%s%N) - start_ns) / 1000000 )) ms"

dialog=$(wait_window '^(Configuration|配置选择)$' 10) || fail "no start-up dialog"
press "$dialog" Return
notice=$(wait_window '^(Notice|提示)$' 10) || fail "no message for the missing port"
press "$notice" Return
sleep 0.5
xdotool search --onlyvisible --name '^(Notice|提示)$' >/dev/null 2>&1 && fail "the port message did not close"

# A second start raises the first and ends at once.
timeout 10 "$program" --home "$home" --geometry 480x640 >"$work/second.log" 2>&1
second=$?
[ "$second" -eq 0 ] || fail "second start exited with $second"
count=$(xdotool search --onlyvisible --name '^Sextara$' | wc -l)
[ "$count" -eq 1 ] || fail "$count windows titled Sextara after the second start"

# About (Ctrl+A) closed with Return; then Ctrl+Q reaches the window with no
# click and no focus given by hand: the keyboard came back by itself.
press "$main" ctrl+a
about_up() { [ "$(xdotool search --onlyvisible --name '^Sextara$' 2>/dev/null | wc -l)" -eq "$1" ]; }
for _ in $(seq 1 100); do about_up 2 && break; sleep 0.1; done
about_up 2 || fail "no About box"
xdotool key Return
for _ in $(seq 1 100); do about_up 1 && break; sleep 0.1; done
about_up 1 || fail "the About box did not close"
xdotool key ctrl+q
question=$(wait_window '^(Notice|提示)$' 10) || fail "no exit confirmation after About (keyboard not back)"
press "$question" Return
wait_end 100 "the program did not end after the confirmed exit"
[ "$rc" -eq 0 ] || { cat "$work/out.log"; fail "exit code $rc"; }
grep -q '^GPSBaud=57600' "$home/config.ini" || { cat "$home/config.ini"; fail "config.ini not written at exit"; }
# SIGTERM closes it in order too, with the same exit code.
sed -i '/^GPSBaud=/d' "$home/config.ini"
"$program" --home "$home" --geometry 480x640 >"$work/third.log" 2>&1 &
app_pid=$!
dialog=$(wait_window '^(Configuration|配置选择)$' 20) || fail "no start-up dialog on the third start"
press "$dialog" Return
notice=$(wait_window '^(Notice|提示)$' 10) || fail "no message for the missing port"
press "$notice" Return
sleep 0.3
kill -TERM "$app_pid"
wait_end 50 "the program did not end on SIGTERM"
[ "$rc" -eq 0 ] || fail "exit code $rc after SIGTERM"
grep -q '^GPSBaud=57600' "$home/config.ini" || fail "config.ini not written on SIGTERM"
echo "PASS"
