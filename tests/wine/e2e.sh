#!/usr/bin/env bash
# End-to-end runs of the Windows fwsend.exe under wine against the simulated
# target on a Linux pseudo-terminal, reached as COM5 and as COM12 through
# wine's dosdevices links. Run from the project root:
#   tests/wine/e2e.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
# WINEPREFIX must name an initialised prefix with a running wineserver.
set -u
linux_build=$1
windows_build=$2
target=$linux_build/fwsend-target
exe=$windows_build/fwsend.exe
sample=tools/sample-firmware.txt
work=$(mktemp -d /tmp/fwsend_wine_XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
passed=0

target_pid=
start_target() {
    "$target" --out "$work/received.bin" "$@" < /dev/null > "$work/slave.txt" 2> "$work/target.log" &
    target_pid=$!
    local slave=
    for _ in $(seq 50); do
        [ -s "$work/slave.txt" ] && read -r slave < "$work/slave.txt" && [ -n "$slave" ] && break
        sleep 0.1
    done
    if [ -z "$slave" ]; then
        echo "FAIL the simulated target did not start:"
        cat "$work/target.log"
        exit 1
    fi
    ln -sfn "$slave" "$WINEPREFIX/dosdevices/com5"
    ln -sfn "$slave" "$WINEPREFIX/dosdevices/com12"
}
stop_target() {
    # The wineserver takes the pty as its controlling terminal: it goes first.
    # A new server must not hold our output open: it outlives the script.
    wineserver -k
    wineserver -p < /dev/null > /dev/null 2>&1
    kill -TERM "$target_pid" 2>/dev/null
    wait "$target_pid" 2>/dev/null
}

# Runs fwsend.exe with the arguments; its output lands in $work/output.txt,
# its status in $status.
run_fwsend() {
    timeout 30 wine "$exe" "$@" < /dev/null > "$work/output.txt" 2>> "$work/wine.log"
    status=$?
}

# Windows writes its console lines with CR LF.
windows_text() { printf '%s' "${1//$'\n'/$'\r\n'}"; }

check() {
    local name=$1 expected_status=$2 expected_output=$3
    if [ "$status" -eq "$expected_status" ] && cmp -s <(windows_text "$expected_output") "$work/output.txt"; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name: status $status (expected $expected_status), output:"
        od -c "$work/output.txt" | head -20
        failures=$((failures + 1))
    fi
}

banner=$'fwsend v1.0 - Firmware upgrade over serial link\n\n'
connection=$'Connection with Serial Com-Port COM5...\n'
spinner='--\\||//'

# The progress line before each of the sample's 48 frames of 258 bytes.
progress=
for i in $(seq 0 47); do
    progress+=$'\r                        \rTransferring.. '"${spinner:$((i % 8)):1} $((i * 258 * 100 / 12384))% done."
done

start_target
run_fwsend "-F$sample" -COM5 -115200
stop_target
check "upload succeeds with the exact output" 0 \
    "$banner$connection$progress"$'\rTransferring.. 100% done.  \nTarget updated successfully.\n'
expected=$(tr -s ' \t\r\n' '\n' < "$sample" | grep -v '^$' | tr 'A-F' 'a-f')
received=$(od -An -v -tx1 "$work/received.bin" | tr -s ' \n' '\n' | grep -v '^$')
if [ "$expected" = "$received" ]; then
    echo "PASS the target's frames are byte-identical to the file"
    passed=$((passed + 1))
else
    echo "FAIL the target's frames differ from the file"
    failures=$((failures + 1))
fi

# COM10 and above open only as \\.\COMn, as on Windows: under wine too, a
# plain "COM12" is looked for as a file and not found.
start_target
run_fwsend "-F$sample" -COM12 -115200
stop_target
check "an upload through COM12 succeeds" 0 \
    "$banner"$'Connection with Serial Com-Port COM12...\n'"$progress"$'\rTransferring.. 100% done.  \nTarget updated successfully.\n'

start_target --silent
run_fwsend "-F$sample" -COM5 -115200
stop_target
check "a silent target is not responding" 255 \
    "$banner$connection"$'\r                        \rTransferring.. - 0% done.\nFailed: Target is not responding.\n'

start_target --reject 4
run_fwsend "-F$sample" -COM5 -115200
stop_target
check "a rejecting target ends the run" 255 \
    "$banner$connection"$'\r                        \rTransferring.. - 0% done.\r                        \rTransferring.. - 0% done.\r                        \rTransferring.. \\ 0% done.\r                        \rTransferring.. \\ 0% done.\nCRC error. File damaged.\n'

# No vendor DLL beside fwsend.exe: the USB links fail to open.
run_fwsend "-F$sample" -115200 -T1 "-DTarvo Link 300"
check "FTDI without FTD2XX.dll" 255 "$banner"$'Connection with FTDI-USB Device...\nError: Tarvo Link 300 in use or does not exist.\n'
run_fwsend "-F$sample" -115200 -T2 "-DTarvo Link 300"
check "CP2102 without SiUSBXp.dll" 255 "$banner"$'Connection with CP2102-USB Device...\nError: Tarvo Link 300 in use or does not exist.\n'

# The port finder lists the COM ports that wine records (com1 is /dev/ttyS0
# in a new prefix), each under the option that names it.
ports=$windows_build/fwsend-ports.exe
timeout 30 wine "$ports" < /dev/null > "$work/ports.txt" 2>> "$work/wine.log"
status=$?
listed=$(tr -d '\r' < "$work/ports.txt")
if [ "$status" -eq 0 ] && { [ "$listed" = "No serial devices found." ] ||
   { [ "${listed:0:6}" = DEVICE ] && ! printf '%s\n' "$listed" | sed 1d | grep -vqE '^(COM[0-9]+) +-\1 '; }; }; then
    echo "PASS fwsend-ports.exe lists each COM port with its option"
    passed=$((passed + 1))
else
    echo "FAIL fwsend-ports.exe: status $status, output:"
    cat "$work/ports.txt"
    failures=$((failures + 1))
fi

echo "wine end-to-end: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
