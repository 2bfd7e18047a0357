"""The cases the stand runs, in order. Each takes the running stand and
fails through check()."""

import json
import os
import re
import subprocess
import time

from common import (CP2102_PRODUCT, DUAL_PRODUCT, IMAGES, IN_USE, NOT_RESPONDING, RATES,
                    SUCCESS, check)

FW_ARGS = {
    "uart": "-COM2",
    "ftdi": '-T1 -D"QEMU USB SERIAL"',
    "cp2102": '-T2 -D"%s"' % CP2102_PRODUCT,
    "dual-a": '-T1 -D"%s A"' % DUAL_PRODUCT,
    "dual-b": '-T1 -D"%s B"' % DUAL_PRODUCT,
}

# Cases that show a fault not mended yet: reported as expected failures, and
# as a failure once they pass, so that this list is kept true.
EXPECTED_FAILURES = {}


def guest_tty(stand, link):
    if link == "uart":
        return "/dev/ttyS1"
    product, interface = {"ftdi": ("QEMU USB SERIAL", 0), "cp2102": (CP2102_PRODUCT, 0),
                          "dual-a": (DUAL_PRODUCT, 0), "dual-b": (DUAL_PRODUCT, 1)}[link]
    device = stand.usb_device_dir(product)
    status, out = stand.machine.run("ls %s/*:1.%d/ | grep ttyUSB" % (device, interface))
    check(status == 0, "no tty on interface %d of %s" % (interface, product))
    return "/dev/" + out.split()[0]


def parse_fields(line):
    return dict(field.split("=", 1) for field in line.split() if "=" in field)


def uart_state(lines):
    """What QEMU's second 16550 was last programmed with, from its trace:
    rate and framing from the last parameter update with even parity (the
    console runs without), DTR and RTS from the last write to its modem
    control register. The console never writes that register while its
    shell holds it open."""
    state = {}
    for line in lines:
        if line.startswith("serial_update_parameters") and "parity='E'" in line:
            f = parse_fields(line)
            state["baud"] = int(f["baudrate"])
            state["framing"] = "%s%s%s" % (f["data"], f["parity"].strip("'"), f["stop"])
        elif line.startswith("serial_write") and " addr 0x04 " in line:
            value = int(line.split()[-1], 16)
            state["dtr"], state["rts"] = bool(value & 1), bool(value & 2)
            state.setdefault("mcr_writes", []).append(value)
    return state


def qemu_ftdi_state(lines):
    """What QEMU's FTDI converter was last programmed with, from its trace."""
    state = {}
    for line in lines:
        words = line.replace(",", "").split()
        if line.startswith("usb_serial_set_baud"):
            state["baud"] = int(words[-1])
        elif line.startswith("usb_serial_set_data"):
            # "parity N, data bits 8, stop bits 1"
            state["framing"] = "%s%s%s" % (words[-4], words[-7], words[-1])
        elif line.startswith("usb_serial_set_flow_control"):
            state["flow"] = int(words[-1])
        elif line.startswith("usb_serial_handle_control") and "control 0x4001" in line:
            value = int(words[-1], 16)
            if value & 0x100:
                state["dtr"] = bool(value & 1)
            if value & 0x200:
                state["rts"] = bool(value & 2)
            state.setdefault("mcr_writes", []).append(value)
    return state


def device_state(stand, link, since=0):
    """What the device behind link holds now, as the device itself saw it."""
    if link == "uart":
        return uart_state(stand.machine.trace_since(since))
    if link == "ftdi":
        return qemu_ftdi_state(stand.machine.trace_since(since))
    port = stand.links[link].port
    return {"baud": port.baud, "framing": port.framing, "flow": port.flow,
            "dtr": port.dtr, "rts": port.rts, "latency": port.latency}


def usb_port(stand, link):
    """The emulated USB channel behind link; None for QEMU's own devices,
    which are watched through QEMU's trace."""
    return None if link in ("uart", "ftdi") else stand.links[link].port


def device_marks(stand, link):
    """Where the device's record stands now, for what happens next."""
    port = usb_port(stand, link)
    return stand.machine.trace_mark(), (len(port.line_changes), len(port.bauds)) if port else (0, 0)


def modem_line_writes(stand, link, marks):
    """Every setting of DTR and RTS on the device since the marks."""
    mark, (changes, _) = marks
    port = usb_port(stand, link)
    return port.line_changes[changes:] if port else device_state(stand, link, mark).get("mcr_writes", [])


def programmed_rates(stand, link, marks):
    """Every rate the device was programmed with since the marks. The UART
    takes its divisor a byte at a time, passing through rates no one asked
    for: of it only the last rate with even parity counts, which is
    fwsend's (the port's own settings, put back at the end, have none)."""
    mark, (_, bauds) = marks
    port = usb_port(stand, link)
    if port:
        return port.bauds[bauds:]
    if link == "uart":
        held = uart_state(stand.machine.trace_since(mark)).get("baud")
        return [held] if held is not None else []
    return [int(line.replace(",", "").split()[-1]) for line in stand.machine.trace_since(mark)
            if line.startswith("usb_serial_set_baud")]


def start_in_background(stand, link, rate, verdict_delay_ms=150):
    """Starts an upload of the twenty-frame image that answers each frame
    after verdict_delay_ms, and returns once the first frame is accepted:
    fwsend then holds the port for at least 19 more delays."""
    target = stand.target(link, ("--delay", str(verdict_delay_ms)))
    stand.links[link].plug(target)
    stand.machine.run("fw -F/images/twenty.txt -%d %s >/tmp/bg 2>&1 & echo $! >/tmp/bgpid"
                      % (rate, FW_ARGS[link]))
    deadline = time.monotonic() + 30
    while os.path.getsize(target.out_path) == 0:
        check(time.monotonic() < deadline, "%s: the first frame never arrived" % link)
        time.sleep(0.02)
    return target


def finish_background(stand, link, target):
    status, _ = stand.machine.run("wait $(cat /tmp/bgpid)", 120)
    _, out = stand.machine.run("cat /tmp/bg")
    stand.links[link].plug(None)
    received = target.stop()
    check(status == 0 and SUCCESS in out, "the upload through %s failed: %s" % (link, out[-200:]))
    check(received == IMAGES["twenty"], "the upload through %s was not byte-exact" % link)


def case_upload_uart_by_number(stand):
    stand.expect_upload("uart", "-115200 -COM2")


def case_upload_uart_by_path(stand):
    stand.expect_upload("uart", "-57600 -COM/dev/ttyS1")


def case_upload_qemu_ftdi(stand):
    stand.expect_upload("ftdi", "-115200 " + FW_ARGS["ftdi"])


def case_upload_cp2102(stand):
    stand.expect_upload("cp2102", "-115200 " + FW_ARGS["cp2102"])


def case_upload_dual_ftdi(stand):
    stand.expect_upload("dual-b", "-115200 " + FW_ARGS["dual-b"])


def case_settings_while_held(stand):
    """8E1 on the UART, 8N1 on the USB links, no flow control, raw, DTR and
    RTS low: as the guest's driver reports them and as the device was
    programmed."""
    for link in ("uart", "ftdi", "cp2102", "dual-a"):
        device = guest_tty(stand, link)
        framing = "8E1" if link == "uart" else "8N1"
        target = start_in_background(stand, link, 19200)
        status, out = stand.machine.run("stand-helper line $(pidof fwsend) " + device)
        held = device_state(stand, link)
        finish_background(stand, link, target)
        guest = parse_fields(out)
        check(status == 0 and guest.get("speed") == "19200" and guest.get("framing") == framing and
              guest.get("crtscts") == "0" and guest.get("ixon") == "0" and guest.get("ixoff") == "0" and
              guest.get("raw") == "1" and guest.get("dtr") == "0" and guest.get("rts") == "0",
              "%s: the driver holds %s" % (link, out.strip()))
        check(held.get("baud") is not None and abs(held["baud"] - 19200) <= 19200 * 0.03 and
              held.get("framing") == framing and held.get("dtr") is False and held.get("rts") is False and
              held.get("flow") in (None, 0, "none"),
              "%s: the device holds %s" % (link, held))
        stand.log("    %s: driver %s; device %s" % (link, out.strip(), held))


def check_rates(stand, link):
    """Each rate either runs on the device within 3 %, or fwsend refuses the
    open and says why. Once fwsend has gone the device is back at the rate
    it had before, so what it ran at is told from every rate it was
    programmed with during the run: the one asked for, and the one it had."""
    problems = []
    for rate in RATES:
        before = device_state(stand, link).get("baud") or 9600  # the drivers' default
        marks = device_marks(stand, link)
        status, stdout, stderr, received = stand.upload(link, "-%d %s" % (rate, FW_ARGS[link]), "small")
        rates = programmed_rates(stand, link, marks)
        ran = [r for r in rates if abs(r - rate) <= rate * 0.03]
        other = [r for r in rates if r not in ran and abs(r - before) > before * 0.03]
        if status == 0:
            if received != IMAGES["small"]:
                problems.append("%d: upload not byte-exact" % rate)
            elif not ran or other:
                problems.append("%d: reported success, the device was programmed with %s" % (rate, rates))
        elif IN_USE not in stdout or not stderr.strip():
            problems.append("%d: failed without saying why: %r %r" % (rate, stdout[-60:], stderr))
        else:
            stand.log("    %s %d refused: %s" % (link, rate, stderr.strip()))
    check(not problems, "; ".join(problems))


def case_rates_uart(stand):
    check_rates(stand, "uart")


def case_rates_qemu_ftdi(stand):
    check_rates(stand, "ftdi")


def case_rates_cp2102(stand):
    check_rates(stand, "cp2102")


def case_rates_dual_ftdi(stand):
    check_rates(stand, "dual-a")


def case_latency_timer_restored(stand):
    """ftdi_sio's latency timer is 1 ms while fwsend holds the port and as
    before once it has gone."""
    for link in ("dual-a", "ftdi"):
        path = "/sys/class/tty/%s/device/latency_timer" % guest_tty(stand, link)[5:]
        # The driver's own default, whatever an earlier run left behind.
        _, before = stand.machine.run("echo 16 > %s; cat %s" % (path, path))
        target = start_in_background(stand, link, 115200)
        _, during = stand.machine.run("cat " + path)
        chip_during = device_state(stand, link).get("latency")
        finish_background(stand, link, target)
        _, after = stand.machine.run("cat " + path)
        stand.log("    %s: latency timer %s before, %s while held, %s after" % (
            link, before.strip(), during.strip(), after.strip()))
        check(during.strip() == "1", "%s: latency timer %s while held" % (link, during.strip()))
        check(after.strip() == before.strip(),
              "%s: latency timer %s after the run, %s before" % (link, after.strip(), before.strip()))
        if link == "dual-a":
            check(chip_during == 1 and device_state(stand, link)["latency"] == int(before),
                  "the chip's latency timer was not restored")


def case_held_port_refused(stand):
    """A port that another program holds open without any lock, as screen,
    cat or a getty do (a busybox sleep here), is refused, naming that
    program, and fwsend never touches its modem lines."""
    for link in ("uart", "ftdi", "dual-a"):
        device = guest_tty(stand, link)
        status, out = stand.machine.run(
            "sleep 600 <>%s & p=$!; until [ \"$(readlink /proc/$p/fd/0)\" = %s ]; do sleep 0.05; done; echo $p"
            % (device, device), 30)
        check(status == 0, "%s: no process holds %s: %s" % (link, device, out))
        holder = out.split()[-1]
        try:
            marks = device_marks(stand, link)
            status, stdout, stderr, received = stand.upload(link, "-115200 " + FW_ARGS[link], "small")
            writes = modem_line_writes(stand, link, marks)
        finally:
            stand.machine.run("kill %s; wait %s" % (holder, holder))
        check(not writes, "%s: fwsend changed the modem lines of the held port: %s" % (link, writes))
        check(not received, "%s: the target received %d bytes" % (link, len(received)))
        check(status != 0 and IN_USE in stdout and "in use by process %s (sleep)" % holder in stderr,
              "%s: %r %r" % (link, stdout[-100:], stderr))
        stand.log("    %s refused: %s" % (link, stderr.strip()))


def case_second_fwsend_refused(stand):
    """A second fwsend on a port in use, as root and as an ordinary user,
    with and without a lock folder: refused with a reason, and the first
    upload's modem lines never change."""
    stand.machine.run("chgrp dialout /dev/ttyS1 /dev/ttyUSB*; chmod 660 /dev/ttyS1 /dev/ttyUSB*")
    for folder in ("/run/lock", None):
        if folder is None:
            stand.machine.run("mv /run/lock /run/lock.away")
        try:
            for link in ("uart", "dual-a"):
                check_second_fwsend_refused(stand, link, folder)
        finally:
            if folder is None:
                stand.machine.run("mv /run/lock.away /run/lock")


def check_second_fwsend_refused(stand, link, folder):
    # Time for two refused runs while the first upload goes on.
    target = start_in_background(stand, link, 115200, verdict_delay_ms=400)
    marks = device_marks(stand, link)
    runs = {
        "root": "fw -F/images/small.txt -115200 %s" % FW_ARGS[link],
        "user": "su -s /bin/sh -c 'fwsend -F/images/small.txt -115200 %s >/tmp/out 2>/tmp/err' user; "
                "s=$?; cat /tmp/out; printf '\\n@@ERR\\n'; cat /tmp/err; [ $s = 0 ]" % FW_ARGS[link],
    }
    results = {who: stand.machine.run(command) for who, command in runs.items()}
    pulses = modem_line_writes(stand, link, marks)
    finish_background(stand, link, target)
    where = "with %s" % folder if folder else "without a lock folder"
    check(not pulses, "%s %s: the first upload's modem lines changed: %s" % (link, where, pulses))
    for who, (status, out) in results.items():
        stdout, _, stderr = out.partition("\n@@ERR\n")
        check(status != 0 and IN_USE in stdout and "(fwsend)" in stderr,
              "%s as %s %s: %r %r" % (link, who, where, stdout[-100:], stderr))
        stand.log("    %s as %s %s refused: %s" % (link, who, where, stderr.strip()))


def case_port_left_as_found(stand):
    """Once fwsend has gone, each port's terminal settings are as it found
    them, not raw at the upload's rate: the kernel keeps them between
    opens."""
    for link in ("uart", "ftdi", "cp2102", "dual-a"):
        device = guest_tty(stand, link)
        _, before = stand.machine.run("stty -F %s -g" % device)
        stand.expect_upload(link, "-57600 " + FW_ARGS[link], "small")
        _, after = stand.machine.run("stty -F %s -g" % device)
        check(after == before, "%s: %s before the run, %s after" % (link, before.strip(), after.strip()))
        stand.log("    %s: %s before and after" % (link, before.strip()))


def case_dual_channels(stand):
    """Channel A and B reach interface 0 and 1 only; with interface 0
    unbound from ftdi_sio, B still reaches interface 1."""
    a, b = stand.dual.ports
    for link, other in (("dual-a", b), ("dual-b", a)):
        before = other.received
        stand.expect_upload(link, "-115200 " + FW_ARGS[link], "small")
        check(other.received == before, "%s also reached the other interface" % link)
    busid = os.path.basename(stand.usb_device_dir(DUAL_PRODUCT))
    status, out = stand.machine.run("echo %s:1.0 > /sys/bus/usb/drivers/ftdi_sio/unbind" % busid)
    check(status == 0, "unbind: " + out)
    try:
        before = a.received
        stand.expect_upload("dual-b", "-115200 " + FW_ARGS["dual-b"], "small")
        check(a.received == before, "channel B reached interface 0")
        status, stdout, _, _ = stand.upload("dual-b", '-115200 -T1 -D"%s"' % DUAL_PRODUCT, "small")
        check(status != 0 and IN_USE in stdout, "the bare product string opened channel B")
    finally:
        stand.machine.run("echo %s:1.0 > /sys/bus/usb/drivers/ftdi_sio/bind" % busid)


def case_ports_lists_the_guest_devices(stand):
    """fwsend-ports, run in the guest, names each device with the option
    that the upload cases use, and each of those options reaches it."""
    status, out = stand.machine.run("fwsend-ports --json")
    check(status == 0, "fwsend-ports: status %d\n%s" % (status, out))
    entries = json.loads(out)
    stand.log("    fwsend-ports: " + "; ".join(
        "%s %s %s" % (e["device"], e["option"], (e["link"] or {}).get("option")) for e in entries))
    options = {e["device"]: e["option"] for e in entries}
    check(options.get("/dev/ttyS1") == "-COM2", "ttyS1 is not listed as -COM2: %r" % options)
    described = {(e["link"] or {}).get("option"): e for e in entries if e["link"]}
    for link in ("ftdi", "cp2102", "dual-a", "dual-b"):
        entry = described.get(FW_ARGS[link]) or {}
        check(entry.get("device") == guest_tty(stand, link),
              "%s: %s is listed for %r, not %s" % (link, FW_ARGS[link], entry, guest_tty(stand, link)))
        # The serial number is the one the kernel read from the device.
        product = {"ftdi": "QEMU USB SERIAL", "cp2102": CP2102_PRODUCT}.get(link, DUAL_PRODUCT)
        status, serial = stand.machine.run("cat %s/serial" % stand.usb_device_dir(product))
        serial = serial.strip() if status == 0 else None
        check(entry.get("serialNumber") == serial,
              "%s: serial number %r, the kernel read %r" % (link, entry.get("serialNumber"), serial))
        stand.expect_upload(link, "-115200 " + FW_ARGS[link], "small")
    check(all(e["state"] == "free" for e in entries if e["device"] != "/dev/ttyS0"),
          "a device is not free: %r" % [(e["device"], e["state"]) for e in entries])


def case_verdict_wait_after_drain(stand):
    """A 4 KiB frame at 4800 baud, taken by the host at the wire rate and
    answered at once: the verdict wait starts once the frame has left the
    driver (about 9 s of it sit in the UART's queue when write returns)."""
    stand.expect_upload("uart", "-4800 -COM2", "slow", rate=4800 / 11, timeout=120)


def case_unplug_mid_upload(stand):
    """Dropping a USB device's connection mid-upload ends the run with
    "Target is not responding." within 2 s."""
    for link, device in (("cp2102", stand.cp2102), ("dual-a", stand.dual)):
        device.unplug_after = 20000
        status, stdout, _, _ = stand.upload(link, "-115200 " + FW_ARGS[link], "long")
        ended = time.monotonic()
        unplugged = stand.usbip.unplugged.get(device.busid)
        stand.attach(device)
        check(status != 0 and stdout.rstrip().endswith(NOT_RESPONDING),
              "%s: %r" % (link, stdout[-100:]))
        check(unplugged is not None and ended - unplugged < 2.0,
              "%s: the run ended %.1f s after the unplug" % (link, ended - unplugged if unplugged else -1))
        stand.log("    %s: ended %.2f s after the unplug" % (link, ended - unplugged))


# Prints, for every serial tty below $S (a sysfs root), its class link and
# device link, then each folder from the tty's device up to the devices root
# with its driver and subsystem links and the attributes fwsend's lookup and
# the kernel's USB serial drivers have; a leading blank shows as "_".
SYSFS_WALK = (
    "for t in $S/class/tty/ttyS1 $S/class/tty/ttyUSB*; do [ -e $t ] || continue; "
    " echo \"$t -> $(readlink $t)\"; echo \"$t/device -> $(readlink $t/device)\"; "
    " d=$(readlink -f $t/device); "
    " while [ \"$d\" != $S/devices ] && [ \"$d\" != / ]; do "
    "  echo \"  $d\"; [ -L $d/driver ] && echo \"    driver -> $(readlink $d/driver)\"; "
    "  [ -L $d/subsystem ] && echo \"    subsystem -> $(readlink $d/subsystem)\"; "
    "  for a in idVendor idProduct product manufacturer serial bcdDevice bNumInterfaces bInterfaceNumber "
    "bInterfaceClass latency_timer port_number; do "
    "   [ -f $d/$a ] && echo \"    $a=$(sed 's/^ /_/' $d/$a)\"; done; "
    "  d=$(dirname $d); done; done")


def parse_walk(text, root):
    """{tty: {"class": link, "device": link, "levels": [(folder, {name: value})]}},
    folders and links with the tree's root taken off; driver and subsystem
    links are attributes named "driver ->" and "subsystem ->"."""
    chains = {}
    chain = None
    for line in text.splitlines():
        if not line.startswith(" ") and " -> " in line:
            path, target = line.split(" -> ", 1)
            tty = path[len(root) + len("/class/tty/"):].split("/")[0]
            chain = chains.setdefault(tty, {"levels": []})
            chain["device" if path.endswith("/device") else "class"] = target
        elif line.startswith("    ") and chain is not None:
            name, _, value = line.strip().partition("=") if " -> " not in line else \
                (line.strip().split(" -> ")[0] + " ->", "", line.strip().split(" -> ")[1])
            chain["levels"][-1][1][name] = value
        elif line.startswith("  ") and chain is not None:
            chain["levels"].append((line.strip()[len(root):], {}))
    return chains


def shape(text):
    """A path or value with the names that differ from machine to machine
    (controllers, bus and device numbers, tty numbers, hex digits) replaced
    by placeholders."""
    text = re.sub(r"ttyUSB\d+", "ttyUSB#", text)
    text = re.sub(r"\b\d+-[\d.]+(:\d+\.\d+)?", lambda m: "D" + (":C.I" if m.group(1) else ""), text)
    text = re.sub(r"^(.*?/)?usb\d+(/|$)", r".../usb#\2", text)
    text = re.sub(r"^(\.\./)+", "../", text)
    if re.fullmatch(r"_?[0-9a-f]+", text):
        text = re.sub(r"[0-9a-f]", "h", text)
    return text


def compare_chains(real, fake):
    """What differs between a fake chain and the real one: the class and
    device links, and for the port, interface, USB device and root hub each
    attribute the fake has (the real one may have more)."""
    problems = []
    for link in ("class", "device"):
        if shape(real[link]) != shape(fake[link]):
            problems.append("%s link %s, fake %s" % (link, real[link], fake[link]))
    levels = zip(real["levels"][:4], fake["levels"][:4])
    for level, ((real_dir, real_attrs), (fake_dir, fake_attrs)) in enumerate(levels):
        if shape(os.path.basename(real_dir)) != shape(os.path.basename(fake_dir)):
            problems.append("folder %s, fake %s" % (real_dir, fake_dir))
        for name, value in fake_attrs.items():
            if name not in real_attrs:
                problems.append("%s has no %s" % (real_dir, name))
            elif name in ("product", "manufacturer") and level == 3:
                continue  # text: the root hub's names its host controller
            elif name == "serial":
                continue  # text the device chose
            elif name in ("latency_timer", "port_number"):
                if not (real_attrs[name].isdigit() and value.isdigit()):
                    problems.append("%s/%s is %r, fake %r" % (real_dir, name, real_attrs[name], value))
            elif shape(real_attrs[name].split("/bus/")[-1]) != shape(value.split("/bus/")[-1]):
                problems.append("%s/%s is %r, fake %r" % (real_dir, name, real_attrs[name], value))
    return problems


def case_sysfs_chains(stand):
    """The sysfs chains of every tty under test, recorded in the log, and the
    unit tests' fake trees checked against them: the same folder shapes,
    attribute names and formats."""
    status, out = stand.machine.run("S=/sys; " + SYSFS_WALK)
    check(status == 0, "sysfs walk failed: " + out)
    stand.log(out.rstrip())
    real = parse_walk(out, "/sys")
    if not stand.args.fake_sysfs_tree:
        return
    tree = subprocess.Popen([stand.args.fake_sysfs_tree], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        root = tree.stdout.readline().strip()
        walked = subprocess.run(["sh", "-c", "S=%s; %s" % (root, SYSFS_WALK)], capture_output=True, text=True)
    finally:
        tree.stdin.close()
        tree.wait()
    fake = parse_walk(walked.stdout, root)
    check(len(fake) == 4, "the fake tree has %d ttys: %s" % (len(fake), walked.stdout[:300]))

    def key(chain):  # product and interface number
        levels = chain["levels"]
        return levels[2][1].get("product"), levels[1][1].get("bInterfaceNumber")

    real_by_key = {key(c): c for tty, c in real.items() if tty.startswith("ttyUSB")}
    problems = []
    for tty, chain in sorted(fake.items()):
        match = real_by_key.get(key(chain))
        if match is None:
            problems.append("no real tty for the fake %s %s" % (tty, key(chain)))
            continue
        problems += ["%s: %s" % (tty, p) for p in compare_chains(match, chain)]
    check(not problems, "the fake tree differs from the kernel's:\n" + "\n".join(problems))
    stand.log("    the fake tree's %d chains have the kernel's shapes" % len(fake))


CASES = [
    case_upload_uart_by_number,
    case_upload_uart_by_path,
    case_upload_qemu_ftdi,
    case_upload_cp2102,
    case_upload_dual_ftdi,
    case_sysfs_chains,
    case_settings_while_held,
    case_rates_uart,
    case_rates_qemu_ftdi,
    case_rates_cp2102,
    case_rates_dual_ftdi,
    case_latency_timer_restored,
    case_port_left_as_found,
    case_held_port_refused,
    case_second_fwsend_refused,
    case_dual_channels,
    case_ports_lists_the_guest_devices,
    case_verdict_wait_after_drain,
    case_unplug_mid_upload,
]
