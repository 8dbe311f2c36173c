# Shared by the test scripts (sourced, not run): how a check reports, and bounded waiting. The
# sourcing script sets `tag` ("e2e", "install", "deb") first; `failures` counts what went wrong,
# and the script fails at the end when it is not 0.

failures=0
note() { printf '[%s]   %s\n' "$tag" "$*"; }
# A check that failed: the run goes on, the test fails at the end.
mismatch() {
    failures=$((failures + 1))
    printf '[%s]   MISMATCH: %s\n' "$tag" "$*"
}
# Something without which the run cannot go on.
abort() {
    printf '[%s] ABORTED: %s\n' "$tag" "$*"
    failures=$((failures + 1))
    exit 1
}

# Polls a command until it succeeds; false after the given number of seconds.
wait_for() { # seconds command...
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS >= deadline)) && return 1
        sleep 0.1
    done
}
