#!/usr/bin/env bash
# The renderer's outputs under attack: each case is a command as a hostile or
# careless user would give it, the status and message it must end with, and the
# state of the files after it. Cases that need root (another user's files, a
# tmpfs) are skipped without it.
render=$(realpath "$1")
. "$(dirname "$0")/checks.sh"

root=false
[ "$(id -u)" = 0 ] && root=true
chmod 755 "$work" # other users reach the cases' folders
export TMPDIR=$work/tmp
mkdir -m 1777 "$TMPDIR"
skipped=()

# Runs the renderer as nobody when root, else as the user; from a copy where
# nobody cannot reach the build (a checkout in /root).
other_render=$render
if $root && ! runuser -u nobody -- test -x "$render"; then
    other_render=$work/zebo-morlix-render
    cp "$render" "$other_render"
fi
as_other() {
    shift # the renderer
    if $root; then runuser -u nobody -- "$other_render" "$@"; else "$render" "$@"; fi
}

# A fresh folder for one case, made the working folder.
begin() { # case name
    name=$1
    d=$work/case-$name
    mkdir -p "$d"
    chmod 777 "$d"
    cd "$d" || exit 1
}

# Runs a command; checks its status and that standard error is one line naming
# the word (or is empty for status 0).
expect() { # status word command...
    local want=$1 word=$2
    shift 2
    "$@" >"$d/.stdout" 2>"$d/.err"
    rc=$?
    [ "$rc" -eq "$want" ] || fail "$name: status $rc, not $want: $(head -c 300 "$d/.err")"
    if [ -n "$word" ]; then
        [ "$(wc -l <"$d/.err")" -eq 1 ] || fail "$name: standard error is not one line: $(head -c 300 "$d/.err")"
        grep -qF -- "$word" "$d/.err" || fail "$name: the message does not say '$word': $(head -c 300 "$d/.err")"
    elif [ "$want" -eq 0 ]; then
        [ ! -s "$d/.err" ] || fail "$name: standard error: $(head -c 300 "$d/.err")"
    fi
    rm -f "$d/.err" "$d/.stdout"
}

# Waits until a file exists (at most 20 s).
await() {
    for _ in $(seq 200); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    fail "$name: $1 never appeared"
}

# Sends a signal and waits for the process's status in rc; a process still
# there after 5 s is a failure (and is killed).
signal_and_wait() { # signal pid
    { # the shell's own note of a job ended by a signal is no failure
        kill -"$1" "$2"
        for _ in $(seq 50); do
            kill -0 "$2" || break
            sleep 0.1
        done
        if kill -0 "$2"; then
            fail "$name: SIG$1 did not end the run within 5 s"
            kill -KILL "$2"
        fi
        wait "$2"
        rc=$?
    } 2>/dev/null
}

same() { # file text
    printf '%s\n' "$2" | cmp -s - "$1" || fail "$name: $1 holds '$(head -c 40 "$1" 2>/dev/null | tr -d '\0')', not '$2'"
}
only() { # folder names...: the folder holds these names and nothing else
    local dir=$1
    shift
    local want got
    want=$(printf '%s\n' "$@" | sort)
    got=$(ls -A "$dir" | sort)
    [ "$got" = "$want" ] || fail "$name: $dir holds $(tr "\n" " " <<<"$got"), not $(tr "\n" " " <<<"$want")"
}
no_debris() { # folders...: no temporary file or backup left anywhere in them
    local left
    left=$(find "$@" -name '.zebo-morlix-*' 2>/dev/null)
    [ -z "$left" ] || fail "$name: left behind: $left"
}
tmp_empty() {
    [ -z "$(ls -A "$TMPDIR")" ] || fail "$name: left in \$TMPDIR: $(ls -A "$TMPDIR")"
}

"$render" --keys x --png "$work/ref.png" || fail "reference picture"
"$render" --keys x --trace "$work/ref.txt" || fail "reference trace"
png_bytes=$(wc -c <"$work/ref.png")
for _ in $(seq 5000); do printf 'comma x '; done >"$work/long.txt" # runs for many seconds

# --- a commit that fails leaves every earlier file as it was ----------------------
begin sticky
if $root; then
    # nobody may not replace root's file in a sticky folder, even one it may write.
    mkdir out1 sticky
    chmod 1777 sticky
    chown nobody out1
    echo old-a >out1/a.txt
    chown nobody out1/a.txt
    echo root-b >sticky/b.svg
    chmod 666 sticky/b.svg
    expect 2 "Operation not permitted" as_other "$render" --keys x --trace out1/a.txt --png out1/p.png --svg sticky/b.svg
    same out1/a.txt old-a
    only out1 a.txt
    only sticky b.svg
    same sticky/b.svg root-b
else
    skipped+=(sticky)
fi

begin late-failure
# The last output fails at the commit: replaced files, an overwritten hard-linked
# file and removed stale frames all come back.
mkdir frames
echo old-frame >frames/frame-0100.png
echo old-t >t.txt
echo old-h >h1.svg
ln h1.svg h2.svg
expect 2 "No space left on device" "$render" --keys "x x" --trace t.txt --svg h1.svg --frames frames --png new.png \
    --pdf /dev/full
same t.txt old-t
same h2.svg old-h
[ h1.svg -ef h2.svg ] || fail "$name: the hard links were split"
only frames frame-0100.png
only . t.txt h1.svg h2.svg frames
no_debris .

# --- descriptors are written into, never replaced ---------------------------------
begin descriptors
echo old >app.log
"$render" --keys x --png /dev/stdout >>app.log || fail "$name: >> onto /dev/stdout: status"
[ "$(head -n 1 app.log)" = old ] && [ "$(wc -c <app.log)" -eq $((png_bytes + 4)) ] ||
    fail "$name: >> onto /dev/stdout: app.log lost its earlier contents or the picture"
n=$("$render" --keys x --png /dev/stdout | wc -c)
[ "$n" -eq "$png_bytes" ] || fail "$name: /dev/stdout into a pipe gave $n bytes"
"$render" --keys x --png >(wc -c >count)
wait $!
same count "$png_bytes"
"$render" --keys x --trace /dev/fd/3 3>fd3.txt || fail "$name: /dev/fd/3: status"
cmp -s fd3.txt "$work/ref.txt" || fail "$name: /dev/fd/3 got something else"
"$render" --keys x --trace /proc/self/fd/1 >self.txt || fail "$name: /proc/self/fd/1: status"
cmp -s self.txt "$work/ref.txt" || fail "$name: /proc/self/fd/1 got something else"
expect 2 "same file" "$render" --keys x --trace - --png /dev/stdout
expect 2 "same file" bash -c '"$1" --keys x --trace - --png out.txt >out.txt' - "$render"
expect 2 "Bad file descriptor" "$render" --keys x --png /dev/fd/9
only . app.log count fd3.txt self.txt out.txt

# --- permissions as a shell redirection respects them -----------------------------
begin permissions
echo old >ro.png
chmod 444 ro.png
expect 2 "Permission denied" as_other "$render" --keys x --png ro.png
same ro.png old
echo old >h1.txt
ln h1.txt h2.txt
expect 0 "" "$render" --keys x --trace h1.txt
[ h1.txt -ef h2.txt ] && cmp -s h2.txt "$work/ref.txt" || fail "$name: the hard-linked file was split or not written"
if $root; then
    # Root follows a link in a sticky world-writable folder only when it is root's
    # or the folder's owner's.
    mkdir -m 1777 sticky
    echo victim >victim
    runuser -u nobody -- ln -s "$d/victim" sticky/evil.png
    expect 2 "Permission denied" "$render" --keys x --png sticky/evil.png
    same victim victim
    ln -s "$d/mine.png" sticky/mine.png
    expect 0 "" "$render" --keys x --png sticky/mine.png
    cmp -s mine.png "$work/ref.png" || fail "$name: root's own link was not followed"
else
    skipped+=(symlink-as-root)
fi
no_debris .

# --- signals ----------------------------------------------------------------------
begin sighup
echo old >t.txt
"$render" --keys-file "$work/long.txt" --trace t.txt --frames made/frames --png p.png 2>err &
pid=$!
ready $pid
sleep 1
signal_and_wait HUP $pid
[ $rc -eq 129 ] || fail "$name: status $rc, not 129"
grep -q "interrupted by SIGHUP; nothing was written" err || fail "$name: $(cat err)"
rm err
only . t.txt
same t.txt old
tmp_empty

begin stalled-reader
# Standard output is a pipe nobody reads: the commit blocks in a write, and
# SIGINT still ends it, putting back the file already in place.
mkfifo pipe
exec 5<>pipe
echo old >p.png
"$render" --keys x --trace - --png p.png >pipe 2>err &
pid=$!
for _ in $(seq 200); do cmp -s p.png "$work/ref.png" && break; sleep 0.1; done
sleep 0.3
signal_and_wait INT $pid
exec 5>&-
[ $rc -eq 130 ] || fail "$name: status $rc, not 130"
grep -Eq "interrupted by SIGINT; standard output got [0-9,]+ bytes before the interrupt" err ||
    fail "$name: $(cat err)"
same p.png old
rm err pipe
only . p.png
no_debris .
tmp_empty

begin fifo-script
mkfifo keys
"$render" --keys-file keys --png p.png 2>err &
pid=$!
ready $pid
sleep 0.3
signal_and_wait INT $pid
[ $rc -eq 130 ] && grep -q "interrupted by SIGINT" err || fail "$name: no writer: status $rc: $(cat err)"
mkfifo stdin
exec 6<>stdin
"$render" --keys-file - --png p.png <stdin 2>err &
pid=$!
ready $pid
sleep 0.3
signal_and_wait INT $pid
exec 6>&-
[ $rc -eq 130 ] && grep -q "interrupted by SIGINT" err || fail "$name: stalled standard input: status $rc: $(cat err)"
rm err
only . keys stdin

begin sigkill
# Even SIGKILL leaves nothing: the temporary files have no names and the
# folders are made at the commit.
echo old >t.txt
"$render" --keys-file "$work/long.txt" --trace t.txt --frames frames --png p.png &
pid=$!
sleep 1
signal_and_wait KILL $pid
only . t.txt
same t.txt old
tmp_empty

# --- names and the temporary folder -----------------------------------------------
begin names
long=$(printf 'n%.0s' $(seq 251)).png
expect 0 "" "$render" --keys x --png "$long"
expect 0 "" "$render" --keys x --png "$long" # over the file it made
cmp -s "$long" "$work/ref.png" || fail "$name: the 255-byte name"
expect 2 "\\033" "$render" --keys x --png $'no/\e[31mRED/x.png'
"$render" --keys x --png $'no/\e[31mRED/x.png' 2>err
LC_ALL=C grep -q $'\e' err && fail "$name: an escape byte reached the terminal"
rm err
# Standard output waits in $TMPDIR: a failure there names $TMPDIR, not the output.
expect 2 '$TMPDIR' env TMPDIR="$d/none" "$render" --keys x --trace -
only . "$long"
tmp_empty

begin disk-full
if $root && mkdir full && mount -t tmpfs -o size=1m tmpfs full 2>/dev/null; then
    on_exit+=("umount '$d/full'")
    echo old >full/t.txt
    mkdir full/frames
    echo old >full/frames/frame-0001.png
    # The trace of "x x" is 1.6 MB.
    expect 2 "No space left on device" "$render" --keys "x x" --trace full/t.txt --frames full/frames
    same full/t.txt old
    same full/frames/frame-0001.png old
    only full t.txt frames
    no_debris full
    expect 2 '$TMPDIR' env TMPDIR="$d/full" "$render" --keys "x x" --trace -
    only full t.txt frames
else
    skipped+=(disk-full)
fi

# --- frames as a set --------------------------------------------------------------
begin frames
mkdir frames frames/frame-0200.png
for f in frame-0100.png frame-12345.png frame-01.png frame-1.png notes.txt; do echo old >frames/$f; done
ln -s ../elsewhere.png frames/frame-0300.png
echo elsewhere >elsewhere.png
expect 0 "" "$render" --keys "x x" --frames frames
only frames frame-0001.png frame-0002.png frame-0003.png frame-0200.png frame-01.png frame-1.png notes.txt
same frames/notes.txt old
same elsewhere.png elsewhere
no_debris .

[ ${#skipped[@]} -eq 0 ] || echo "skipped (needs root): ${skipped[*]}"
cd "$work" || exit 1
finish "outputs under attack"
