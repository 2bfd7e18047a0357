"""What the stand and its cases share: the messages fwsend prints, the
upgrade images, and how a case fails."""

RATES = [110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000,
         57600, 115200, 128000, 256000]
IN_USE = "in use or does not exist."
SUCCESS = "Target updated successfully."
NOT_RESPONDING = "Failed: Target is not responding."
CP2102_PRODUCT = "Stand CP2102 Bridge"
DUAL_PRODUCT = "Stand Dual RS232"


class CaseFailed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise CaseFailed(message)


# --- upgrade images -------------------------------------------------------

def make_image(payload_lengths, seed):
    """Frames laid end to end; payloads full of the bytes a line discipline
    or a flow control would eat: 0x00, XON, XOFF, CR, LF, 0xFF."""
    special = [0x00, 0x11, 0x13, 0x0D, 0x0A, 0xFF]
    image = bytearray()
    for index, length in enumerate(payload_lengths):
        image += bytes([length >> 8, length & 0xFF])
        for i in range(length):
            if i % 3 == 0:
                image.append(special[(i // 3 + index + seed) % len(special)])
            else:
                image.append((i * 7 + index * 13 + seed) & 0xFF)
    return bytes(image)


def hex_text(image):
    return "\n".join(image[i:i + 32].hex(" ") for i in range(0, len(image), 32)).encode() + b"\n"


TWENTY_FRAMES = [0, 5000, 1, 2, 17, 63, 64, 65, 255, 256, 511, 512, 1023,
                 1024, 2047, 4094, 4095, 4096, 3000, 9]
IMAGES = {
    "twenty": make_image(TWENTY_FRAMES, 0),
    "small": make_image([40, 12], 1),
    "slow": make_image([4096], 2),
    "long": make_image([4000] * 20, 3),
}
