#!/usr/bin/env bash
# End-to-end runs of the Windows fwsend.exe under wine against the simulated
# target on a Linux pseudo-terminal, reached as COM5 and as COM12 through
# wine's dosdevices links; then uploads through the stand-in vendor DLLs of
# tests/wine, which are loaded from beside fwsend.exe and never from the
# current directory. Run from the project root:
#   tests/wine/e2e.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
# WINEPREFIX must name an initialised prefix with a running wineserver.
set -u
linux_build=$1
windows_build=$2
target=$linux_build/fwsend-target
exe=$(realpath "$windows_build/fwsend.exe")
stand_ins=$windows_build/tests/wine/complete
sample=$(realpath tools/sample-firmware.txt)
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
    # The old server is waited for: a new one started while it is still
    # going down can leave the next wine without a server to talk to.
    wineserver -k
    wineserver -w
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
        echo "     wine's own messages, last lines:"
        tail -5 "$work/wine.log" 2>/dev/null
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

# Ctrl-C during the verdict wait ends the run through its failure end: wine
# hands a SIGINT to the program as a console Ctrl-C event (timeout passes it
# on, once in the foreground; else the process group gets it a second time).
# Wine cannot cancel the waiting serial read, so the run ends when the read
# times out, up to 8 s later; on Windows the handler cancels it.
start_target --silent
timeout --foreground 30 wine "$exe" "-F$sample" -COM5 -115200 < /dev/null > "$work/output.txt" 2>> "$work/wine.log" &
fwsend_pid=$!
for _ in $(seq 300); do
    grep -q "0% done" "$work/output.txt" && break
    sleep 0.1
done
signalled=$(date +%s%N)
kill -INT "$fwsend_pid"
wait "$fwsend_pid"
status=$?
echo "     (the run ended $(( ($(date +%s%N) - signalled) / 1000000 )) ms after the Ctrl-C)"
stop_target
check "Ctrl-C ends the run through its failure end" 255 \
    "$banner$connection"$'\r                        \rTransferring.. - 0% done.\nFailed: Interrupted.\n'

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

# Through the stand-in DLLs, which hand back what is written to them: frames
# whose length bytes start with 0x11 come back with the target's "accepted"
# as their first byte, and the drain before the next frame takes the rest.
loopback_image=$work/loopback.txt
awk 'BEGIN {
    for (f = 0; f < 3; f++) {
        printf "11 %02x\n", f
        for (i = 0; i < 4352 + f; i++) printf "%02x%s", (i * 7 + f) % 256, (i % 32 == 31) ? "\n" : " "
        printf "\n"
    }
}' > "$loopback_image"
loopback_progress=
acked=0
for i in 0 1 2; do
    loopback_progress+=$'\r                        \rTransferring.. '"${spinner:$i:1} $((acked * 100 / 13065))% done."
    acked=$((acked + 4354 + i))
done
loopback_done=$'\rTransferring.. 100% done.  \nTarget updated successfully.\n'

# A DLL of a vendor's name in the folder the user runs fwsend from is never
# loaded; the same DLL beside fwsend.exe is.
app=$work/app
planted=$work/planted
mkdir -p "$app" "$planted"
cp "$exe" "$app/"
cp "$stand_ins/FTD2XX.dll" "$stand_ins/SiUSBXp.dll" "$planted/"
exe=$app/fwsend.exe
cd "$planted"
run_fwsend "-F$loopback_image" -115200 -T1 -DLoopback
check "an FTD2XX.dll in the current directory is not loaded" 255 \
    "$banner"$'Connection with FTDI-USB Device...\nError: Loopback in use or does not exist.\n'
run_fwsend "-F$loopback_image" -115200 -T2 "-DLoopback B"
check "a SiUSBXp.dll in the current directory is not loaded" 255 \
    "$banner"$'Connection with CP2102-USB Device...\nError: Loopback B in use or does not exist.\n'
cd - > /dev/null

cp "$stand_ins/FTD2XX.dll" "$stand_ins/SiUSBXp.dll" "$app/"
run_fwsend "-F$loopback_image" -115200 -T1 -DLoopback
check "an upload through the FTD2XX.dll beside fwsend.exe" 0 \
    "$banner"$'Connection with FTDI-USB Device...\n'"$loopback_progress$loopback_done"
run_fwsend "-F$loopback_image" -115200 -T2 "-DLoopback B"
check "an upload through the SiUSBXp.dll beside fwsend.exe" 0 \
    "$banner"$'Connection with CP2102-USB Device...\n'"$loopback_progress$loopback_done"

echo "wine end-to-end: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
