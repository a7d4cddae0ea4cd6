#!/usr/bin/env bash
# Package installs say one line per set of packages; apt's output is shown only
# when the install fails, and then the script stops with status 1. apt-get and
# dpkg-query are stand-ins here that print as much as the real ones do.
root=$1
. "$(dirname "$0")/checks.sh"
mkdir -p "$work/bin"
cat >"$work/bin/dpkg-query" <<'END'
#!/bin/sh
exit 1
END
cat >"$work/bin/apt-get" <<'END'
#!/bin/sh
for i in $(seq 3600); do echo "Unpacking package $i (progress)"; done
[ -z "$APT_FAILS" ] || { echo "E: Unable to locate package $APT_FAILS" >&2; exit 100; }
END
cat >"$work/bin/sudo" <<'END'
#!/bin/sh
exec "$@"
END
chmod +x "$work/bin/"*
install() { # packages...: sources packages.sh and installs
    PATH=$work/bin:$PATH TMPDIR=$work bash -c '. "$1/scripts/packages.sh"; shift; ensure_packages "$@"; echo after' \
        install "$root" "$@"
}

out=$(install pkg-one pkg-two 2>&1)
[ $? -eq 0 ] || fail "a good install: status"
[ "$out" = "$(printf 'Installing pkg-one pkg-two ... done\nafter')" ] || fail "a good install says: $(head -c 300 <<<"$out")"
[ -z "$(ls "$work"/zebo-morlix-packages.* 2>/dev/null)" ] || fail "a good install leaves a log"

out=$(APT_FAILS=pkg-two install pkg-one pkg-two 2>&1)
rc=$?
[ $rc -eq 1 ] || fail "a failed install: status $rc"
grep -q "Unable to locate package pkg-two" <<<"$out" || fail "a failed install does not show apt's output"
grep -q "Unable to locate package pkg-two" "$work"/zebo-morlix-packages.*.log || fail "a failed install keeps no log"
grep -q "^after$" <<<"$out" && fail "a failed install goes on"
tail -n 1 <<<"$out" | grep -q "installing pkg-one pkg-two failed" || fail "a failed install: $(tail -n 1 <<<"$out")"

finish "quiet package installs"
