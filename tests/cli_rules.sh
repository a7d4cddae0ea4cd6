#!/usr/bin/env bash
# One command line for every program that plays key scripts: the renderer, the
# native trace program and the trace program under Node take the same options
# and give the same messages, statuses and output rules. Every case of the
# table runs against each program; the messages must match the renderer's word
# for word, after the program's name.
#   cli_rules.sh RENDER TRACE [TRACE_JS]   (TRACE_JS is skipped when not built)
render=$(realpath "$1")
trace=$(realpath "$2")
trace_js=${3:+$(realpath -m "$3")}
. "$(dirname "$0")/checks.sh"
# The programs run in a folder of their own; their messages go beside it.
mkdir "$work/run" && cd "$work/run" || exit 1

programs=(render trace)
# The command of a program, in c: run as "${c[@]}" ARGS, in the background $!
# is the program itself, the one a signal must reach.
command_of() {
    case $1 in
    render) c=("$render") ;;
    trace) c=("$trace") ;;
    node) c=(node "$trace_js") ;;
    esac
}
if [ -n "$trace_js" ] && [ -f "$trace_js" ] && command -v node >/dev/null; then
    programs+=(node)
else
    echo "the trace program for Node is not built: its column is skipped"
fi
name_of() { case $1 in render) echo zebo-morlix-render ;; *) echo zebo-morlix-trace ;; esac; }

# Runs one program; leaves out, err (the first line without the program's
# name) and rc.
call() { # program args...
    local p=$1
    shift
    command_of "$p"
    "${c[@]}" "$@" >"$work/out" 2>"$work/err"
    rc=$?
    lines=$(wc -l <"$work/err")
    err=$(head -n 1 "$work/err")
    err=${err#"$(name_of "$p"): "}
}

# --- refused command lines: status 2, one line, the renderer's words --------
refused() { # the words the message holds, then the arguments
    local want=$1 p
    shift
    for p in "${programs[@]}"; do
        call "$p" "$@"
        [ $rc -eq 2 ] && [ "$lines" -eq 1 ] && [[ $err == *"$want"* ]] ||
            fail "$p $*: status $rc, $lines lines: $(cat "$work/err")"
        [ ! -s "$work/out" ] && [ ! -e t.txt ] && [ ! -e a.txt ] || fail "$p $*: wrote something"
    done
}
refused "unknown option '--bogus' (see" --bogus
refused "'--keys' needs a value (see" --keys
refused "'-trace' needs a value (see" --keys x -trace
refused "'--sweep' takes no value (see" --sweep=1
refused "option --keys is given more than once" --keys x --keys y
refused "option --trace is given more than once" --trace=a.txt --trace t.txt
refused "--trace needs a file name, or - for standard output" --trace ""
refused "--svg needs a file name, or - for standard output" --svg=
refused "--csv needs a file name, or - for standard output" --csv ""
refused "--keys-file needs a file name, or - for standard input" --keys-file ""
refused "unexpected argument 'extra' (see" --keys x extra
refused "unexpected argument '--trace' (see" --keys x -- --trace t.txt
refused "give the script with --keys or with --keys-file, not both" --keys x --keys-file -
refused "--size '0x0' is out of range" --size 0x0
refused "--size '10' is out of range" --size 10
refused "unknown step 'frob'" --keys "x frob" --trace t.txt
refused "step 'x@1.5*3': a step with a time cannot be repeated" --keys "x@1.5*3"
refused "step 'x*0': a repeat must be *N with N from 1 to 1000000" --keys "x*0"
refused "step 'x*1000001'" --keys "x*1000001"
refused "left over after the program ended: 'x*5'" --keys "esc x*5" --trace t.txt
refused "cannot read --keys-file 'none.txt': No such file or directory" --keys-file none.txt
# A name longer than the system allows and a loop of links, in the system's own
# words everywhere. Node's runtime cut each part of a name to 255 characters and
# read the shorter file of that name: one is here to be found.
long=$(printf 'k%.0s' $(seq 300))
echo x >"${long:0:255}"
refused "cannot read --keys-file '$long': File name too long" --keys-file "$long"
refused "cannot write --trace file '$long': File name too long" --keys x --trace "$long"
ln -s loop loop
refused "cannot read --keys-file 'loop': Too many levels of symbolic links" --keys-file loop
refused "cannot write --trace file 'loop/t.txt': Too many levels of symbolic links" --keys x --trace loop/t.txt
rm -f loop "${long:0:255}"
refused "unknown option '-platform' (see" -platform xcb
# A usage error names the option as typed and the help to read.
for p in "${programs[@]}"; do
    call "$p" --bogus=1
    [ "$err" = "unknown option '--bogus' (see $(name_of "$p") --help)" ] || fail "$p --bogus=1: $err"
done

# The pictures only the renderer makes are refused by the trace programs,
# naming the renderer.
for p in "${programs[@]}"; do
    [ "$p" = render ] && continue
    for opt in --png --pdf --frames --scale; do
        call "$p" --keys x $opt x
        [ $rc -eq 2 ] && [ "$lines" -eq 1 ] && [[ $err == *zebo-morlix-render* ]] ||
            fail "$p $opt: status $rc: $(cat "$work/err")"
        [ ! -e x ] || fail "$p $opt: made the file"
    done
done

# --- help and version: standard output, status 0 ------------------------------
for p in "${programs[@]}"; do
    call "$p" --version
    [ $rc -eq 0 ] && grep -qx "$(name_of "$p") [0-9]*\.[0-9]*\.[0-9]*" "$work/out" || fail "$p --version: $rc $(cat "$work/out")"
    call "$p" --help
    [ $rc -eq 0 ] && grep -q 'KEY\*N' "$work/out" && grep -q -- '--csv FILE' "$work/out" || fail "$p --help: $rc"
    call "$p" -h --bogus-after-help
    [ $rc -eq 2 ] || fail "$p: an unknown option after -h is still an error"
    command_of "$p"
    "${c[@]}" --help >/dev/full 2>"$work/err"
    [ $? -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$p --help >/dev/full: not a failure"
done

# --- one script, one trace ----------------------------------------------------
"$render" --keys "backspace x x x tab x x" --trace want.txt --svg want.svg --csv want.csv || fail "render: status"
printf '\xef\xbb\xbfbackspace x*3\ntab x*2\n' >bom.txt
for p in "${programs[@]}"; do
    command_of "$p"
    # A repeat is the steps written out, and an editor's byte-order mark is skipped.
    for how in "--keys:backspace x*3 tab x*2" "--keys-file:bom.txt" "--keys-file:-"; do
        rm -f got.txt got.svg got.csv
        "${c[@]}" "${how%%:*}" "${how#*:}" --trace got.txt --svg got.svg --csv got.csv <bom.txt 2>"$work/err" ||
            fail "$p $how: $(cat "$work/err")"
        cmp -s want.txt got.txt && cmp -s want.svg got.svg && cmp -s want.csv got.csv ||
            fail "$p $how: another trace or picture than the renderer's"
    done
    head -n 1 got.csv | grep -qx 'curve,path,x,y' || fail "$p: CSV header $(head -n 1 got.csv)"
    # Standard output gets the same bytes.
    "${c[@]}" --keys "backspace x*3 tab x*2" --trace - 2>/dev/null | cmp -s want.txt - || fail "$p --trace -"
done

# --- a closed standard output or error is a failure, not a run into nowhere ----
for p in "${programs[@]}"; do
    command_of "$p"
    "${c[@]}" --keys x --trace - >&- 2>"$work/err"
    rc=$?
    [ $rc -eq 2 ] && grep -q "cannot write --trace to standard output: standard output is closed" "$work/err" ||
        fail "$p --trace - with standard output closed: status $rc: $(cat "$work/err")"
    "${c[@]}" --keys x --svg /dev/fd/1 >/dev/null 2>"$work/err"
    [ $? -eq 0 ] || fail "$p --svg /dev/fd/1 onto /dev/null: $(cat "$work/err")"
done

# --- the temporary folder, and a working folder that is gone -------------------
for p in "${programs[@]}"; do
    command_of "$p"
    TMPDIR=/nonexistent "${c[@]}" --keys x --trace - >/dev/null 2>"$work/err"
    [ $? -eq 2 ] && grep -q "in \$TMPDIR '/nonexistent': No such file or directory" "$work/err" ||
        fail "$p with a missing \$TMPDIR: $(cat "$work/err")"
    mkdir "$work/gone" && (cd "$work/gone" && rmdir "$work/gone" && exec "${c[@]}" --keys x --trace rel.txt 2>"$work/err")
    rc=$?
    [ $rc -eq 2 ] && grep -q "cannot write --trace file 'rel.txt': No such file or directory" "$work/err" ||
        fail "$p in a removed working folder: status $rc: $(cat "$work/err")"
done

# --- a new file gets the permissions the umask gives, as with a redirection ------
for p in "${programs[@]}"; do
    command_of "$p"
    rm -f new.txt
    (umask 027 && "${c[@]}" --keys x --trace new.txt 2>"$work/err") || fail "$p: $(cat "$work/err")"
    [ "$(stat -c %a new.txt)" = 640 ] || fail "$p: a new file under umask 027 has mode $(stat -c %a new.txt)"
    rm -f new.txt
done

# --- messages never carry raw control bytes -------------------------------------
printf 'x\0x' >nul.txt
for p in "${programs[@]}"; do
    call "$p" --keys $'\e[31mRED'
    ! grep -q $'\e' "$work/err" && [[ $err == *"'\$'\\033''[31mRED'"* ]] || fail "$p: escape in a step: $(cat -v "$work/err")"
    call "$p" --keys-file nul.txt
    [[ $err == "unknown step 'x'\$'\\000''x'" ]] || fail "$p: NUL in a step: $(cat -v "$work/err")"
    call "$p" --keys-file $'bad\e]0;title\a.txt'
    ! grep -q $'\e' "$work/err" || fail "$p: escape in a file name: $(cat -v "$work/err")"
    # A very long step is named, briefly.
    call "$p" --keys "$(head -c 100000 /dev/zero | tr '\0' 'q')"
    [ $rc -eq 2 ] && [ ${#err} -lt 200 ] || fail "$p: a 100 KB step gives a message of ${#err} bytes"
done

# --- all or nothing: a failed run leaves an existing file as it was ------------
for p in "${programs[@]}"; do
    echo old >t.txt
    for failing in "--keys x,frob" "--keys x@1.5,y@1.2" "--keys x,--svg,nodir/a.svg" "--keys x,--csv,/dev/full"; do
        IFS=, read -r -a extra <<<"$failing"
        call "$p" "${extra[@]}" --trace t.txt
        [ $rc -eq 2 ] && [ "$(cat t.txt)" = old ] || fail "$p $failing: status $rc, t.txt: $(head -c 40 t.txt)"
    done
    call "$p" --keys x --trace /dev/full
    [ $rc -eq 2 ] && [[ $err == *"No space left on device"* ]] || fail "$p: /dev/full: $(cat "$work/err")"
    call "$p" --keys x --trace - --csv -
    [ $rc -eq 2 ] && [[ $err == *"same file"* ]] || fail "$p: two outputs onto standard output: $(cat "$work/err")"
    rm -f t.txt
done

# --- Node: the WebAssembly beside the script missing or from another build --------
# Status 2 and one line naming the file, never a silent status 0; nothing written.
if [[ " ${programs[*]} " == *" node "* ]]; then
    mkdir "$work/lone"
    cp "$trace_js" "$work/lone/zebo-morlix-trace.js"
    lone=(node "$work/lone/zebo-morlix-trace.js" --keys x --trace t.txt)
    for wasm in missing truncated foreign; do
        case $wasm in
        missing) rm -f "$work/lone/zebo-morlix-trace.wasm" ;;
        truncated) head -c 1000 "${trace_js%.js}.wasm" >"$work/lone/zebo-morlix-trace.wasm" ;;
        # A valid module whose one import this program does not provide.
        foreign) printf '\0asm\1\0\0\0\1\4\1\x60\0\0\2\x13\1\3env\x0bnonexistent\0\0' >"$work/lone/zebo-morlix-trace.wasm" ;;
        esac
        "${lone[@]}" >"$work/out" 2>"$work/err"
        rc=$?
        [ $rc -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "zebo-morlix-trace.*WebAssembly" "$work/err" ||
            fail "node with a $wasm .wasm: status $rc: $(cat "$work/err")"
        [ ! -s "$work/out" ] && [ ! -e t.txt ] || fail "node with a $wasm .wasm: wrote something"
    done
fi

# --- names and scripts that are not UTF-8 --------------------------------------------
# Natively the bytes are the name. Node would turn the byte into U+FFFD and so
# replace another file (here one named with U+FFFD itself, which must survive):
# under Node the argument is refused. A name that holds U+FFFD as UTF-8 is used.
replacement=$'\xef\xbf\xbd'
for p in "${programs[@]}"; do
    rm -f ./*.txt
    echo keep >"$replacement.txt"
    call "$p" --keys x --trace $'\xfe.txt'
    if [ "$p" = node ]; then
        [ $rc -eq 2 ] && [ "$lines" -eq 1 ] && [[ $err == *'argument 4 ("\xfe.txt") is not UTF-8'* ]] ||
            fail "node, a name that is not UTF-8: status $rc: $(cat "$work/err")"
        [ ! -e $'\xfe.txt' ] || fail "node, a name that is not UTF-8: wrote it"
    else
        [ $rc -eq 0 ] && [ -s $'\xfe.txt' ] || fail "$p, a name that is not UTF-8: status $rc: $(cat "$work/err")"
    fi
    [ "$(cat "$replacement.txt")" = keep ] || fail "$p, a name that is not UTF-8: replaced the file named U+FFFD"
    call "$p" --keys x --trace "$replacement.txt"
    [ $rc -eq 0 ] && [ "$(head -c 4 "$replacement.txt")" != keep ] || fail "$p, a name with U+FFFD: status $rc: $(cat "$work/err")"
    call "$p" --keys $'x\xff' --trace t.txt
    [ $rc -eq 2 ] && [ "$lines" -eq 1 ] && [ ! -e t.txt ] || fail "$p, a script that is not UTF-8: status $rc: $(cat "$work/err")"
done
# A process title (--title) writes over the bytes Node was given: then any
# U+FFFD is refused, on one line whatever the name holds.
if [[ " ${programs[*]} " == *" node "* ]]; then
    node --title=zm "$trace_js" --keys x --trace $'o\n\xfe\e[31m.txt' >"$work/out" 2>"$work/err"
    rc=$?
    [ $rc -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -qF 'argument 4 ("o\x0a'"$replacement"'\x1b[31m.txt") holds U+FFFD' "$work/err" ||
        fail "node --title, a name that is not UTF-8: status $rc: $(cat -v "$work/err")"
    [ -z "$(ls -A | grep -v -x -e fifo -e bom.txt -e 'want\..*' -e 'got\..*' -e "$replacement.txt")" ] || fail "node --title: wrote $(ls -A)"
fi
rm -f ./*.txt

# --- signals: cleaned up, status 128+N, the signal named -------------------------
# A script file that is a FIFO with no writer blocks the program in open; each
# signal must still end it at once.
mkfifo fifo
# Every program sets SIGHUP's handler last; Node catches SIGINT and SIGTERM
# itself from its start, before the program's script runs.
for p in "${programs[@]}"; do
    for sig in INT TERM HUP; do
        command_of "$p"
        "${c[@]}" --keys-file fifo --trace s.txt 2>"$work/err" &
        pid=$!
        ready "$pid"
        sleep 0.3
        kill -$sig $pid
        wait $pid 2>/dev/null # without the shell's note of how the job ended
        rc=$?
        want=$((128 + $(kill -l $sig)))
        [ $rc -eq $want ] && grep -q "interrupted by SIG$sig" "$work/err" ||
            fail "$p SIG$sig with a FIFO: status $rc: $(cat "$work/err")"
        [ -z "$(ls -A | grep -v -x -e fifo -e bom.txt -e nul.txt -e 'want\..*' -e 'got\..*')" ] ||
            fail "$p SIG$sig: left $(ls -A | tr '\n' ' ')"
    done
done

# A run started with SIGHUP ignored (nohup) keeps ignoring it, and SIGTERM still
# ends it cleanly. Node sets every signal back to its default as it starts, so
# its column cannot keep this.
for p in render trace; do
    command_of "$p"
    (trap '' HUP && exec "${c[@]}" --keys-file fifo --trace s.txt) 2>"$work/err" &
    pid=$!
    ready "$pid" 0x4002 # SIGINT and SIGTERM
    kill -HUP $pid
    sleep 0.3
    kill -0 $pid 2>/dev/null || fail "$p under nohup: ended by SIGHUP: $(cat "$work/err")"
    kill -TERM $pid
    wait $pid 2>/dev/null # without the shell's note of how the job ended
    rc=$?
    [ $rc -eq 143 ] && [ ! -e s.txt ] || fail "$p under nohup, then SIGTERM: status $rc: $(cat "$work/err")"
done

# SIGUSR1 ends every program by that signal (under Node it would otherwise open
# a debugger that anyone on the machine could use).
for p in "${programs[@]}"; do
    command_of "$p"
    "${c[@]}" --keys-file fifo --trace s.txt 2>"$work/err" &
    pid=$!
    ready "$pid"
    sleep 0.3
    kill -USR1 $pid
    wait $pid 2>/dev/null # without the shell's note of how the job ended
    rc=$?
    [ $rc -eq 138 ] && ! grep -q -i debugger "$work/err" || fail "$p SIGUSR1: status $rc: $(cat "$work/err")"
    [ ! -e s.txt ] || fail "$p SIGUSR1: left s.txt"
done

# A FIFO whose reader never reads: the commit blocks once the pipe is full, a
# signal still ends it, and the message counts what went out (a pipe's worth).
mkfifo slow
for p in "${programs[@]}"; do
    command_of "$p"
    "${c[@]}" --keys x --trace slow 2>"$work/err" &
    pid=$!
    exec 3<slow
    ready "$pid"
    sleep 1
    kill -TERM $pid
    wait $pid 2>/dev/null # without the shell's note of how the job ended
    rc=$?
    exec 3<&-
    [ $rc -eq 143 ] && grep -q "interrupted by SIGTERM; --trace file 'slow' got 65,536 bytes before the interrupt" "$work/err" ||
        fail "$p SIGTERM with a stalled reader: status $rc: $(cat "$work/err")"
done
rm -f slow

# --- long scripts: bounded memory, and an interrupt acts at once -------------------
if [ -x /usr/bin/time ]; then
    head -c $((16 << 20)) /dev/zero | tr '\0' 'x' | sed 's/x/x /g' | head -c $((16 << 20)) >long.txt
    steps=$((8 << 20))
    for p in render trace; do
        command_of "$p"
        /usr/bin/time -f %M -o mem.txt "${c[@]}" --keys-file long.txt 2>/dev/null
        kb=$(tail -n 1 mem.txt)
        limit=$(((100000000 + 16 * steps) / 1024))
        # A sanitizer's shadow memory is no part of the program's.
        grep -qa __asan_init "${c[0]}" ||
            [ "$kb" -le $limit ] || fail "$p: a 16 MiB script takes $kb KB, more than $limit KB"
        # The script comes through a FIFO whose writer stays open, so the
        # program is still reading when the signal comes, however fast it reads.
        rm -f long.fifo
        mkfifo long.fifo
        { cat long.txt; sleep 60; } >long.fifo &
        writer=$!
        "${c[@]}" --keys-file long.fifo 2>/dev/null &
        pid=$!
        ready "$pid"
        sleep 0.3
        start=$(date +%s%N)
        kill -INT $pid
        wait $pid 2>/dev/null # without the shell's note of how the job ended
        rc=$?
        ms=$((($(date +%s%N) - start) / 1000000))
        pkill -P $writer 2>/dev/null
        kill $writer 2>/dev/null
        wait $writer 2>/dev/null
        # The bound only tells a hang from an ending; how fast it ends is the
        # benchmark's business.
        [ $rc -eq 130 ] && [ $ms -lt 10000 ] || fail "$p: SIGINT while reading a long script: status $rc after $ms ms"
    done
    rm -f long.txt long.fifo
fi

finish "one command line for the renderer and the trace programs"
