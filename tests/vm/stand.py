#!/usr/bin/env python3
"""The test stand: the built fwsend in a QEMU virtual machine with Debian's
own kernel, through the real 8250, ftdi_sio and cp210x drivers, against the
simulated target on the host. One boot runs every case; each case prints its
verdict and its time. Exits 77 (skipped) where QEMU or the packages cannot be
had, unless CI is set, where that is a failure."""

import argparse
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import links  # noqa: E402
import vm  # noqa: E402

SKIPPED = 77
RATES = [110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000,
         57600, 115200, 128000, 256000]
IN_USE = "in use or does not exist."
SUCCESS = "Target updated successfully."
NOT_RESPONDING = "Failed: Target is not responding."


class CaseFailed(Exception):
    pass


class Pending(Exception):
    """The behaviour the case asks for is not built yet: reported, never a pass."""


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
    "slow": make_image([4096, 4096], 2),
    "long": make_image([4000] * 20, 3),
}


# --- the stand ------------------------------------------------------------

class Stand:
    def __init__(self, args, log):
        self.args = args
        self.log = log
        self.machine = vm.Machine(args.work, log)
        self.links = {}

    def start(self):
        files = {"/images/%s.txt" % name: hex_text(image) for name, image in IMAGES.items()}
        self.machine.prepare({"fwsend": self.args.fwsend, "stand-helper": self.args.helper}, files)
        self.machine.boot()
        for name in ("uart", "ftdi"):
            self.links[name] = links.ChardevLink(lambda n=name: self.machine.connect_chardev(n))
        # QEMU attaches its FTDI converter once the chardev is connected.
        self.wait_for("ls /sys/bus/usb-serial/drivers/ftdi_sio | grep -q ttyUSB", "QEMU's FTDI converter")

    def stop(self):
        for link in self.links.values():
            link.close()
        self.machine.stop()

    def wait_for(self, condition, what, timeout=20):
        status, out = self.machine.run(
            "n=0; until %s; do n=$((n+1)); [ $n -gt %d ] && break; sleep 0.1; done; %s"
            % (condition, timeout * 10, condition), timeout + 10)
        check(status == 0, "%s did not appear in the guest" % what)

    def target(self, name, options=()):
        return links.Target(self.args.target, self.args.work, name, options)

    def upload(self, link, fwsend_args, image="twenty", options=(), rate=None, timeout=120):
        """One fwsend run in the guest through link against a fresh target;
        returns (status, stdout, stderr, bytes the target accepted)."""
        target = self.target(link, options)
        self.links[link].plug(target, rate)
        try:
            status, out = self.machine.run("fw -F/images/%s.txt %s" % (image, fwsend_args), timeout)
        finally:
            self.links[link].plug(None)
            received = target.stop()
        stdout, _, stderr = out.partition("\n@@ERR\n")
        return status, stdout, stderr, received

    def expect_upload(self, link, fwsend_args, image="twenty", **kwargs):
        status, stdout, stderr, received = self.upload(link, fwsend_args, image, **kwargs)
        check(status == 0 and stdout.rstrip().endswith(SUCCESS),
              "fwsend %s: status %d\n%s\n%s" % (fwsend_args, status, stdout[-300:], stderr))
        check(received == IMAGES[image],
              "the target received %d bytes, not the %d of the image" % (len(received), len(IMAGES[image])))


# --- the cases ------------------------------------------------------------

def case_upload_uart_by_number(stand):
    stand.expect_upload("uart", "-115200 -COM2")


def case_upload_uart_by_path(stand):
    stand.expect_upload("uart", "-57600 -COM/dev/ttyS1")


def case_upload_qemu_ftdi(stand):
    stand.expect_upload("ftdi", '-115200 -T1 -D"QEMU USB SERIAL"')


CASES = [
    case_upload_uart_by_number,
    case_upload_uart_by_path,
    case_upload_qemu_ftdi,
]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True, help="folder in the build tree for downloads and the guest")
    parser.add_argument("--fwsend", required=True, help="the statically linked fwsend")
    parser.add_argument("--helper", required=True, help="the statically linked stand-helper")
    parser.add_argument("--target", required=True, help="fwsend-target")
    parser.add_argument("--fake-sysfs-source", help="the unit tests' fake sysfs, checked against the guest's")
    parser.add_argument("cases", nargs="*", help="run only these cases")
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    os.makedirs(args.work, exist_ok=True)

    def log(text):
        print(text, flush=True)

    stand = Stand(args, log)
    try:
        stand.start()
    except vm.Unavailable as reason:
        stand.stop()
        if os.environ.get("CI"):
            log("FAILED: the stand cannot run in CI: %s" % reason)
            return 1
        log("SKIPPED: %s" % reason)
        return SKIPPED
    except Exception:
        stand.stop()
        raise

    results = []
    started = time.monotonic()
    try:
        for case in CASES:
            name = case.__name__[len("case_"):]
            if args.cases and name not in args.cases:
                continue
            case_started = time.monotonic()
            try:
                case(stand)
                verdict, detail = "PASS", ""
            except Pending as why:
                verdict, detail = "PENDING", str(why)
            except CaseFailed as why:
                verdict, detail = "FAIL", str(why)
            except Exception:
                verdict, detail = "FAIL", traceback.format_exc()
            seconds = time.monotonic() - case_started
            results.append((name, verdict, seconds))
            log("%-8s %-40s %6.1f s%s" % (verdict, name, seconds, ("\n    " + detail.replace("\n", "\n    ")) if detail else ""))
    finally:
        stand.stop()
    log("%d cases in %.1f s: %d passed, %d failed, %d pending" % (
        len(results), time.monotonic() - started,
        sum(r[1] == "PASS" for r in results), sum(r[1] == "FAIL" for r in results),
        sum(r[1] == "PENDING" for r in results)))
    return 1 if any(r[1] == "FAIL" for r in results) else 0


if __name__ == "__main__":
    sys.exit(main())
