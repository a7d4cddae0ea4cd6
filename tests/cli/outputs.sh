# Sourced by tests/command_line.sh: what a run does to the files it is given.
# A run is all or nothing; a device, a pipe or a link is written into, never
# replaced; another user's file and folder are respected as a redirection
# would respect them. $pic is the picture option of the program under test
# (--png for the renderer, --svg for the trace programs), $ext its extension.

"${c[@]}" --keys x "$pic" "$work/ref.$ext" --trace "$work/ref.txt" || fail "the reference picture and trace"
"$render" --keys "x tab" --events "$work/ref-events.csv" || fail "the reference events"
pic_bytes=$(wc -c <"$work/ref.$ext")

# --- all or nothing: a run that fails leaves every file as it was --------------
begin all-or-nothing
echo old >t.txt
echo old-h >h1.svg
ln h1.svg h2.svg
# The last output fails at the commit, after the others have been put in place:
# they all come back, the hard-linked file in place, stale frames included.
late=(--csv)
if on render; then
    mkdir frames
    echo old >frames/frame-0100.png
    late=(--frames frames --png new.png --pdf)
fi
refused "unknown step 'frob'" --keys "x frob" --trace t.txt --svg h1.svg
refused "step 'x@1.5' comes too late" --keys "x x@1.5" --trace t.txt --svg h1.svg
refused "cannot write --svg file 'nodir/a.svg': No such file or directory" --keys x --trace t.txt --svg nodir/a.svg
refused "cannot write --events file 'nodir/e.csv': No such file or directory" --keys x --trace t.txt --events nodir/e.csv
refused "No space left on device" --keys "x x" --trace t.txt --svg h1.svg --events /dev/full
refused "No space left on device" --keys "x x" --trace t.txt --svg h1.svg "${late[@]}" /dev/full
[ h1.svg -ef h2.svg ] || fail "$case: the hard links were split"
# The folders a failed run would have made are not left behind.
if on render; then
    refused "comes too late" --keys "x x@1.5" --frames made/a/b --png p.png
fi
no_debris .

# --- a full or closed standard output is a failure, not a run into nowhere ------
begin full-and-closed
outputs=(trace svg csv events)
on render && outputs+=(png pdf)
for what in "${outputs[@]}"; do
    expect 2 "cannot write --$what to standard output: No space left on device" \
        bash -c '"$@" >/dev/full' - "${c[@]}" --keys x --"$what" -
done
expect 2 "cannot write --trace file '/dev/full': No space left on device" "${c[@]}" --keys x --trace /dev/full
expect 2 "cannot write --trace to standard output: standard output is closed" \
    bash -c '"$@" >&-' - "${c[@]}" --keys x --trace -

# --- descriptors, pipes, devices and links are written into, never replaced -----
begin descriptors
echo old >app.log
"${c[@]}" --keys x "$pic" /dev/stdout >>app.log || fail "$case: >> onto /dev/stdout: status"
[ "$(head -n 1 app.log)" = old ] && [ "$(wc -c <app.log)" -eq $((pic_bytes + 4)) ] ||
    fail "$case: >> onto /dev/stdout: app.log lost its earlier contents or the picture"
n=$("${c[@]}" --keys x "$pic" /dev/stdout | wc -c)
[ "$n" -eq "$pic_bytes" ] || fail "$case: /dev/stdout into a pipe gave $n bytes"
# Under Node the program sees only the standard descriptors of the process:
# another one it is given by name is refused, like one that is not open.
if on render trace; then
    # In a shell of its own: a sourced file keeps its process substitutions
    # open until it ends, and the reader would wait for that.
    bash -c 'p=$1 && shift && "$@" --keys x "$p" >(wc -c >count) && wait $!' - "$pic" "${c[@]}" ||
        fail "$case: a process substitution: status"
    same count "$pic_bytes"
    "${c[@]}" --keys x --trace /dev/fd/3 3>fd3.txt || fail "$case: /dev/fd/3: status"
    cmp -s fd3.txt "$work/ref.txt" || fail "$case: /dev/fd/3 got something else"
else
    expect 2 "cannot write --trace file '/dev/fd/3': Bad file descriptor" "${c[@]}" --keys x --trace /dev/fd/3 3>fd3.txt
fi
"${c[@]}" --keys x --trace /proc/self/fd/1 >self.txt || fail "$case: /proc/self/fd/1: status"
cmp -s self.txt "$work/ref.txt" || fail "$case: /proc/self/fd/1 got something else"
succeeds --keys x --svg /dev/fd/1 >/dev/null
expect 2 "same file" "${c[@]}" --keys x --trace - "$pic" /dev/stdout
expect 2 "same file" bash -c '"$@" --keys x --trace - --svg out.txt >out.txt' - "${c[@]}"
expect 2 "Bad file descriptor" "${c[@]}" --keys x "$pic" /dev/fd/9
# A FIFO stays a FIFO, /dev/null a device, a link a link to the file it names.
mkfifo pipe
cat pipe >from-pipe &
reader=$!
succeeds --keys x --trace pipe
wait $reader
[ -p pipe ] && cmp -s "$work/ref.txt" from-pipe || fail "$case: the FIFO was replaced or its reader got something else"
succeeds --keys x --trace /dev/null
succeeds --keys x "$pic" /dev/null
[ -c /dev/null ] || fail "$case: /dev/null is no longer a device"
echo old >target.txt
ln -s target.txt link.txt
succeeds --keys x --trace link.txt
[ -L link.txt ] && cmp -s "$work/ref.txt" target.txt || fail "$case: the link was replaced or its file not written"
only . app.log fd3.txt self.txt out.txt pipe from-pipe target.txt link.txt $(on node || echo count)

# --- the valve events: an output like the others ---------------------------------
# A run with --events alone writes; every program writes the renderer's bytes,
# to a file or to standard output; the same file twice is refused.
begin events
succeeds --keys "x tab" --events e.csv
cmp -s e.csv "$work/ref-events.csv" || fail "$case: --events gave other bytes than the renderer's"
head -n 1 e.csv | grep -qx 'frame,k,curve,opens,closes,duration,peak_x,peak_lift' || fail "$case: header $(head -n 1 e.csv)"
[ "$(wc -l <e.csv)" -eq 7 ] || fail "$case: $(wc -l <e.csv) lines for three frames"
run_cmd "${c[@]}" --keys "x tab" --events -
[ $rc -eq 0 ] && cmp -s "$work/out" "$work/ref-events.csv" || fail "$case: --events - : status $rc"
refused "--trace and --events are given the same file 'e.csv': give each its own" --trace e.csv --events e.csv
refused "--events needs a file name, or - for standard output" --events=
only . e.csv

# --- permissions as a shell redirection respects them -----------------------------
# Another user's runs need a program that user may run: not the one for Node.
begin permissions
echo old >h1.txt
ln h1.txt h2.txt
succeeds --keys x --trace h1.txt
[ h1.txt -ef h2.txt ] && cmp -s h2.txt "$work/ref.txt" || fail "$case: the hard-linked file was split or not written"
# A new file gets the mode the umask gives.
(umask 027 && exec "${c[@]}" --keys x --trace new.txt) || fail "$case: under umask 027: status"
[ "$(stat -c %a new.txt)" = 640 ] || fail "$case: a new file under umask 027 has mode $(stat -c %a new.txt)"
if on render trace; then
    echo old >"ro.$ext"
    chmod 444 "ro.$ext"
    expect 2 "Permission denied" as_other --keys x "$pic" "ro.$ext"
    same "ro.$ext" old
fi
if $root && on render trace; then
    # Root follows a link in a sticky world-writable folder only when it is
    # root's or the folder's owner's.
    mkdir -m 1777 sticky
    echo victim >victim
    runuser -u nobody -- ln -s "$d/victim" "sticky/evil.$ext"
    expect 2 "Permission denied" "${c[@]}" --keys x "$pic" "sticky/evil.$ext"
    same victim victim
    ln -s "$d/mine.$ext" "sticky/mine.$ext"
    succeeds --keys x "$pic" "sticky/mine.$ext"
    cmp -s "mine.$ext" "$work/ref.$ext" || fail "$case: root's own link was not followed"
    # Nobody may not replace root's file in a sticky folder, even one it may
    # write; the outputs given before it in its own folder stay as they were.
    mkdir own
    chown nobody own
    echo old-a >own/a.txt
    chown nobody own/a.txt
    echo root-b >sticky/b.svg
    chmod 666 sticky/b.svg
    expect 2 "Operation not permitted" as_other --keys x --trace own/a.txt --csv own/p.csv --svg sticky/b.svg
    same own/a.txt old-a
    only own a.txt
    same sticky/b.svg root-b
elif ! $root; then
    skipped+=("sticky folders")
fi
no_debris .

# --- names, the temporary folder and the working folder ----------------------------
begin places
long=$(printf 'n%.0s' $(seq 251)).$ext
succeeds --keys x "$pic" "$long"
succeeds --keys x "$pic" "$long" # over the file it made
cmp -s "$long" "$work/ref.$ext" || fail "$case: the 255-byte name"
# Standard output waits in $TMPDIR: a failure there names $TMPDIR, not the output.
expect 2 "in \$TMPDIR '/nonexistent': No such file or directory" env TMPDIR=/nonexistent "${c[@]}" --keys x --trace -
mkdir gone
expect 2 "cannot write --trace file 'rel.txt': No such file or directory" \
    bash -c 'cd gone && rmdir ../gone && exec "$@"' - "${c[@]}" --keys x --trace rel.txt
only . "$long"
if $root && mkdir full && mount -t tmpfs -o size=1m tmpfs full 2>/dev/null; then
    on_exit+=("umount '$d/full'")
    echo old >full/t.txt
    more=()
    if on render; then
        mkdir full/frames
        echo old >full/frames/frame-0001.png
        more=(--frames full/frames)
    fi
    # The trace of "x x" is 1.6 MB.
    expect 2 "No space left on device" "${c[@]}" --keys "x x" --trace full/t.txt "${more[@]}"
    same full/t.txt old
    on render && same full/frames/frame-0001.png old
    no_debris full
    expect 2 '$TMPDIR' env TMPDIR="$d/full" "${c[@]}" --keys "x x" --trace -
    only full t.txt ${more[@]:+frames}
    umount full && on_exit=("${on_exit[@]:0:${#on_exit[@]}-1}")
else
    skipped+=("a full disk")
fi
tmp_empty

# --- frames as a set: the renderer's ----------------------------------------------
if on render; then
    begin frames
    mkdir frames frames/frame-0200.png
    for f in frame-0100.png frame-12345.png frame-01.png frame-1.png notes.txt; do echo old >frames/$f; done
    ln -s ../elsewhere.png frames/frame-0300.png
    echo elsewhere >elsewhere.png
    succeeds --keys "x x" --frames frames
    only frames frame-0001.png frame-0002.png frame-0003.png frame-0200.png frame-01.png frame-1.png notes.txt
    same frames/notes.txt old
    same elsewhere.png elsewhere
    no_debris .
    # Frame names sort in frame order past 9999 frames.
    succeeds --keys-file "$cycle" --size 1x1 --frames many
    [ "$(ls many | wc -l)" -eq 10001 ] && [ "$(ls many | head -n 1)" = frame-00001.png ] &&
        [ "$(ls many | tail -n 1)" = frame-10001.png ] || fail "$case: 10001 frames: $(ls many | sed -n '1p;$p')"
    rm -rf many
fi
