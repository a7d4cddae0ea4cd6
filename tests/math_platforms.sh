#!/usr/bin/env bash
# Builds tests/math_portable_hash.cpp with g++, clang++, em++ (run by Node),
# aarch64-linux-gnu-g++ (run by qemu-aarch64) and x86_64-w64-mingw32-g++
# (static, run by wine), each as the project compiles its core, and checks that
# all five print the same hashes of sin, cos and atan.
#   tests/math_platforms.sh
# tests/platforms.sh runs it with the compilers of its cross builds and of the
# web build, in its wine prefix and environment; alone it takes the compilers
# from the PATH, or from $EMXX, $AARCH64_CXX and $MINGW_CXX, and wine's own
# prefix (or $WINEPREFIX).
# Prints one line; on a difference, the hashes of every platform.
# Exit status: 0 all the same, 1 a difference or a platform that failed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
me=$(basename "$0")

case ${1:-} in
"") ;;
-h | --help) sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
*) echo "$me: unknown option '$1' (see tests/math_platforms.sh --help)" >&2; exit 2 ;;
esac

emxx=${EMXX:-em++}
arm_cxx=${AARCH64_CXX:-aarch64-linux-gnu-g++}
win_cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

start=$(date +%s.%N)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
src=("$root/tests/math_portable_hash.cpp" "$root"/src/math/{CorrectlyRounded,CrFixed,CrFast}.cpp)
flags=(-std=c++20 -O2 -ffp-contract=off -fno-fast-math -I"$root/src")

# Each platform: its name, how it is built, how it is run. A build's or a
# run's messages are shown only when it fails.
names=(g++ clang++ "wasm32 (node)" "aarch64 (qemu)" "x86-64 Windows (wine)")
build() { # index
    case $1 in
    0) g++ "${flags[@]}" "${src[@]}" -o "$out/0" ;;
    1) clang++ "${flags[@]}" "${src[@]}" -o "$out/1" ;;
    2) NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH} "$emxx" "${flags[@]}" "${src[@]}" \
        -sSINGLE_FILE -sENVIRONMENT=node -o "$out/2.js" ;;
    3) "$arm_cxx" "${flags[@]}" "${src[@]}" -o "$out/3" ;;
    4) "$win_cxx" "${flags[@]}" -msse2 -mfpmath=sse -static "${src[@]}" -o "$out/4.exe" ;;
    esac
}
run() { # index
    case $1 in
    0 | 1) "$out/$1" ;;
    2) node "$out/2.js" ;;
    3) qemu-aarch64 -L /usr/aarch64-linux-gnu "$out/3" ;;
    4) wine "$out/4.exe" | tr -d '\r' ;;
    esac
}

# The five builds at once, then the five runs one after the other.
builds=()
for i in "${!names[@]}"; do
    build "$i" >"$out/$i.build" 2>&1 &
    builds[i]=$!
done
status=0
for i in "${!names[@]}"; do
    if ! wait "${builds[$i]}"; then
        cat "$out/$i.build"
        echo "$me: the ${names[$i]} build failed (above)"
        status=1
    elif ! run "$i" >"$out/$i.txt" 2>"$out/$i.err"; then
        head -c 300 "$out/$i.err"
        echo "$me: the ${names[$i]} program failed"
        status=1
    fi
done
if [ $status -eq 0 ]; then
    for i in 1 2 3 4; do
        cmp -s "$out/0.txt" "$out/$i.txt" || status=1
    done
    if [ $status -ne 0 ]; then
        echo "$me: the hashes of sin, cos and atan differ:"
        for i in "${!names[@]}"; do
            sed "s/^/  ${names[$i]}: /" "$out/$i.txt"
        done
    fi
fi
if [ $status -eq 0 ]; then
    count=$(awk 'NR == 1 { print $2 }' "$out/0.txt")
    seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
    echo "math: sin, cos and atan of $count arguments each, the same bits on" \
        "$(printf '%s, ' "${names[@]:0:4}" | sed 's/, $//') and ${names[4]} ($seconds s)"
fi
exit $status
