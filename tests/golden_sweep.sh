#!/usr/bin/env bash
# The whole sweep's trace, bit for bit: its SHA-256 is fixed, the same on every
# platform, because every number in it comes from exactly rounded arithmetic.
# A change to any figure, colour or step of the program changes a hash.
#   golden_sweep.sh PROGRAM...   (the trace program: a path, or node and its script)
# Status 77 (skipped) when the program is not there.
set -uo pipefail
program=("$@")
if [ ! -e "${program[-1]}" ] || ! command -v "${program[0]}" >/dev/null; then
    echo "no trace program at ${program[*]}: skipped"
    exit 77
fi

failures=0
while IFS='|' read -r keys want; do
    got=$("${program[@]}" --keys "$keys" --sweep --trace - | sha256sum | cut -d' ' -f1)
    [ "$got" = "$want" ] || {
        echo "FAIL: --keys '$keys' --sweep: trace SHA-256 $got, not $want"
        failures=$((failures + 1))
    }
done <<'EOF'
|832f3ac61cb8e8956dc91340a08a6df7d75e43024b2a1d5bdf0a711b4d6aa769
backspace slash|d4ad1dcf29db64636018a0961fde098b122d2984f63d8c1dad71027107264f79
tab tab comma tab comma comma tab|4b25085c1bc47115df1a36fb30bdec1f1f1c446085bcef2b846fb7824291ab54
EOF
[ $failures -eq 0 ] && echo "the sweep's traces: the fixed hashes"
exit $((failures > 0))
