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
trap 'wine reg delete "$ports_key" /f < /dev/null > /dev/null 2>&1; rm -f "$WINEPREFIX"/dosdevices/com[56]; rm -rf "$work"' EXIT

# As in e2e.sh: the server goes before the targets whose ptys it holds, the
# old one is waited for, and a new one holds none of our output.
restart_wineserver() {
    wineserver -k
    wineserver -w
    wineserver -p < /dev/null > /dev/null 2>&1
}

# A simulated target per argument (plain or silent) as COM5, COM6. Wine
# takes a port of its list on once, when the first server starts with it
# (its device manager makes the DOS device), and keeps the unix path it was
# given then: that path is a link of ours, led to each new target.
ports_listed=false
start_targets() {
    local number=5 kind slave values=
    target_pids=()
    for kind in "$@"; do
        "$target" --out "$work/received$number.bin" $([ "$kind" = silent ] && echo --silent) < /dev/null \
            > "$work/slave$number.txt" 2> "$work/target$number.log" &
        target_pids+=($!)
        slave=
        for _ in $(seq 50); do
            [ -s "$work/slave$number.txt" ] && read -r slave < "$work/slave$number.txt" && [ -n "$slave" ] && break
            sleep 0.1
        done
        [ -n "$slave" ] || { echo "FAIL the simulated target did not start"; cat "$work/target$number.log"; exit 1; }
        ln -sfn "$slave" "$work/com$number"
        values+="\"COM$number\"=\"$work/com$number\""$'\n'
        number=$((number + 1))
    done
    if ! $ports_listed; then
        printf 'REGEDIT4\n\n[%s]\n%s' "${ports_key/HKLM/HKEY_LOCAL_MACHINE}" "$values" > "$work/ports.reg"
        wine regedit /S "Z:${work//\//\\}\\ports.reg" < /dev/null > /dev/null 2>&1
        ports_listed=true
    fi
    restart_wineserver
}
stop_targets() {
    restart_wineserver
    kill -TERM "${target_pids[@]}" 2> /dev/null
    wait "${target_pids[@]}" 2> /dev/null
}

# The gang's log without its time stamps.
log_lines() { sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z //' "$work/log.txt" | tr -d '\r'; }

# check NAME OK PATTERN...: passes when OK is true and every pattern matches
# a line of the log (log:...) or of the report (report:...).
check() {
    local name=$1 result=$2 pattern
    shift 2
    for pattern in "$@"; do
        if [ "${pattern%%:*}" = log ]; then
            log_lines | grep -Eq -- "${pattern#log:}"
        else
            grep -Eq -- "${pattern#report:}" "$work/report.jsonl" 2> /dev/null
        fi || { echo "     missing: $pattern"; result=false; }
    done
    if $result; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name: status $status; log, then report:"
        log_lines | sed 's/^/       /'
        sed 's/^/       /' "$work/report.jsonl" 2> /dev/null
        failures=$((failures + 1))
    fi
}

serial='"device":"\\\\Device\\\\Serial[0-9]+"'
board() { printf 'report:^\\{"record":"board","round":1,"slot":"%s","options":"%s",%s.*%s' "$@"; }
ends() { printf '"exitStatus":%s,"signal":null,"message":"%s\\."' "$1" "$2"; }

# Called in a subshell, which becomes the gang's timeout: its process id is
# the one a Ctrl-C is sent to.
run_gang() {
    rm -f "$work/report.jsonl"
    exec timeout --foreground 60 wine "$gang" "-F$sample" -115200 "$@" --report "$work/report.jsonl" \
        < /dev/null > "$work/log.txt" 2>> "$work/wine.log"
}

# One round of three boards: one updated, one whose target never answers,
# one whose port does not exist.
start_targets plain silent
(run_gang -COM5 -COM6 -COM40)
status=$?
stop_targets
expected=$(tr -s ' \t\r\n' '\n' < "$sample" | grep -v '^$' | tr 'A-F' 'a-f')
received=$(od -An -v -tx1 "$work/received5.bin" | tr -s ' \n' '\n' | grep -v '^$')
check "a mixed round: an update, a silent target, a missing port; lines, report, status 1" \
    "$([ "$status" -eq 1 ] && [ "$expected" = "$received" ] && echo true || echo false)" \
    'log:^1 -COM5 started$' 'log:^2 -COM6 started$' 'log:^3 -COM40 started$' 'log:^1 -COM5 done [0-9.]+ s$' \
    'log:^2 -COM6 failed: Failed: Target is not responding\.' \
    'log:^3 -COM40 failed: Error: COM40 in use or does not exist\. \(fwsend: system error 2: ' \
    'log:^round 1: 3 boards: 1 done, 2 failed$' \
    "$(board 1 -COM5 "$serial" "\"result\":\"done\",$(ends 0 'Target updated successfully')")" \
    "$(board 2 -COM6 "$serial" "\"result\":\"failed\",$(ends 255 'Failed: Target is not responding')")" \
    "$(board 3 -COM40 '"device":null' "\"result\":\"failed\",$(ends 255 'Error: COM40 in use or does not exist')")" \
    'report:^\{"record":"round","round":1,.*"boards":3,"done":1,"failed":2,"interrupted":false'

# Ctrl-C mid-round: wine hands the SIGINT to the gang as a console Ctrl-C
# event, and the gang passes one interrupt to each child through its event.
# Wine cannot cancel a waiting serial read: each child ends when its verdict
# wait does, up to 8 s later.
interrupt_gang() {
    (run_gang -COM5 -COM6) &
    gang_pid=$!
    for _ in $(seq 300); do
        [ "$(log_lines | grep -c ' started$')" -eq 2 ] && break
        sleep 0.1
    done
    sleep 3  # until both children wait for their first verdict
    kill -INT "$gang_pid"
}

start_targets silent silent
interrupt_gang
wait "$gang_pid"
status=$?
stop_targets
check "Ctrl-C mid-round: each child ends with its own \"Failed: Interrupted.\", status 1" \
    "$([ "$status" -eq 1 ] && echo true || echo false)" \
    'log:^1 -COM5 failed: Failed: Interrupted\.$' 'log:^2 -COM6 failed: Failed: Interrupted\.$' \
    'log:^round 1: 2 boards: 0 done, 2 failed, interrupted$' \
    "$(board 1 -COM5 "$serial" "$(ends 255 'Failed: Interrupted')")" \
    "$(board 2 -COM6 "$serial" "$(ends 255 'Failed: Interrupted')")" \
    'report:^\{"record":"round","round":1,.*"boards":2,"done":0,"failed":2,"interrupted":true'

# A second Ctrl-C ends the gang at once, before its children end, with
# neither success nor the status of a round that ended.
start_targets silent silent
interrupt_gang
sleep 1
signalled=$(date +%s%N)
kill -INT "$gang_pid"
wait "$gang_pid"
status=$?
took=$((($(date +%s%N) - signalled) / 1000000))
stop_targets
echo "     (the gang ended $took ms after the second Ctrl-C, status $status)"
check "a second Ctrl-C ends the gang at once" \
    "$([ "$status" -gt 1 ] && [ "$took" -lt 3000 ] && ! log_lines | grep -q '^round 1' && echo true || echo false)"

echo "wine end-to-end, fwsend-gang: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
