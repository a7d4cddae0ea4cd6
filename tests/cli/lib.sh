# Sourced by tests/command_line.sh: the helpers every case uses. The program
# under test is $edition (render, trace or node); its command is c, run as
# "${c[@]}" ARGS, so that in the background $! is the program itself, the one
# a signal must reach. Its messages start with "$program_name: ".
. "$(dirname "${BASH_SOURCE[0]}")/../checks.sh"

case $edition in
render) c=("$render") program_name=zebo-morlix-render ;;
trace) c=("$trace") program_name=zebo-morlix-trace ;;
node) c=(node "$trace_js") program_name=zebo-morlix-trace ;;
*)
    echo "command_line: unknown edition '$edition'" >&2
    exit 2
    ;;
esac

# Whether the program under test is one of those named.
on() { [[ " $* " == *" $edition "* ]]; }

root=false
[ "$(id -u)" = 0 ] && root=true
skipped=() # cases that need root, when not root
chmod 755 "$work" # "nobody" reaches the cases' folders
# Every temporary file of a run goes to a folder that must be empty after it.
export TMPDIR=$work/tmp
mkdir -m 1777 "$TMPDIR"

# Starts a group of cases in a fresh folder of its own, made the working folder.
begin() { # name
    case=$1
    d=$work/case-$case
    mkdir -p "$d"
    chmod 777 "$d"
    cd "$d" || exit 1
}

said() { printf '%.200s' "$*"; } # a command line, briefly

# Runs a command, standard output into $work/out and standard error into
# $work/err; leaves rc, lines (of standard error) and err (its first line
# without the program's name).
run_cmd() { # command...
    "$@" >"$work/out" 2>"$work/err"
    rc=$?
    lines=$(wc -l <"$work/err")
    err=$(head -n 1 "$work/err")
    err=${err#"$program_name: "}
}
run() { run_cmd "${c[@]}" "$@"; } # args...

# The command ends with the status; standard error is empty for status 0 with
# no words, else one line holding the words.
expect() { # status words command...
    local want=$1 words=$2
    shift 2
    run_cmd "$@"
    [ "$rc" -eq "$want" ] || fail "$case: $(said "$@"): status $rc, not $want: $(head -c 300 "$work/err")"
    if [ -n "$words" ] || [ "$want" -ne 0 ]; then
        [ "$lines" -eq 1 ] && grep -qF -- "$words" "$work/err" ||
            fail "$case: $(said "$@"): not one line saying '$words': $(head -c 300 "$work/err")"
    else
        [ ! -s "$work/err" ] || fail "$case: $(said "$@"): standard error: $(head -c 300 "$work/err")"
    fi
}
succeeds() { expect 0 "" "${c[@]}" "$@"; } # args...

# A script of 10,000 keys that never reaches the end of the sweep: a run that
# goes on for many seconds, and past 9,999 frames.
cycle=$work/cycle.txt
for _ in $(seq 5000); do printf 'comma x '; done >"$cycle"

# Everything in a folder: names, kinds, link targets and contents.
tree_sum() { # folder
    (cd "$1" && { find . -printf '%y %p %l\n' | LC_ALL=C sort && find . -type f -exec md5sum {} + | LC_ALL=C sort; } | md5sum)
}
# A refused run: status 2, one line holding the words, nothing on standard
# output and nothing changed in the working folder.
refused() { # words args...
    local words=$1 before
    shift
    before=$(tree_sum .)
    expect 2 "$words" "${c[@]}" "$@"
    [ ! -s "$work/out" ] || fail "$case: $(said "$@"): wrote to standard output"
    [ "$(tree_sum .)" = "$before" ] || fail "$case: $(said "$@"): the folder changed: $(ls -A | tr '\n' ' ')"
}

# The state of files after a run.
same() { # file text: the file holds the line
    printf '%s\n' "$2" | cmp -s - "$1" || fail "$case: $1 holds '$(head -c 40 "$1" 2>/dev/null | tr -d '\0')', not '$2'"
}
only() { # folder names...: the folder holds these names and nothing else
    local dir=$1 want got
    shift
    want=$(printf '%s\n' "$@" | sort)
    got=$(ls -A "$dir" | sort)
    [ "$got" = "$want" ] || fail "$case: $dir holds $(tr '\n' ' ' <<<"$got"), not $(tr '\n' ' ' <<<"$want")"
}
no_debris() { # folders...: no temporary file or backup left in them
    local left
    left=$(find "$@" -name '.zebo-morlix-*' 2>/dev/null)
    [ -z "$left" ] || fail "$case: left behind: $left"
}
tmp_empty() {
    [ -z "$(ls -A "$TMPDIR")" ] || fail "$case: left in \$TMPDIR: $(ls -A "$TMPDIR")"
}

# Signals. start runs the program in the background (standard error into
# $work/err, the redirections of the call apply) and leaves pid; stop waits
# until the program has its handlers, lets it run on for the seconds given,
# sends the signal and waits for the end, status in rc. Ending may take as
# long as a loaded machine needs; a run still there after 20 s hangs, which is
# a failure (and it is killed).
start() { # args...
    "${c[@]}" "$@" 2>"$work/err" &
    pid=$!
}
stop() { # signal [seconds]
    local sig=$1 i
    ready "$pid"
    sleep "${2:-0}"
    { # the shell's own note of a job ended by a signal is no failure
        kill -"$sig" "$pid"
        for i in $(seq 200); do
            kill -0 "$pid" || break
            sleep 0.1
        done
        if kill -0 "$pid"; then
            fail "$case: SIG$sig did not end the run within 20 s"
            kill -KILL "$pid"
        fi
        wait "$pid"
        rc=$?
    } 2>/dev/null
}

# As another user: "nobody" when root (from a copy where it cannot reach the
# build, a checkout in /root), else the user. The renderer and the native
# trace program only.
other=${c[0]}
if $root && [ "$edition" != node ] && ! runuser -u nobody -- test -x "$other"; then
    other=$work/$program_name
    cp "${c[0]}" "$other"
fi
as_other() { # args...
    if $root; then runuser -u nobody -- "$other" "$@"; else "${c[@]}" "$@"; fi
}
