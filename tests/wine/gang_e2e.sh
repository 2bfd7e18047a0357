#!/usr/bin/env bash
# End-to-end runs of the Windows fwsend-gang.exe under wine, with fwsend.exe
# children, against the Linux build's simulated targets on pseudo-terminals.
# The ports are given to wine as its own (HKLM\Software\Wine\Ports), so that
# they are COM devices of the system, as the gang looks them up. Run from
# the project root:
#   tests/wine/gang_e2e.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
# WINEPREFIX must name an initialised prefix with a running wineserver.
set -u
target=$1/fwsend-target
gang=$(realpath "$2/fwsend-gang.exe")
sample=$(realpath tools/sample-firmware.txt)
work=$(mktemp -d /tmp/fwsend_wine_gang_XXXXXX)
ports_key='HKLM\Software\Wine\Ports'
failures=0
passed=0

restart_wineserver() {
    # As in e2e.sh: the server goes before the targets whose ptys it holds,
    # the old one is waited for, and a new one holds none of our output.
    wineserver -k
    wineserver -w
    wineserver -p < /dev/null > /dev/null 2>&1
}
cleanup() {
    wine reg delete "$ports_key" /f < /dev/null > /dev/null 2>&1
    rm -f "$WINEPREFIX/dosdevices/com5" "$WINEPREFIX/dosdevices/com6"
    rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulated target per argument ("plain" or "silent"), the first as
# COM5, the next as COM6; wine's device manager takes the ports on at the
# server's start.
target_pids=()
start_targets() {
    local number=5 kind slave values=
    target_pids=()
    for kind in "$@"; do
        local options=()
        [ "$kind" = silent ] && options=(--silent)
        "$target" --out "$work/received$number.bin" "${options[@]}" < /dev/null > "$work/slave$number.txt" \
            2> "$work/target$number.log" &
        target_pids+=($!)
        slave=
        for _ in $(seq 50); do
            [ -s "$work/slave$number.txt" ] && read -r slave < "$work/slave$number.txt" && [ -n "$slave" ] && break
            sleep 0.1
        done
        [ -n "$slave" ] || { echo "FAIL the simulated target did not start"; cat "$work/target$number.log"; exit 1; }
        values+="\"COM$number\"=\"$slave\""$'\n'
        number=$((number + 1))
    done
    printf 'REGEDIT4\n\n[%s]\n%s' "${ports_key/HKLM/HKEY_LOCAL_MACHINE}" "$values" > "$work/ports.reg"
    wine reg delete "$ports_key" /f < /dev/null > /dev/null 2>&1
    wine regedit /S "Z:${work//\//\\}\\ports.reg" < /dev/null > /dev/null 2>&1
    restart_wineserver
}
stop_targets() {
    restart_wineserver
    kill -TERM "${target_pids[@]}" 2> /dev/null
    wait "${target_pids[@]}" 2> /dev/null
}

# The gang's log without its time stamps, and its report.
log_lines() { sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z //' "$work/log.txt" | tr -d '\r'; }

verdict() {
    if [ "$1" = ok ]; then
        echo "PASS $2"
        passed=$((passed + 1))
    else
        echo "FAIL $2"
        echo "     status $status; log:"
        log_lines | sed 's/^/       /'
        echo "     report:"
        sed 's/^/       /' "$work/report.jsonl" 2> /dev/null
        failures=$((failures + 1))
    fi
}

# Each pattern must match a line of the log, or of the report (-r).
expect() {
    local where="$work/log.txt" pattern
    [ "$1" = -r ] && { where="$work/report.jsonl"; shift; }
    for pattern in "$@"; do
        if [ "$where" = "$work/report.jsonl" ]; then
            grep -Eq -- "$pattern" "$where" 2> /dev/null || { echo "     missing: $pattern"; return 1; }
        else
            log_lines | grep -Eq -- "$pattern" || { echo "     missing: $pattern"; return 1; }
        fi
    done
}

serial='"device":"\\\\Device\\\\Serial[0-9]+"'
board() { printf '"record":"board","round":1,"slot":"%s","options":"%s",%s' "$1" "$2" "$3"; }

# One round of three boards: one updated, one whose target never answers,
# one whose port does not exist.
start_targets plain silent
rm -f "$work/report.jsonl"
timeout 60 wine "$gang" "-F$sample" -115200 -COM5 -COM6 -COM40 --report "$work/report.jsonl" \
    < /dev/null > "$work/log.txt" 2>> "$work/wine.log"
status=$?
stop_targets
result=ok
[ "$status" -eq 1 ] || result=bad
expect '^1 -COM5 started$' '^2 -COM6 started$' '^3 -COM40 started$' \
    '^1 -COM5 done [0-9.]+ s$' \
    '^2 -COM6 failed: Failed: Target is not responding\.' \
    '^3 -COM40 failed: Error: COM40 in use or does not exist\. \(fwsend: system error 2: ' \
    '^round 1: 3 boards: 1 done, 2 failed$' || result=bad
expect -r "^\{$(board 1 -COM5 "$serial").*\"result\":\"done\",\"exit_status\":0,\"signal\":null,\"message\":\"Target updated successfully\.\"" \
    "^\{$(board 2 -COM6 "$serial").*\"result\":\"failed\",\"exit_status\":255,\"signal\":null,\"message\":\"Failed: Target is not responding\.\"" \
    "^\{$(board 3 -COM40 '"device":null').*\"result\":\"failed\",\"exit_status\":255,\"signal\":null,\"message\":\"Error: COM40 in use or does not exist\.\"" \
    '^\{"record":"round","round":1,.*"boards":3,"done":1,"failed":2,"interrupted":false' || result=bad
expected=$(tr -s ' \t\r\n' '\n' < "$sample" | grep -v '^$' | tr 'A-F' 'a-f')
received=$(od -An -v -tx1 "$work/received5.bin" | tr -s ' \n' '\n' | grep -v '^$')
[ "$expected" = "$received" ] || { echo "     COM5's target did not receive the image byte for byte"; result=bad; }
verdict $result "a mixed round: an update, a silent target, a missing port; lines, report, status 1"

# Ctrl-C mid-round: wine hands the SIGINT to the gang as a console Ctrl-C
# event, and the gang passes one interrupt to each child through its event.
# Wine cannot cancel a waiting serial read: each child ends when its verdict
# wait does, up to 8 s later.
interrupted_gang() {
    rm -f "$work/report.jsonl"
    timeout --foreground 60 wine "$gang" "-F$sample" -115200 -COM5 -COM6 --report "$work/report.jsonl" \
        < /dev/null > "$work/log.txt" 2>> "$work/wine.log" &
    gang_pid=$!
    for _ in $(seq 300); do
        [ "$(log_lines | grep -c ' started$')" -eq 2 ] && break
        sleep 0.1
    done
    # Until both children wait for their first verdict.
    sleep 3
    kill -INT "$gang_pid"
}

start_targets silent silent
interrupted_gang
wait "$gang_pid"
status=$?
stop_targets
result=ok
[ "$status" -eq 1 ] || result=bad
expect '^1 -COM5 failed: Failed: Interrupted\.$' '^2 -COM6 failed: Failed: Interrupted\.$' \
    '^round 1: 2 boards: 0 done, 2 failed, interrupted$' || result=bad
expect -r "^\{$(board 1 -COM5 "$serial").*\"exit_status\":255,\"signal\":null,\"message\":\"Failed: Interrupted\.\"" \
    "^\{$(board 2 -COM6 "$serial").*\"exit_status\":255,\"signal\":null,\"message\":\"Failed: Interrupted\.\"" \
    '^\{"record":"round","round":1,.*"boards":2,"done":0,"failed":2,"interrupted":true' || result=bad
verdict $result "Ctrl-C mid-round: each child ends with its own \"Failed: Interrupted.\", status 1"

# A second Ctrl-C ends the gang at once, before its children's ends.
start_targets silent silent
interrupted_gang
sleep 1
signalled=$(date +%s%N)
kill -INT "$gang_pid"
wait "$gang_pid"
status=$?
took=$((($(date +%s%N) - signalled) / 1000000))
stop_targets
result=ok
[ "$status" -ne 0 ] && [ "$status" -ne 1 ] && [ "$took" -lt 3000 ] || result=bad
log_lines | grep -q '^round 1' && result=bad
echo "     (the gang ended $took ms after the second Ctrl-C, status $status)"
verdict $result "a second Ctrl-C ends the gang at once"

echo "wine end-to-end, fwsend-gang: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
