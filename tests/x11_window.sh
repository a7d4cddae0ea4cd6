#!/usr/bin/env bash
# The window on a real X server (Xvfb), with and without a window manager: it
# starts and draws, shows exactly what the headless renderer draws for the same
# keys, keeps its picture when resized, covered, minimised and restored, keeps up
# with a held key and goes idle when it is released, uses no CPU while it waits,
# and ends with status 0 on Escape, a double click and closing from the frame.
# Without a display, or when the display goes away, it ends with one clear line.
program=$1
render=$2
grab=$3
. "$(dirname "$0")/checks.sh"
pids=()
on_exit+=('for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done')
export XDG_RUNTIME_DIR=$work
# In the checking build, leaks are told by the whole stack, which the
# suppressions of Qt's own leaks need (tests/lsan.supp).
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0

# Every X server the test starts takes a display that is free: Xvfb picks it and
# writes its number and a newline to a descriptor once it accepts connections.
# The test waits for the whole line (the number and the newline come in two
# writes), never for a fixed time. -noreset: by default the server resets when
# its last client leaves, and a client that connects during that reset is
# refused; every xdpyinfo and xdotool here is such a last client, and the
# program's own connection then failed a few times in a hundred starts on a
# busy machine.
new_display() { # [screen size]: starts an Xvfb; sets display and xvfb_pid
    local f=$work/display.$RANDOM
    Xvfb -displayfd 3 -screen 0 "${1:-1280x800}x24" -nolisten tcp -noreset 3>"$f" >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    xvfb_pid=$!
    display=
    for _ in $(seq 400); do
        [ -s "$f" ] && [ -z "$(tail -c 1 "$f")" ] && break # ends with the newline
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.025
    done
    grep -qx '[0-9][0-9]*' "$f" 2>/dev/null || { fail "Xvfb did not start: $(tail -n 3 "$work/xvfb.log")"; finish "window on X"; }
    display=:$(head -n 1 "$f")
    DISPLAY=$display xdpyinfo >/dev/null 2>&1 || { fail "Xvfb on $display does not answer"; finish "window on X"; }
}

# A display number no server has: neither a socket nor a lock.
unused_display() {
    local n
    for n in $(seq 4095 -1 3000); do
        [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] && { echo "$n"; return; }
    done
}

# Waits until the program has drawn what it was asked to and waits for a key
# again: its main thread is asleep, not runnable, and its CPU time stands still
# over two tenths of a second in a row (at most 10 s). A program that is only
# waiting for a core on a busy machine is runnable, so it is not taken for idle.
state() { sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1; }
settle() {
    local a b quiet=0
    b=$(ticks "$pid")
    for _ in $(seq 100); do
        sleep 0.1
        a=$b
        b=$(ticks "$pid")
        kill -0 "$pid" 2>/dev/null || return
        if [ "$a" = "$b" ] && [ "$(state "$pid")" = S ]; then
            quiet=$((quiet + 1))
            [ "$quiet" -ge 2 ] && return
        else
            quiet=0
        fi
    done
}

start() { # [options]: starts the program; sets pid and wid
    "$program" "$@" >"$work/log" 2>&1 &
    pid=$!
    wid=
    for _ in $(seq 100); do
        # This program's window: the window of one that has just ended can
        # still be listed until the server has seen that client go.
        wid=$(xdotool search --all --pid "$pid" --name 'GEOMETRY EXPLAIN' 2>/dev/null | head -n 1)
        [ -n "$wid" ] && break
        sleep 0.05
    done
    # Nothing after this can be checked without the window.
    [ -n "$wid" ] || { fail "no window appeared on $DISPLAY: $(cat "$work/log")"; finish "window on X"; }
    settle # the first frame
}

ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null; }

ends_within() { # seconds [status]: waits for the program to end with that status (0)
    local limit=$1 want=${2:-0} rc
    for _ in $(seq $((limit * 50))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            rc=$?
            [ $rc -eq "$want" ] || fail "status $rc, not $want: $(head -c 2000 "$work/log")"
            return
        fi
        sleep 0.02
    done
    fail "still running after $limit s"
    kill "$pid"
}

key() { # sends keys one at a time and lets each frame finish
    for k in "$@"; do
        xdotool key --window "$wid" "$k" 2>/dev/null
        settle
    done
}

# Ends the program with a key or a double click. xdotool presses a key in the
# focused window through the server's test extension, and then sends the
# release to the window, which is gone by then: the server would hold the key
# down and repeat it into the next window shown. So the key and the button are
# released by the test extension itself.
quit_by() { # key NAME | double-click
    if [ "$1" = key ]; then
        xdotool key --window "$wid" "$2" 2>/dev/null
        xdotool keyup "$2" 2>/dev/null
    else
        xdotool mousemove --window "$wid" 300 300 click --repeat 2 --delay 80 1 2>/dev/null
        xdotool mouseup 1 2>/dev/null
    fi
}

same_picture() { # what [W H]: the window shows the renderer's picture
    "$grab" shot "$wid" "$work/shot.png" || fail "$1: cannot grab the window"
    local n
    n=$("$grab" diff "$work/shot.png" "$work/want.png" "${2:-962}" "${3:-688}")
    [ "$n" = 0 ] || fail "$1: $n pixels differ from the renderer's picture"
}

# --- no display ----------------------------------------------------------------
(unset DISPLAY WAYLAND_DISPLAY; exec "$program") >"$work/out" 2>"$work/err"
rc=$?
[ $rc -eq 1 ] || fail "no display: status $rc, not 1"
[ "$(wc -l <"$work/err")" -eq 1 ] && grep -q 'DISPLAY is not set' "$work/err" || fail "no display: $(cat "$work/err")"
nowhere=$(unused_display)
DISPLAY=:$nowhere "$program" >"$work/out" 2>"$work/err"
rc=$?
[ $rc -eq 1 ] || fail "display nowhere: status $rc, not 1"
[ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "':$nowhere'" "$work/err" || fail "display nowhere: $(cat "$work/err")"

# A platform plugin that is unknown or not installed, and a display named on the
# command line, are named in the one line.
QT_QPA_PLATFORM=bogus "$program" >"$work/out" 2>"$work/err"
rc=$?
[ $rc -eq 1 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "unknown Qt platform plugin 'bogus'" "$work/err" ||
    fail "unknown platform: status $rc: $(cat "$work/err")"
if ! dpkg-query -W -f='${Status}' qt6-wayland 2>/dev/null | grep -q 'install ok installed'; then
    QT_QPA_PLATFORM=wayland "$program" >"$work/out" 2>"$work/err"
    [ $? -eq 1 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "apt-get install qt6-wayland" "$work/err" ||
        fail "wayland without its plugin: $(cat "$work/err")"
fi
DISPLAY=:$nowhere "$program" -display ":$((nowhere - 1))" >"$work/out" 2>"$work/err"
grep -q "':$((nowhere - 1))'" "$work/err" || fail "-display: $(cat "$work/err")"
# Help and version need no display.
(unset DISPLAY WAYLAND_DISPLAY; "$program" --help) | grep -q 'Escape' || fail "--help without a display"
(unset DISPLAY WAYLAND_DISPLAY; "$program" --version) | grep -qx 'zebo-morlix [0-9.]*' || fail "--version without a display"
# A mistake in the command line is one line and status 2, found before any display.
for args in "--bogus" "-geometry 10x10" "extra" "-display"; do
    (unset DISPLAY WAYLAND_DISPLAY; exec "$program" $args) >"$work/out" 2>"$work/err"
    rc=$?
    [ $rc -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q '(see zebo-morlix --help)$' "$work/err" ||
        fail "zebo-morlix $args: status $rc: $(cat "$work/err")"
done
# So is a mechanism it cannot use, named by its option.
for args in "--linkage 1,2" "--linkage 31.5,7,25,60" "--slider-crank 30,20" "--checking-lift 0" \
    "--profile $work/nonexistent.csv"; do
    (unset DISPLAY WAYLAND_DISPLAY; exec "$program" $args) >"$work/out" 2>"$work/err"
    rc=$?
    [ $rc -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -qF -- "zebo-morlix: ${args%% *}" "$work/err" ||
        grep -qF -- "zebo-morlix: cannot read ${args%% *}" "$work/err" ||
        fail "zebo-morlix $args: status $rc: $(cat "$work/err")"
    [ $rc -eq 2 ] || fail "zebo-morlix $args: status $rc, not 2"
done

# --- without a window manager ----------------------------------------------------
new_display
export DISPLAY=$display
caption='    Zebo / Morlix        GEOMETRY EXPLAIN          USE: SpaceBar , /  Enter Tab    USE: BackSpace for Velocity / Acceleration     DoubleClick or ESC to Quit'

start
[ "$(xdotool getwindowname "$wid")" = "$caption" ] || fail "caption: '$(xdotool getwindowname "$wid")'"
xdotool getwindowgeometry "$wid" | grep -q 'Geometry: 962x688' || fail "client size: $(xdotool getwindowgeometry "$wid")"
xprop -id "$wid" _NET_WM_ICON | grep -q '_NET_WM_ICON(CARDINAL) = ' || fail "the window shows no icon"
t0=$(ticks $pid)
sleep 1
t1=$(ticks $pid)
[ $((t1 - t0)) -le 1 ] || fail "used $((t1 - t0)) ticks of CPU in 1 s waiting for a key"

key BackSpace x slash Tab ctrl+h Return comma space x
"$render" --keys "backspace x slash tab backspace enter comma space x" --png "$work/want.png"
same_picture "after keys"
# An emoji is one key press: a plain step.
# xdotool types it through a key it maps to the emoji for the while, and Qt 6.8
# reads the map after its default 12 ms: the press then has no text.
LC_ALL=C.UTF-8 xdotool type --delay 200 --window "$wid" '😀' 2>/dev/null # decodes its argument by the locale
settle
"$render" --keys "backspace x slash tab backspace enter comma space x x" --png "$work/want.png"
same_picture "after an emoji"
xdotool windowsize --sync "$wid" 1200 850
settle
same_picture "made larger"
xdotool windowsize --sync "$wid" 400 300
settle
xdotool windowsize --sync "$wid" 962 688
settle
same_picture "made smaller and back"
# Covered by another window and uncovered.
"$program" >/dev/null 2>&1 &
cover=$!
for _ in $(seq 200); do
    [ "$(xdotool search --name 'GEOMETRY EXPLAIN' 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.025
done
kill $cover
wait $cover 2>/dev/null
settle
same_picture "covered and uncovered"
# Resized while frames are drawn.
xdotool key --window "$wid" --delay 15 --repeat 40 Tab 2>/dev/null &
keys=$!
for s in 700x500 1100x800 500x300 962x688; do
    xdotool windowsize "$wid" ${s%x*} ${s#*x}
    sleep 0.1
done
wait $keys
kill -0 $pid 2>/dev/null || fail "ended while resized during frames: $(cat "$work/log")"
# A held key: about 30 presses a second for 5 s. The program keeps up and is
# idle again within a frame of the release.
xdotool key --window "$wid" --delay 33 --repeat 150 Tab 2>/dev/null
sleep 0.2
t0=$(ticks $pid)
sleep 1
t1=$(ticks $pid)
[ $((t1 - t0)) -le 1 ] || fail "still busy after a held key was released ($((t1 - t0)) ticks in 1 s)"
# A window far larger than the screen costs no more memory and still works.
xdotool windowsize --sync "$wid" 32767 32767 2>/dev/null || xdotool windowsize "$wid" 32767 32767
settle
key x
rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
[ "$rss" -lt 600000 ] || fail "a 32767 x 32767 window: $rss kB resident"
kill -0 $pid 2>/dev/null || fail "ended when made enormous: $(cat "$work/log")"
xdotool windowsize --sync "$wid" 962 688
settle
quit_by key Escape
ends_within 1

start
quit_by double-click
ends_within 1

# A mechanism of the user's own: the window draws what the renderer draws.
mechanism=(--linkage 31.5,7,25,28 --slider-crank 30,110 --checking-lift 1)
start "${mechanism[@]}"
key x BackSpace
"$render" "${mechanism[@]}" --keys "x backspace" --png "$work/want.png"
same_picture "a mechanism of the user's own"
quit_by key Escape
ends_within 1

# --- with a window manager --------------------------------------------------------
openbox >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 200); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.025; done
wmctrl -m >/dev/null 2>&1 || fail "the window manager did not start"
start
key x
"$render" --keys "x" --png "$work/want.png"
xdotool windowminimize --sync "$wid" 2>/dev/null
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowmap --sync "$wid"
xdotool windowmove --sync "$wid" 0 0 2>/dev/null
settle
same_picture "minimised and restored"
wmctrl -c 'GEOMETRY EXPLAIN' || fail "wmctrl could not close the window"
ends_within 1

start
xdotool key --window "$wid" --delay 10 --repeat 200 x 2>/dev/null &
keys=$!
sleep 0.3
wmctrl -c 'GEOMETRY EXPLAIN' || fail "wmctrl could not close the window during frames"
ends_within 1
kill $keys 2>/dev/null
wait $keys 2>/dev/null

# --- scaled screens: the same plane at more pixels, and at 125 % the same even axes
# as the renderer ------------------------------------------------------------------------
new_display 2200x1500
export DISPLAY=$display
for scaled in "2 1924 1376" "1.25 1202 860"; do
    read -r scale w h <<<"$scaled"
    QT_SCALE_FACTOR=$scale start
    key x
    "$render" --keys x --scale "$scale" --png "$work/want.png"
    same_picture "at device pixel ratio $scale" "$w" "$h"
    quit_by key Escape
    ends_within 1
done

# --- the display going away --------------------------------------------------------
new_display
export DISPLAY=$display
start
kill "$xvfb_pid"
ends_within 2 1
grep -q 'lost the connection to the display' "$work/log" || fail "display gone: $(cat "$work/log")"

finish "window on X"
