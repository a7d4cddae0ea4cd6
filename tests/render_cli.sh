#!/usr/bin/env bash
# The headless renderer from the command line: good runs give the trace and
# pictures; bad input gives one line on standard error, status 2 and no file.
render=$1
. "$(dirname "$0")/checks.sh"

png_size() { # width and height from the PNG header
    od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'
}

# --- good runs -------------------------------------------------------------
out=$("$render" --keys "x x" --trace - 2>"$work/err")
[ $? -eq 0 ] || fail "x x: status"
[ ! -s "$work/err" ] || fail "x x: stderr not empty: $(cat "$work/err")"
[ "$(grep -c '^wait$' <<<"$out")" -eq 3 ] || fail "x x: three waits"
[ "$(tail -n 1 <<<"$out")" = wait ] || fail "x x: ends with wait"
[ "$(grep -c '^cls$' <<<"$out")" -eq 2 ] || fail "x x: two clears"
[ "$(head -n 1 <<<"$out")" = "line 165.6002 0 164.7851 0 3 0x0000FF00" ] || fail "x x: first line $(head -n 1 <<<"$out")"
grep -q '^line -75 55.85 ' <<<"$out" || fail "x x: travel curve's second segment starts at (-75, 55.85)"

"$render" --keys "x esc" --trace "$work/t.txt" --png "$work/a.png" --frames "$work/frames" || fail "x esc: status"
[ "$(tail -n 2 "$work/t.txt" | tr '\n' ' ')" = "cls end " ] || fail "x esc: ends with cls end"
[ -f "$work/frames/frame-0001.png" ] && [ -f "$work/frames/frame-0002.png" ] || fail "x esc: two frames"
[ ! -e "$work/frames/frame-0003.png" ] || fail "x esc: a third frame"
[ "$(png_size "$work/a.png")" = 962x688 ] || fail "default picture size $(png_size "$work/a.png")"

"$render" --size 500x300 --scale 2 --png "$work/b.png" || fail "size and scale: status"
[ "$(png_size "$work/b.png")" = 1000x600 ] || fail "size and scale: $(png_size "$work/b.png")"

"$render" --help | grep -q 'KEY@F.N' || fail "--help shows the script syntax"

# A script of 10000 keys that never reaches the end of the sweep.
for _ in $(seq 5000); do printf 'comma x '; done >"$work/cycle.txt"

# --- bad input -------------------------------------------------------------
bad() { # expected-word args...
    local word=$1
    shift
    rm -rf "$work/out"
    mkdir -p "$work/out"
    "$render" "$@" >"$work/stdout" 2>"$work/err"
    local rc=$?
    [ $rc -eq 2 ] || fail "$*: status $rc, not 2"
    [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$*: stderr has $(wc -l <"$work/err") lines: $(cat "$work/err")"
    grep -q -- "$word" "$work/err" || fail "$*: message does not name '$word': $(cat "$work/err")"
    [ -z "$(ls -A "$work/out")" ] || fail "$*: left files: $(ls -A "$work/out")"
    [ ! -s "$work/stdout" ] || fail "$*: wrote to standard output"
}
o=$work/out
bad bogus --bogus
bad keys --keys
bad 'size' --size 0x0 --png "$o/p.png"
bad 'size' --size -5x10
bad 'size' --size 100000x100000
bad 'size' --size 10
bad 'scale' --scale 0
bad 'scale' --scale nan
bad 'scale' --scale 100
bad 'frob' --keys "x frob" --png "$o/p.png"
bad '#70000' --keys "#70000"
bad 'x@0.1' --keys "x@0.1"
bad 'x@1.0' --keys "x@1.0"
bad 'x@1.602' --keys "x@1.602"
bad 'y@1.100' --keys "x@1.300 y@1.100" --png "$o/p.png" --trace "$o/t.txt" --frames "$o/f"
bad 'never be reached' --keys "x@2.5" --png "$o/p.png" --trace "$o/t.txt" --frames "$o/f"
bad 'left over' --keys "x esc x" --trace - --frames "$o/f"
bad 'p.png' --png "$o/no/such/dir/p.png"
bad 't.txt' --trace "$o/no/such/dir/t.txt"
touch "$work/file"
bad 'frames' --frames "$work/file/sub"
bad 'unexpected' extra

bad 'is a folder' --png "$o"
bad 'same file' --trace - --png -
bad 'same file' --png "$o/p.png" --svg "$o/./p.png"
bad 'not both' --keys x --keys-file -
bad "$o/none.txt" --keys-file "$o/none.txt"

# --- keys from a file or standard input, in any script --------------------------
"$render" --keys "x tab@2.300 x" --trace "$work/want.txt" || fail "keys: status"
printf 'x\ttab@2.300\n x\n' | "$render" --keys-file - --trace "$work/got.txt" || fail "keys from standard input: status"
cmp -s "$work/want.txt" "$work/got.txt" || fail "keys from standard input play differently"
# Longer than one command-line argument may be.
{ head -c 300000 /dev/zero | tr '\0' ' '; echo 'x tab@2.300 x'; } >"$work/long.txt"
"$render" --keys-file "$work/long.txt" --trace "$work/got.txt" || fail "a 300 KB script: status"
cmp -s "$work/want.txt" "$work/got.txt" || fail "a 300 KB script plays differently"
"$render" --keys "é 中 😀" --trace "$work/got.txt" || fail "keys in UTF-8: status"
[ "$(grep -c '^wait$' "$work/got.txt")" -eq 4 ] || fail "keys in UTF-8: each character is one key"
"$render" --keys esc --sweep --trace - >/dev/null 2>"$work/err" || fail "esc with --sweep: $(cat "$work/err")"

# --- outputs: all or nothing, never someone else's file ----------------------------
keep=$work/keep
check_kept() { # what: the files made before the run are as they were, nothing else is there
    [ "$(cd "$keep" && find . | sort | xargs md5sum 2>/dev/null | md5sum)" = "$kept" ] ||
        fail "$1: the folder changed: $(cd "$keep" && find . | sort | tr '\n' ' ')"
}
fresh_keep() {
    rm -rf "$keep"
    mkdir -p "$keep/frames"
    echo old >"$keep/frames/frame-0001.png"
    echo old >"$keep/frames/frame-0002.png"
    echo old >"$keep/t.txt"
    echo old >"$keep/p.png"
    kept=$(cd "$keep" && find . | sort | xargs md5sum 2>/dev/null | md5sum)
}
# A run that fails late (after frames were drawn) leaves everything as it was
# and removes the folders it made.
for failing in "--keys x,x@1.5" "--keys x --trace /dev/full" "--keys x --png /dev/full"; do
    fresh_keep
    # shellcheck disable=SC2086
    "$render" ${failing/,/ } --frames "$keep/frames" --png "$keep/p.png" --svg "$keep/new.svg" \
        --trace "$keep/t.txt" 2>"$work/err" >/dev/null
    rc=$?
    [ $rc -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$failing: status $rc: $(cat "$work/err")"
    check_kept "$failing"
    "$render" ${failing/,/ } --frames "$keep/made/a/b" 2>/dev/null
    check_kept "$failing with new folders"
done
# The same, with a frames folder and a trace going to a full device.
fresh_keep
"$render" --keys x --trace /dev/full --png "$keep/p.png" 2>"$work/err"
grep -q "No space left on device" "$work/err" || fail "a full device: the reason is not named: $(cat "$work/err")"
# A full or closed standard output is a failure, not a success.
for what in png trace svg pdf; do
    "$render" --keys x --$what - >/dev/full 2>"$work/err"
    [ $? -eq 2 ] && grep -q "standard output: No space left on device" "$work/err" || fail "--$what - >/dev/full: $(cat "$work/err")"
done
"$render" --keys x --trace - >&- 2>"$work/err"
[ $? -eq 2 ] && grep -q "standard output" "$work/err" || fail "closed standard output: $(cat "$work/err")"
# A pipe is written into and stays a pipe; so does a device.
mkfifo "$work/pipe"
cat "$work/pipe" >"$work/from-pipe" &
reader=$!
"$render" --keys "x tab@2.300 x" --trace "$work/pipe" || fail "pipe: status"
wait $reader
[ -p "$work/pipe" ] || fail "the pipe was replaced"
cmp -s "$work/want.txt" "$work/from-pipe" || fail "the pipe's reader got something else"
"$render" --keys x --trace /dev/null && "$render" --keys x --png /dev/null && [ -c /dev/null ] || fail "/dev/null"
# A symbolic link stays; the file it points to gets the output.
echo old >"$work/target.txt"
ln -s target.txt "$work/link.txt"
"$render" --keys "x tab@2.300 x" --trace "$work/link.txt" || fail "link: status"
[ -L "$work/link.txt" ] && cmp -s "$work/want.txt" "$work/target.txt" || fail "the link was replaced or its file not written"
# --png - writes the picture to standard output.
"$render" --keys x --png - | head -c 8 | od -An -c | grep -q 'P   N   G' || fail "--png - is no PNG"
# Interrupted runs clean up like failed ones and end with the signal's status.
for sig in INT TERM; do
    fresh_keep
    "$render" --keys-file "$work/cycle.txt" --frames "$keep/frames" --trace "$keep/t.txt" --png "$keep/p.png" \
        2>"$work/err" &
    pid=$!
    ready $pid
    sleep 1
    kill -$sig $pid
    wait $pid 2>/dev/null # without the shell's note of how the job ended
    rc=$?
    want=$([ $sig = INT ] && echo 130 || echo 143)
    [ $rc -eq "$want" ] || fail "SIG$sig: status $rc, not $want"
    grep -q interrupted "$work/err" && [ "$(wc -l <"$work/err")" -eq 1 ] || fail "SIG$sig: $(cat "$work/err")"
    check_kept "SIG$sig"
done 3>/dev/null
# Frame names sort in frame order past 9999 frames.
"$render" --keys-file "$work/cycle.txt" --size 1x1 --frames "$work/many" || fail "10001 frames: status"
[ "$(ls "$work/many" | wc -l)" -eq 10001 ] && [ "$(ls "$work/many" | head -n 1)" = frame-00001.png ] &&
    [ "$(ls "$work/many" | tail -n 1)" = frame-10001.png ] || fail "10001 frames: $(ls "$work/many" | sed -n '1p;$p')"

finish "renderer command line"
