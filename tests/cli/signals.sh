# Sourced by tests/command_line.sh: a run ended by a signal ends at once with
# status 128+N and one line naming the signal, and leaves every file as it was
# and nothing of its own.

# --- a script file that blocks: a FIFO with no writer, standard input stalled ----
# The program waits in open or read; each signal must still end it. Every
# program sets SIGHUP's handler last; Node catches SIGINT and SIGTERM itself
# from its start, before the program's script runs.
begin blocked-script
mkfifo keys stalled
for sig in INT TERM HUP; do
    start --keys-file keys --trace s.txt
    stop "$sig" 0.3
    [ $rc -eq $((128 + $(kill -l $sig))) ] && grep -q "interrupted by SIG$sig" "$work/err" ||
        fail "$case: SIG$sig: status $rc: $(cat "$work/err")"
done
# SIGUSR1 ends the run by that signal (under Node it would otherwise open a
# debugger that anyone on the machine could use).
start --keys-file keys --trace s.txt
stop USR1 0.3
[ $rc -eq 138 ] && ! grep -qi debugger "$work/err" || fail "$case: SIGUSR1: status $rc: $(cat "$work/err")"
# A job in the background reads /dev/null unless told otherwise: hence no start.
exec 6<>stalled
"${c[@]}" --keys-file - --trace s.txt <stalled 2>"$work/err" &
pid=$!
stop INT 0.3
exec 6>&-
[ $rc -eq 130 ] && grep -q "interrupted by SIGINT" "$work/err" || fail "$case: stalled standard input: status $rc: $(cat "$work/err")"
# A run started with SIGHUP ignored (nohup) keeps ignoring it, and SIGTERM still
# ends it cleanly. Node sets every signal back to its default as it starts, so
# it cannot keep this.
if on render trace; then
    (trap '' HUP && exec "${c[@]}" --keys-file keys --trace s.txt) 2>"$work/err" &
    pid=$!
    ready "$pid" 0x4002 # SIGINT and SIGTERM
    kill -HUP $pid
    sleep 0.3
    kill -0 $pid 2>/dev/null || fail "$case: under nohup: ended by SIGHUP: $(cat "$work/err")"
    kill -TERM $pid
    wait $pid 2>/dev/null # without the shell's note of how the job ended
    rc=$?
    [ $rc -eq 143 ] || fail "$case: under nohup, then SIGTERM: status $rc: $(cat "$work/err")"
fi
only . keys stalled

# --- in the middle of a long run: nothing written, nothing left ----------------------
begin mid-run
echo old >t.txt
echo old >"p.$ext"
more=()
on render && more=(--frames made/frames)
for sig in INT TERM HUP; do
    start --keys-file "$cycle" --trace t.txt "$pic" "p.$ext" "${more[@]}"
    stop "$sig" 1
    [ $rc -eq $((128 + $(kill -l $sig))) ] && [ "$(wc -l <"$work/err")" -eq 1 ] &&
        grep -q "interrupted by SIG$sig; nothing was written" "$work/err" ||
        fail "$case: SIG$sig: status $rc: $(cat "$work/err")"
    only . t.txt "p.$ext"
    same t.txt old
    same "p.$ext" old
done
# Even SIGKILL leaves nothing: the temporary files have no names and the
# folders are made at the commit. Under Node the temporary files have names.
if on render trace; then
    "${c[@]}" --keys-file "$cycle" --trace t.txt "$pic" "p.$ext" "${more[@]}" &
    pid=$!
    sleep 1
    stop KILL
    only . t.txt "p.$ext"
    same t.txt old
fi
tmp_empty

# --- a reader that never reads: the commit blocks, a signal still ends it ----------
begin stalled-reader
# A FIFO: the message counts what went out, a pipe's worth.
mkfifo slow
start --keys x --trace slow
exec 3<slow
stop TERM 1
exec 3<&-
[ $rc -eq 143 ] && grep -q "interrupted by SIGTERM; --trace file 'slow' got 65,536 bytes before the interrupt" "$work/err" ||
    fail "$case: SIGTERM into a FIFO: status $rc: $(cat "$work/err")"
# Standard output: the file already put in place comes back.
mkfifo pipe
exec 5<>pipe
echo old >"p.$ext"
start --keys x --trace - "$pic" "p.$ext" >pipe
for _ in $(seq 200); do cmp -s "p.$ext" "$work/ref.$ext" && break; sleep 0.1; done
stop INT 0.3
exec 5>&-
[ $rc -eq 130 ] && grep -Eq "interrupted by SIGINT; standard output got [0-9,]+ bytes before the interrupt" "$work/err" ||
    fail "$case: SIGINT into a stalled standard output: status $rc: $(cat "$work/err")"
same "p.$ext" old
only . slow pipe "p.$ext"
no_debris .
tmp_empty

# --- an interrupt while a long script is read acts at once ---------------------------
# The script comes through a FIFO whose writer stays open, so the program is
# still reading when the signal comes, however fast it reads. (The stop's bound
# only tells a hang from an ending; how fast it ends is the benchmark's business.)
if on render trace; then
    begin long-script-read
    head -c $((16 << 20)) /dev/zero | tr '\0' 'x' | sed 's/x/x /g' | head -c $((16 << 20)) >long.txt
    mkfifo long.fifo
    { cat long.txt; sleep 60; } >long.fifo 2>/dev/null &
    writer=$!
    start --keys-file long.fifo
    stop INT 0.3
    { # the shell's own note of the writer's end is no failure
        pkill -P $writer
        kill $writer
        wait $writer
    } 2>/dev/null
    [ $rc -eq 130 ] || fail "$case: SIGINT while reading a long script: status $rc"
    rm -f long.txt long.fifo
fi
