#!/usr/bin/env bash
# The window on a real X server (Xvfb): it starts and draws without a window
# manager, steps on keys sent to it, uses no CPU while it waits, and ends with
# status 0 on Escape, on a double click and on closing it from the frame.
set -u
program=$1
work=$(mktemp -d)
failures=0
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n 1 "$work/display")
export XDG_RUNTIME_DIR=$work

caption='    Zebo / Morlix        GEOMETRY EXPLAIN          USE: SpaceBar , /  Enter Tab    USE: BackSpace for Velocity / Acceleration     DoubleClick or ESC to Quit'

start() { # starts the program; sets pid and wid
    "$program" >"$work/log" 2>&1 &
    pid=$!
    wid=
    for _ in $(seq 100); do
        wid=$(xdotool search --name 'GEOMETRY EXPLAIN' 2>/dev/null | head -n 1)
        [ -n "$wid" ] && break
        sleep 0.05
    done
    [ -n "$wid" ] || fail "no window appeared"
    sleep 0.5 # the first frame
}

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

ends_within() { # seconds: waits for the program to end; checks status 0
    local limit=$1 i rc
    for i in $(seq $((limit * 50))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            rc=$?
            [ $rc -eq 0 ] || fail "status $rc, not 0: $(head -c 2000 "$work/log")"
            return
        fi
        sleep 0.02
    done
    fail "still running after $limit s"
    kill "$pid"
}

# Without a window manager.
start
[ "$(xdotool getwindowname "$wid")" = "$caption" ] || fail "caption: '$(xdotool getwindowname "$wid")'"
xdotool getwindowgeometry "$wid" | grep -q 'Geometry: 962x688' || fail "client size: $(xdotool getwindowgeometry "$wid")"
t0=$(ticks $pid)
sleep 1
t1=$(ticks $pid)
[ $((t1 - t0)) -le 1 ] || fail "used $((t1 - t0)) ticks of CPU in 1 s waiting for a key"
for k in x BackSpace Tab Return ctrl+h comma slash space; do
    xdotool key --window "$wid" "$k"
    sleep 0.15
done
kill -0 $pid 2>/dev/null || fail "ended on an ordinary key: $(cat "$work/log")"
xdotool key --window "$wid" Escape 2>/dev/null
ends_within 1

start
xdotool mousemove --window "$wid" 300 300 click --repeat 2 --delay 80 1 2>/dev/null
ends_within 1

# With a window manager: closing from the frame.
if command -v openbox >/dev/null && command -v wmctrl >/dev/null; then
    openbox >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.5
    start
    wmctrl -c 'GEOMETRY EXPLAIN' || fail "wmctrl could not close the window"
    ends_within 1
else
    fail "openbox and wmctrl are needed for the close test"
fi

if [ $failures -eq 0 ]; then
    echo "window on X: all checks passed"
fi
exit $((failures > 0))
