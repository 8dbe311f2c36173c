# Shared by the end-to-end test and the start-up benchmark (sourced, not run): a private X
# server and the stopping of what a script started.

# Ends a process politely, then firmly; nothing when it is gone already.
stop_process() { # pid
    local pid=$1 i
    [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null
    for ((i = 0; i < 50; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

# Starts Xvfb (1280x1024x24) on a free display; sets xvfb_pid and exports DISPLAY. Fails when
# the server has not named its display within 15 seconds; its messages are in FOLDER/xvfb.log.
start_xvfb() { # folder
    local folder=$1 i
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
        3>"$folder/display" 2>"$folder/xvfb.log" &
    xvfb_pid=$!
    for ((i = 0; i < 150; i++)); do
        grep -q '^[0-9][0-9]*$' "$folder/display" 2>/dev/null && break
        sleep 0.1
    done
    grep -q '^[0-9][0-9]*$' "$folder/display" 2>/dev/null || return 1
    DISPLAY=":$(cat "$folder/display")"
    export DISPLAY
}
