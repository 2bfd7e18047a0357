#!/usr/bin/env bash
# The demo, run from anywhere: installs what the build needs and is missing
# (tools/need.sh), builds fwsend and the simulated target, uploads the
# bundled sample image to the target over a pseudo-terminal at 115200 baud
# 8E1 (the target keeps to that wire time), then checks that the target
# received every byte of the image. Exits with fwsend's status, or 1
# when fwsend succeeded but the target holds something else.
set -u
cd "$(dirname "$0")/.." || exit 1

tools/need.sh || exit 1
cmake -S . -B build || exit 1
cmake --build build -j2 || exit 1

work=$(mktemp -d /tmp/fwsend_demo_XXXXXX) || exit 1
target_pid=
cleanup() {
    if [ -n "$target_pid" ]; then
        kill -TERM "$target_pid" 2>/dev/null
        wait "$target_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

build/fwsend-target --pace 115200 --framing 8E1 --out "$work/received.bin" \
    > "$work/slave.txt" 2> "$work/target.log" &
target_pid=$!

# The target prints its pty's path as its first line.
slave=
for _ in $(seq 50); do
    if read -r slave < "$work/slave.txt" 2>/dev/null && [ -n "$slave" ]; then break; fi
    sleep 0.1
done
if [ -z "$slave" ]; then
    echo "demo: the simulated target did not start:" >&2
    cat "$work/target.log" >&2
    exit 1
fi

echo
echo "Simulated target on $slave. Running:"
echo "  build/fwsend -Ftools/sample-firmware.txt -COM$slave -115200"
echo
build/fwsend -Ftools/sample-firmware.txt "-COM$slave" -115200
status=$?

kill -TERM "$target_pid"
wait "$target_pid"
target_pid=

# Both sides as one hex pair per line: the sample file decoded, and what the
# target stored.
expected=$(tr -s ' \t\r\n' '\n' < tools/sample-firmware.txt | grep -v '^$' | tr 'A-F' 'a-f')
received=$(od -An -v -tx1 "$work/received.bin" | tr -s ' \n' '\n' | grep -v '^$')
bytes=$(printf '%s\n' "$expected" | wc -l)
echo
if [ "$expected" = "$received" ]; then
    echo "Check: the target received all $bytes bytes of the sample image, byte for byte."
else
    echo "Check: FAILED, the target's received bytes differ from the $bytes bytes of the sample image."
    [ "$status" -eq 0 ] && status=1
fi
exit "$status"
