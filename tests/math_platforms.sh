#!/usr/bin/env bash
# Builds tests/math_portable_hash.cpp with g++, clang++, em++ (run by Node),
# aarch64-linux-gnu-g++ (run by qemu-aarch64) and x86_64-w64-mingw32-g++
# (static, run by wine), each as the project compiles its core, and checks that
# all five print the same hashes of sin, cos and atan.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
src=("$root/tests/math_portable_hash.cpp" "$root"/src/math/{CorrectlyRounded,CrFixed,CrFast}.cpp)
flags=(-std=c++20 -O2 -ffp-contract=off -fno-fast-math -I"$root/src")

g++ "${flags[@]}" "${src[@]}" -o "$out/gcc"
"$out/gcc" > "$out/gcc.txt"
clang++ "${flags[@]}" "${src[@]}" -o "$out/clang"
"$out/clang" > "$out/clang.txt"
NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH} em++ "${flags[@]}" "${src[@]}" -sSINGLE_FILE -sENVIRONMENT=node -o "$out/wasm.js"
node "$out/wasm.js" > "$out/wasm.txt"
aarch64-linux-gnu-g++ "${flags[@]}" "${src[@]}" -o "$out/arm"
qemu-aarch64 -L /usr/aarch64-linux-gnu "$out/arm" > "$out/arm.txt"
x86_64-w64-mingw32-g++ "${flags[@]}" -msse2 -mfpmath=sse -static "${src[@]}" -o "$out/win.exe"
WINEDEBUG=-all wine "$out/win.exe" 2>/dev/null | tr -d '\r' > "$out/win.txt"

status=0
for t in clang wasm arm win; do
    if ! cmp -s "$out/gcc.txt" "$out/$t.txt"; then
        echo "math_platforms: $t differs from g++:" >&2
        diff "$out/gcc.txt" "$out/$t.txt" >&2 || true
        status=1
    fi
done
cat "$out/gcc.txt"
[ $status = 0 ] && echo "the same on g++, clang++, wasm32 (node), aarch64 (qemu) and x86-64 Windows (wine)"
exit $status
