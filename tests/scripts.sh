#!/usr/bin/env bash
# The set-up and picture scripts as a user meets them: installs that ask nothing
# with or without root, a clear line without sudo, and make-animation's options.
root=$1
. "$(dirname "$0")/checks.sh"

# --- installing missing packages -------------------------------------------------
# A user who is not root, on a machine where nothing is installed yet.
stub=$work/stub
mkdir -p "$stub"
for t in bash grep basename dirname cat; do ln -s "$(command -v $t)" "$stub/$t"; done
printf '#!/bin/sh\necho 1000\n' >"$stub/id"
printf '#!/bin/sh\nexit 1\n' >"$stub/dpkg-query"
chmod +x "$stub/id" "$stub/dpkg-query"
install_as_user() {
    PATH=$stub bash -c ". '$root/scripts/packages.sh'; ensure_packages foo bar" >"$work/out" 2>"$work/err"
}
install_as_user
rc=$?
[ $rc -ne 0 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q 'as root: apt-get install foo bar' "$work/err" ||
    fail "no sudo: status $rc: $(cat "$work/err")"
printf '#!/bin/sh\necho "$@" >>"%s"\n' "$work/sudo.log" >"$stub/sudo"
chmod +x "$stub/sudo"
install_as_user || fail "with sudo: $(cat "$work/err")"
grep -q '^env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold install -y -qq --no-install-recommends foo bar$' "$work/sudo.log" ||
    fail "sudo does not install quietly: $(cat "$work/sudo.log")"

# --- make-animation ----------------------------------------------------------------
anim=$root/scripts/make-animation
"$anim" --help >"$work/out" || fail "--help: status"
grep -q 'set -euo' "$work/out" && fail "--help shows the script's code"
grep -q -- '--overlays' "$work/out" || fail "--help: $(cat "$work/out")"
check_bad() { # what args...
    local what=$1
    shift
    "$anim" "$@" >"$work/out" 2>"$work/err"
    local rc=$?
    [ $rc -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q -- "$what" "$work/err" ||
        fail "make-animation $*: status $rc: $(cat "$work/err")"
}
check_bad 'needs a value' --scale
check_bad 'needs a value' --format
check_bad 'does not exist' "$work/no/such/sweep.webp"
check_bad 'unknown format' --format avi
check_bad 'is a folder' "$work"

finish "set-up and picture scripts"
