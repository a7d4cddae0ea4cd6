# Sourced by tests/command_line.sh: command lines that are refused, the help
# and the version, and what a message may hold.

# --- refused command lines: status 2, one line, the same words everywhere -----
begin refused
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
for size in 0x0 -5x10 100000x100000 10; do
    refused "--size '$size' is out of range: give WxH with W and H from 1 to 8192" --size "$size" --svg p.svg
done
refused "unknown option '-platform' (see" -platform xcb

# A mechanism that cannot be used: the option named, then what to change.
refused "--linkage wants four lengths GROUND,CRANK,COUPLER,ROCKER, not '1,2'" --linkage 1,2 --trace t.txt
refused "--linkage wants four lengths GROUND,CRANK,COUPLER,ROCKER, not '1,,3,4'" --linkage 1,,3,4 --trace t.txt
refused "--linkage wants four lengths" --linkage 31.5,7,25,31,1 --trace t.txt
refused "--linkage: the linkage's crank must be a positive finite length, not -7" --linkage 31.5,-7,25,31 --trace t.txt
refused "--linkage: the crank (40) must be shorter than the ground (31.5)" --linkage 31.5,40,25,31 --trace t.txt
refused "--linkage: the coupler (60) is too long" --linkage 31.5,7,60,31 --trace t.txt
refused "--slider-crank wants two lengths RADIUS,ROD, not '30'" --slider-crank 30 --trace t.txt
refused "--slider-crank: the slider-crank's radius must be a positive finite length, not 0" --slider-crank 0,100 --trace t.txt
refused "--slider-crank: the slider-crank's rod (20) must be longer than its radius (30)" --slider-crank 30,20 --trace t.txt
refused "--checking-lift wants a lift, one number, not 'abc'" --checking-lift abc --trace t.txt
refused "--checking-lift: the checking lift must be a positive finite lift, not 0" --checking-lift 0 --trace t.txt
refused "--profile needs a file name, or - for standard input" --profile= --trace t.txt
refused "option --linkage is given more than once" --linkage 31.5,7,25,31 --linkage 31.5,7,25,31 --trace t.txt
refused "--keys-file and --profile cannot both read standard input" --keys-file - --profile - --trace t.txt
refused "cannot read --profile 'none.csv': No such file or directory" --profile none.csv --trace t.txt
mkdir folder
refused "cannot read --profile 'folder': Is a directory" --profile folder --trace t.txt
rmdir folder
# A profile over 64 MiB is refused before it is read: a sparse file costs nothing.
truncate -s 67108865 big.csv
refused "the profile 'big.csv' is over 64 MiB" --profile big.csv --trace t.txt
rm big.csv
# A profile that does not read is named with its file; so is one the linkage
# cannot follow. The mechanism is checked before the script.
printf 'angle,lift\n10,0\n5,x\n0,0\n' >bad.csv
refused "--profile 'bad.csv': " --profile bad.csv --keys frob --trace t.txt
rm bad.csv
# A frame of a longer profile pumps 3 times per row and once more: a timed step
# may name each of its pumps, and none beyond.
awk 'BEGIN { for (i = 0; i < 300; i++) printf "%.2f,%.6f\n", 100 - 0.66 * i, 9 * sin(3.14159265 * i / 299) ^ 2 }' >long.csv
refused "step 'x@1.902': the event pump of a frame must be 1 to 901" --profile long.csv --keys x@1.902 --trace t.txt
succeeds --profile long.csv --keys "x@1.300 x@1.901" --trace t.txt
rm -f long.csv t.txt

# Steps that cannot be played: found before anything is written.
refused "unknown step 'frob'" --keys "x frob" --trace t.txt
refused "step '#70000': a key code must be a decimal number from 0 to 65535" --keys "#70000"
refused "step 'x@0.1': frames are counted from 1" --keys x@0.1
refused "step 'x@1.0': the event pump of a frame must be 1 to 601" --keys x@1.0
refused "step 'x@1.602': the event pump of a frame must be 1 to 601" --keys x@1.602
refused "step 'x@2.5' can never be reached: the program waits for a key after frame 1" --keys x@2.5 --trace t.txt
refused "step 'x@1.5*3': a step with a time cannot be repeated" --keys "x@1.5*3"
refused "step 'x*0': a repeat must be *N with N from 1 to 1000000" --keys "x*0"
refused "step 'x*1000001'" --keys "x*1000001"
# Found while playing: still nothing is written, standard output included.
refused "step 'y@1.100' comes too late: its event pump has passed (now frame 1, pump 300)" \
    --keys "x@1.300 y@1.100" --trace t.txt --svg p.svg
refused "steps left over after the program ended: 'x*5'" --keys "x esc x*5" --trace -

# Files that cannot be read or written, in the system's own words.
refused "cannot read --keys-file 'none.txt': No such file or directory" --keys-file none.txt
refused "cannot write --trace file 'no/such/dir/t.txt': No such file or directory" --trace no/such/dir/t.txt
# A name longer than the system allows and a loop of links. Node's runtime cut
# each part of a name to 255 characters and read the shorter file of that name:
# one is here to be found.
long=$(printf 'k%.0s' $(seq 300))
echo x >"${long:0:255}"
refused "cannot read --keys-file '$long': File name too long" --keys-file "$long"
refused "cannot write --trace file '$long': File name too long" --keys x --trace "$long"
ln -s loop loop
refused "cannot read --keys-file 'loop': Too many levels of symbolic links" --keys-file loop
refused "cannot write --trace file 'loop/t.txt': Too many levels of symbolic links" --keys x --trace loop/t.txt
rm -f loop "${long:0:255}"
# Two outputs onto one file, by any name.
refused "--trace and --csv are given the same file '-': give each its own" --keys x --trace - --csv -
refused "--trace and --svg are given the same file './p.txt': give each its own" --trace p.txt --svg ./p.txt

# A usage error names the option as typed and the help to read.
run --bogus=1
[ "$err" = "unknown option '--bogus' (see $program_name --help)" ] || fail "$case: --bogus=1: $err"

if on render; then
    refused "--scale '0' is out of range: give a number from 0.25 to 8" --scale 0
    refused "--scale 'nan' is out of range" --scale nan
    refused "--scale '100' is out of range" --scale 100
    refused "cannot write --png file 'no/such/dir/p.png': No such file or directory" --png no/such/dir/p.png
    touch file
    refused "cannot make --frames folder 'file/sub': Not a directory" --frames file/sub
    refused "--png '.' is a folder: give a file name" --png .
    refused "--trace and --png are given the same file '-': give each its own" --trace - --png -
    refused "same file" --png p.png --svg ./p.png
    rm file
else
    # The pictures only the renderer makes are refused, naming the renderer.
    for opt in --png --pdf --frames --scale; do
        refused "$opt is for pictures that zebo-morlix-trace does not make: use zebo-morlix-render" --keys x $opt x
    done
fi

# --- help and version: standard output, status 0 ------------------------------
begin help
run --version
[ $rc -eq 0 ] && grep -qx "$program_name [0-9]*\.[0-9]*\.[0-9]*" "$work/out" || fail "$case: --version: $rc $(cat "$work/out")"
run --help
[ $rc -eq 0 ] && grep -q 'KEY\*N' "$work/out" && grep -q 'KEY@F.N' "$work/out" && grep -q -- '--csv FILE' "$work/out" ||
    fail "$case: --help: $rc"
run -h --bogus-after-help
[ $rc -eq 2 ] || fail "$case: an unknown option after -h is still an error"
# Onto a full device: a failure, said in one line.
expect 2 "" bash -c '"$@" --help >/dev/full' - "${c[@]}"

# --- messages never carry raw control bytes -------------------------------------
begin control-bytes
printf 'x\0x' >nul.txt
run --keys $'\e[31mRED'
! grep -q $'\e' "$work/err" && [[ $err == *"'\$'\\033''[31mRED'"* ]] || fail "$case: escape in a step: $(cat -v "$work/err")"
run --keys-file nul.txt
[[ $err == "unknown step 'x'\$'\\000''x'" ]] || fail "$case: NUL in a step: $(cat -v "$work/err")"
run --keys-file $'bad\e]0;title\a.txt'
! grep -q $'\e' "$work/err" || fail "$case: escape in a file name to read: $(cat -v "$work/err")"
expect 2 "\\033" "${c[@]}" --keys x --trace $'no/\e[31mRED/x.txt'
! grep -q $'\e' "$work/err" || fail "$case: escape in a file name to write: $(cat -v "$work/err")"
# A very long step is named, briefly.
run --keys "$(head -c 100000 /dev/zero | tr '\0' 'q')"
[ $rc -eq 2 ] && [ ${#err} -lt 200 ] || fail "$case: a 100 KB step gives a message of ${#err} bytes"

# --- names and scripts that are not UTF-8 --------------------------------------
# Natively the bytes are the name. Node would turn the byte into U+FFFD and so
# replace another file (here one named with U+FFFD itself, which must survive):
# under Node the argument is refused. A name that holds U+FFFD as UTF-8 is used.
begin not-utf-8
replacement=$'\xef\xbf\xbd'
echo keep >"$replacement.txt"
run --keys x --trace $'\xfe.txt'
if on node; then
    [ $rc -eq 2 ] && [ "$lines" -eq 1 ] && [[ $err == *'argument 4 ("\xfe.txt") is not UTF-8'* ]] ||
        fail "$case: a name that is not UTF-8: status $rc: $(cat "$work/err")"
    [ ! -e $'\xfe.txt' ] || fail "$case: a name that is not UTF-8: wrote it"
else
    [ $rc -eq 0 ] && [ -s $'\xfe.txt' ] || fail "$case: a name that is not UTF-8: status $rc: $(cat "$work/err")"
fi
same "$replacement.txt" keep
run --keys x --trace "$replacement.txt"
[ $rc -eq 0 ] && [ "$(head -c 4 "$replacement.txt")" != keep ] || fail "$case: a name with U+FFFD: status $rc: $(cat "$work/err")"
rm -f ./*.txt
refused "" --keys $'x\xff' --trace t.txt
if on node; then
    # A process title (--title) writes over the bytes Node was given: then any
    # U+FFFD is refused, on one line whatever the name holds.
    expect 2 'argument 4 ("o\x0a'"$replacement"'\x1b[31m.txt") holds U+FFFD' \
        node --title=zm "$trace_js" --keys x --trace $'o\n\xfe\e[31m.txt'
    only .
fi

# --- Node: the WebAssembly beside the script missing or from another build --------
# Status 2 and one line naming the file, never a silent status 0; nothing written.
if on node; then
    begin lone-script
    cp "$trace_js" zebo-morlix-trace.js
    for wasm in missing truncated foreign; do
        case $wasm in
        missing) rm -f zebo-morlix-trace.wasm ;;
        truncated) head -c 1000 "${trace_js%.js}.wasm" >zebo-morlix-trace.wasm ;;
        # A valid module whose one import this program does not provide.
        foreign) printf '\0asm\1\0\0\0\1\4\1\x60\0\0\2\x13\1\3env\x0bnonexistent\0\0' >zebo-morlix-trace.wasm ;;
        esac
        expect 2 "" node zebo-morlix-trace.js --keys x --trace t.txt
        grep -q "zebo-morlix-trace.*WebAssembly" "$work/err" || fail "$case: with a $wasm .wasm: $(cat "$work/err")"
        [ ! -s "$work/out" ] && [ ! -e t.txt ] || fail "$case: with a $wasm .wasm: wrote something"
    done
fi
