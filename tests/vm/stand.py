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

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import links  # noqa: E402
from cases import CASES, EXPECTED_FAILURES  # noqa: E402
import usbip_devices  # noqa: E402
import vm  # noqa: E402

from common import (CP2102_PRODUCT, DUAL_PRODUCT, IMAGES, SUCCESS, CaseFailed,  # noqa: E402
                    check, hex_text)

SKIPPED = 77


# --- the stand ------------------------------------------------------------

class Stand:
    def __init__(self, args, log):
        self.args = args
        self.log = log
        self.machine = vm.Machine(args.work, log)
        self.links = {}

    def start(self):
        files = {"/images/%s.txt" % name: hex_text(image) for name, image in IMAGES.items()}
        self.machine.prepare({"fwsend": self.args.fwsend, "fwsend-ports": self.args.ports,
                              "stand-helper": self.args.helper}, files)
        self.machine.boot()
        for name in ("uart", "ftdi"):
            self.links[name] = links.ChardevLink(lambda n=name: self.machine.connect_chardev(n))
        # QEMU attaches its FTDI converter once the chardev is connected.
        self.wait_for("ls /sys/bus/usb-serial/drivers/ftdi_sio | grep -q ttyUSB", "QEMU's FTDI converter")
        self.cp2102 = usbip_devices.Cp2102("1-1", CP2102_PRODUCT)
        self.dual = usbip_devices.DualFtdi("1-2", DUAL_PRODUCT)
        self.usbip = usbip_devices.UsbipServer(
            [self.cp2102, self.dual], os.path.join(self.args.work, "usb-control-requests.log"))
        self.links["cp2102"] = PortLink(self.cp2102.ports[0])
        self.links["dual-a"] = PortLink(self.dual.ports[0])
        self.links["dual-b"] = PortLink(self.dual.ports[1])
        self.attach(self.cp2102)
        self.attach(self.dual)

    def usb_device_dir(self, product):
        """The guest's sysfs folder of the USB device with this product."""
        status, out = self.machine.run(
            "for d in /sys/bus/usb/devices/*; do [ \"$(cat $d/product 2>/dev/null)\" = '%s' ] && readlink -f $d; done"
            % product)
        dirs = out.split()
        check(len(dirs) == 1, "no single USB device %r in the guest: %r" % (product, out))
        return dirs[0]

    def attach(self, device):
        """Imports device over USB/IP and waits for its driver to make its ttys."""
        status, out = self.machine.run("stand-helper attach 10.0.2.2 %d %s" % (self.usbip.port, device.busid))
        check(status == 0, "attach %s: %s" % (device.busid, out))
        self.wait_for("[ $(ls -d /sys/bus/usb/devices/*/*:1.*/ttyUSB* 2>/dev/null | xargs -n1 dirname | "
                      "xargs -n1 dirname | xargs -I{} cat {}/product | grep -c '^%s$') -eq %d ]"
                      % (device.product, len(device.ports)), device.product)

    def stop(self):
        for link in self.links.values():
            link.close()
        if getattr(self, "usbip", None) is not None:
            self.usbip.close()
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


class PortLink:
    """A serial channel of an emulated USB device as a link."""

    def __init__(self, port):
        self.port = port

    def plug(self, target, bytes_per_second=None):
        with self.port.far_lock:
            self.port.far = target.fd if target else None
            self.port.backlog = b""

    def close(self):
        self.plug(None)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True, help="folder in the build tree for downloads and the guest")
    parser.add_argument("--fwsend", required=True, help="the statically linked fwsend")
    parser.add_argument("--helper", required=True, help="the statically linked stand-helper")
    parser.add_argument("--target", required=True, help="fwsend-target")
    parser.add_argument("--ports", required=True, help="the statically linked fwsend-ports")
    parser.add_argument("--fake-sysfs-tree", help="lays out the unit tests' fake sysfs tree")
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
            results.append(run_case(stand, name, case, log))
    finally:
        stand.stop()
    counts = {v: sum(r == v for r in results) for v in ("PASS", "FAIL", "XFAIL", "XPASS")}
    log("%d cases in %.1f s: %d passed, %d failed, %d expected failures, %d unexpected passes" % (
        len(results), time.monotonic() - started, counts["PASS"], counts["FAIL"],
        counts["XFAIL"], counts["XPASS"]))
    return 1 if counts["FAIL"] or counts["XPASS"] else 0


def run_case(stand, name, case, log):
    started = time.monotonic()
    try:
        case(stand)
        verdict, detail = "PASS", ""
    except CaseFailed as why:
        verdict, detail = "FAIL", str(why)
    except Exception:
        verdict, detail = "FAIL", traceback.format_exc()
    if name in EXPECTED_FAILURES:
        reason = EXPECTED_FAILURES[name]
        verdict = "XFAIL" if verdict == "FAIL" else "XPASS"
        detail = "expected to fail until %s%s" % (reason, ("; " + detail) if detail else "")
    seconds = time.monotonic() - started
    log("%-6s %-32s %6.1f s%s" % (verdict, name, seconds,
                                  ("\n    " + detail.replace("\n", "\n    ")) if detail else ""))
    return verdict


if __name__ == "__main__":
    sys.exit(main())
