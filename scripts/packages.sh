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
    # One line for the set; apt's and dpkg's own output is kept, and shown and
    # written to a log only when the install fails.
    printf 'Installing %s ... ' "${missing[*]}" >&2
    local out status=0
    # Another install in progress (a desktop's updater, a second script) is
    # waited for, up to ten minutes, rather than failed.
    # A configuration file changed by hand is kept, without a question.
    local apt=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600
        -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold)
    out=$("${sudo[@]}" "${apt[@]}" update -qq 2>&1 &&
        "${sudo[@]}" "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" 2>&1) || status=$?
    if [ $status -eq 0 ]; then
        echo "done" >&2
        return 0
    fi
    echo "failed" >&2
    local log=${TMPDIR:-/tmp}/zebo-morlix-packages.$$.log
    printf '%s\n' "$out" >&2
    printf '%s\n' "$out" >"$log"
    echo "$(basename "$0"): installing ${missing[*]} failed (status $status): apt's output is above and in $log" >&2
    exit 1
}
