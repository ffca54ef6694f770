# Shared helpers of the shell-driven tests: source it, then call check/require_tool.
set -euo pipefail

failures=0

# check DESCRIPTION COMMAND...: runs the command; a failure is counted and reported.
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

# A tool the project's install-deps guarantees; its absence is a failure, not a skip.
require_tool() {
    command -v "$1" >/dev/null || { echo "FAILED: $1 is missing (scripts/install-deps)" >&2; exit 1; }
}

# A private, empty profile so nothing of the real user's is read or written.
private_profile() {
    export HOME=$1/home
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
    export XDG_STATE_HOME=$HOME/.local/state XDG_CACHE_HOME=$HOME/.cache
    unset XDG_CURRENT_DESKTOP DESKTOP_SESSION CRYPT_PARAMS
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
}

finish() {
    [ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
}
