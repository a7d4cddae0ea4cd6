# Sourced by the scripts: installs Debian packages that are missing, with
# apt-get: as root directly, otherwise through sudo. Either way the install
# asks nothing and says one line per set of packages.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    ((${#missing[@]})) || return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "$(basename "$0"): missing packages: run this as root or install sudo; as root: apt-get install ${missing[*]}" >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    # One line for the set; apt's and dpkg's own output goes to a log that is
    # shown only when the install fails.
    local log
    log=$(mktemp "${TMPDIR:-/tmp}/packages-XXXXXX.log")
    printf 'Installing %s ... ' "${missing[*]}" >&2
    if "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >"$log" 2>&1 &&
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            -o Dpkg::Progress-Fancy=0 -o Dpkg::Use-Pty=0 "${missing[@]}" >>"$log" 2>&1; then
        echo "done" >&2
        rm -f "$log"
    else
        echo "failed" >&2
        cat "$log" >&2
        echo "$(basename "$0"): installing ${missing[*]} failed: apt's output is above and in $log" >&2
        exit 1
    fi
}
