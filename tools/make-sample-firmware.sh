#!/bin/sh
# Writes the bundled sample upgrade image to stdout: 48 frames, each a
# 2-byte big-endian payload length (0x0100) and 256 payload bytes from a
# small linear congruential generator, as hex pairs, 32 pairs per line.
#   tools/make-sample-firmware.sh > tools/sample-firmware.txt
awk 'BEGIN {
    frames = 48; payload = 256; seed = 12345; n = 0
    for (f = 0; f < frames; f++) {
        emit(int(payload / 256)); emit(payload % 256)
        for (i = 0; i < payload; i++) {
            seed = (seed * 75 + 74) % 65537
            emit(seed % 256)
        }
    }
    if (n % 32 != 0) printf "\n"
}
function emit(byte) {
    printf "%s%02X", (n % 32 == 0 ? "" : " "), byte
    n++
    if (n % 32 == 0) printf "\n"
}'
