# Sourced by tests/command_line.sh: runs that play a key script, from the
# command line, a file or standard input, and what they write.

# --- good runs ---------------------------------------------------------------
begin good-runs
succeeds --keys "x x" --trace -
out=$(cat "$work/out")
[ "$(grep -c '^wait$' <<<"$out")" -eq 3 ] || fail "$case: x x: three waits"
[ "$(tail -n 1 <<<"$out")" = wait ] || fail "$case: x x: ends with wait"
[ "$(grep -c '^cls$' <<<"$out")" -eq 2 ] || fail "$case: x x: two clears"
[ "$(head -n 1 <<<"$out")" = "line 165.6002 0 164.7851 0 3 0x0000FF00" ] || fail "$case: x x: first line $(head -n 1 <<<"$out")"
grep -q '^line -75 55.85 ' <<<"$out" || fail "$case: x x: the travel curve's second segment starts at (-75, 55.85)"
succeeds --keys "é 中 😀" --trace got.txt
[ "$(grep -c '^wait$' got.txt)" -eq 4 ] || fail "$case: keys in UTF-8: each character is one key"
succeeds --keys esc --sweep --trace -
if on render; then
    png_size() { # width and height from the PNG header
        od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'
    }
    succeeds --keys "x esc" --trace t.txt --png a.png --frames frames
    [ "$(tail -n 2 t.txt | tr '\n' ' ')" = "cls end " ] || fail "$case: x esc: ends with cls end"
    only frames frame-0001.png frame-0002.png
    [ "$(png_size a.png)" = 962x688 ] || fail "$case: default picture size $(png_size a.png)"
    succeeds --size 500x300 --scale 2 --png b.png
    [ "$(png_size b.png)" = 1000x600 ] || fail "$case: size and scale: $(png_size b.png)"
    "${c[@]}" --keys x --png - | head -c 8 | od -An -c | grep -q 'P   N   G' || fail "$case: --png - is no PNG"
fi

# --- one script, one trace: every way of giving it, every program -------------
# The renderer's trace, picture and points are the reference.
begin one-trace
"$render" --keys "backspace x x x tab x x" --trace want.txt --svg want.svg --csv want.csv || fail "$case: the renderer failed"
# A repeat is the steps written out, tabs and line ends separate steps as
# spaces do, and an editor's byte-order mark is skipped.
printf '\xef\xbb\xbfbackspace\tx*3\n tab x*2\n' >bom.txt
for how in "--keys:backspace x*3 tab x*2" "--keys-file:bom.txt" "--keys-file:-"; do
    rm -f got.txt got.svg got.csv
    expect 0 "" "${c[@]}" "${how%%:*}" "${how#*:}" --trace got.txt --svg got.svg --csv got.csv <bom.txt
    cmp -s want.txt got.txt && cmp -s want.svg got.svg && cmp -s want.csv got.csv ||
        fail "$case: $how: another trace or picture than the renderer's"
done
head -n 1 got.csv | grep -qx 'curve,path,x,y' || fail "$case: CSV header $(head -n 1 got.csv)"
"${c[@]}" --keys "backspace x*3 tab x*2" --trace - 2>/dev/null | cmp -s want.txt - || fail "$case: --trace - gets other bytes"
# A script longer than one command-line argument may be, with a timed step.
"$render" --keys "x tab@2.300 x" --trace want-timed.txt || fail "$case: the renderer failed"
{ head -c 300000 /dev/zero | tr '\0' ' '; echo 'x tab@2.300 x'; } >long.txt
succeeds --keys-file long.txt --trace got.txt
cmp -s want-timed.txt got.txt || fail "$case: a 300 KB script plays differently"

# --- long scripts: bounded memory ----------------------------------------------
# A 16 MiB script of 8 Mi steps is read and checked in memory that grows by
# 16 bytes a step at most. (Node's own memory is no measure of the program's.)
if on render trace && [ -x /usr/bin/time ]; then
    begin long-script
    head -c $((16 << 20)) /dev/zero | tr '\0' 'x' | sed 's/x/x /g' | head -c $((16 << 20)) >long.txt
    steps=$((8 << 20))
    # Refused for having nothing to write, once the whole script is read.
    /usr/bin/time -f %M -o mem.txt "${c[@]}" --keys-file long.txt 2>/dev/null
    kb=$(tail -n 1 mem.txt)
    limit=$(((100000000 + 16 * steps) / 1024))
    # A sanitizer's shadow memory is no part of the program's.
    grep -qa __asan_init "${c[0]}" ||
        [ "$kb" -le $limit ] || fail "$case: a 16 MiB script takes $kb KB, more than $limit KB"
    rm -f long.txt
fi
