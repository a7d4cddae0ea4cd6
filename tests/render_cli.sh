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

finish "renderer command line"
