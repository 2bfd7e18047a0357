"""The virtual machine of the stand: Debian's kernel and busybox fetched and
unpacked into the build tree, an initramfs built around them, QEMU started
with the devices under test, and a shell on the guest's console."""

import ctypes
import glob
import os
import signal
import shutil
import socket
import subprocess
import time

GUEST_MODULES = ["e1000", "xhci-pci", "usbserial", "ftdi_sio", "cp210x",
                 "usbip-core", "vhci-hcd"]

INIT = r"""#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
mkdir -p /tmp /run/lock
chmod 1777 /tmp /run/lock
for module in $(cat /etc/modules.load); do insmod /lib/modules/$module; done
ip link set lo up
ip link set eth0 up
ip addr add 10.0.2.15/24 dev eth0
ip route add default via 10.0.2.2
stty -F /dev/ttyS0 -echo -onlcr -icrnl
# fw ARGS: runs fwsend, prints its standard output, @@ERR, its standard error.
fw() { fwsend "$@" >/tmp/out 2>/tmp/err; status=$?; cat /tmp/out; printf '\n@@ERR\n'; cat /tmp/err; return $status; }
echo "@@READY $(uname -r)"
while IFS= read -r line; do eval "$line"; done
"""

PASSWD = "root:x:0:0:root:/root:/bin/sh\nuser:x:1000:1000:user:/tmp:/bin/sh\n"
GROUP = "root:x:0:\ndialout:x:20:user\nuser:x:1000:\n"


def die_with_parent():
    """For a child process: end it when the stand ends, however it ends."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


class Unavailable(Exception):
    """The stand cannot be set up here; the reason is the message."""


def _run(args, cwd=None):
    result = subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    return result.returncode, result.stdout


def _download(debs, package):
    found = glob.glob(os.path.join(debs, package + "_*.deb"))
    if found:
        return found[0]
    code, out = _run(["apt-get", "download", package], cwd=debs)
    found = glob.glob(os.path.join(debs, package + "_*.deb"))
    if code != 0 or not found:
        raise Unavailable("apt-get download %s failed: %s" % (package, out.strip()[-300:]))
    return found[0]


def fetch_packages(work):
    """The kernel and busybox packages, downloaded once into work/debs."""
    if shutil.which("apt-get") is None or shutil.which("dpkg-deb") is None:
        raise Unavailable("apt-get and dpkg-deb are needed to fetch Debian's kernel")
    debs = os.path.join(work, "debs")
    os.makedirs(debs, exist_ok=True)
    kernels = glob.glob(os.path.join(debs, "linux-image-6.1.*-amd64_*.deb"))
    if not kernels:
        meta = _download(debs, "linux-image-amd64")
        code, depends = _run(["dpkg-deb", "-f", meta, "Depends"])
        name = depends.split()[0] if code == 0 and depends.strip() else ""
        if not name.startswith("linux-image-6.1."):
            raise Unavailable("linux-image-amd64 depends on %r, not a 6.1 kernel" % depends)
        kernels = [_download(debs, name)]
    return kernels[0], _download(debs, "busybox-static")


def unpack(deb, into):
    stamp = into + ".unpacked"
    if os.path.exists(stamp) and open(stamp).read() == os.path.basename(deb):
        return
    shutil.rmtree(into, ignore_errors=True)
    code, out = _run(["dpkg-deb", "-x", deb, into])
    if code != 0:
        raise Unavailable("dpkg-deb -x %s: %s" % (deb, out))
    with open(stamp, "w") as f:
        f.write(os.path.basename(deb))


def module_load_order(modules_dir, wanted):
    """The modules and all they depend on, from modules.dep, each after its
    dependencies."""
    deps = {}
    with open(os.path.join(modules_dir, "modules.dep")) as f:
        for line in f:
            path, _, rest = line.partition(":")
            deps[path] = rest.split()
    by_name = {os.path.basename(p)[:-3].replace("_", "-"): p for p in deps}
    order = []

    def add(path):
        if path in order:
            return
        # modules.dep lists the deepest dependency last.
        for dep in reversed(deps[path]):
            add(dep)
        order.append(path)

    for name in wanted:
        path = by_name.get(name.replace("_", "-"))
        if path is None:
            raise Unavailable("module %s not in this kernel" % name)
        add(path)
    return order


class Machine:
    def __init__(self, work, log):
        self.work = os.path.abspath(work)
        self.log = log
        self.kernel_root = os.path.join(work, "kernel")
        self.busybox_root = os.path.join(work, "busybox")
        self.initramfs = os.path.join(work, "initramfs.cpio")
        self.trace_path = os.path.join(work, "qemu-trace.log")
        self.qemu = None
        self.console = None
        self.buffer = b""
        self.serial = 0

    def sock(self, name):
        return os.path.join(self.work, name + ".sock")

    def prepare(self, programs, files):
        """Fetches and unpacks the packages (once), then builds the
        initramfs with programs in /bin and files at their guest paths."""
        if shutil.which("qemu-system-x86_64") is None:
            raise Unavailable("qemu-system-x86_64 not found (Debian: apt-get install qemu-system-x86)")
        kernel_deb, busybox_deb = fetch_packages(self.work)
        unpack(kernel_deb, self.kernel_root)
        unpack(busybox_deb, self.busybox_root)
        busybox = os.path.join(self.busybox_root, "bin", "busybox")
        versions = os.listdir(os.path.join(self.kernel_root, "lib", "modules"))
        self.version = versions[0]
        modules_dir = os.path.join(self.kernel_root, "lib", "modules", self.version)
        if not os.path.exists(os.path.join(modules_dir, "modules.dep")):
            code, out = _run([busybox, "depmod", "-b", self.kernel_root, self.version])
            if code != 0:
                raise Unavailable("depmod: " + out)
        order = module_load_order(modules_dir, GUEST_MODULES)

        root = os.path.join(self.work, "initramfs")
        shutil.rmtree(root, ignore_errors=True)
        for d in ("bin", "etc", "proc", "sys", "dev", "tmp", "images", "lib/modules"):
            os.makedirs(os.path.join(root, d), exist_ok=True)
        shutil.copy(busybox, os.path.join(root, "bin", "busybox"))
        for name, path in programs.items():
            shutil.copy(path, os.path.join(root, "bin", name))
        for module in order:
            target = os.path.join(root, "lib", "modules", module)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy(os.path.join(modules_dir, module), target)
        self._write(root, "etc/modules.load", "\n".join(order) + "\n")
        self._write(root, "etc/passwd", PASSWD)
        self._write(root, "etc/group", GROUP)
        self._write(root, "init", INIT, 0o755)
        for guest_path, data in files.items():
            with open(os.path.join(root, guest_path.lstrip("/")), "wb") as f:
                f.write(data)
        names = []
        for top, dirs, filenames in os.walk(root):
            for n in dirs + filenames:
                names.append(os.path.relpath(os.path.join(top, n), root))
        with open(self.initramfs, "wb") as out:
            result = subprocess.run([busybox, "cpio", "-o", "-H", "newc"], cwd=root,
                                    input=("\n".join(sorted(names)) + "\n").encode(),
                                    stdout=out, stderr=subprocess.PIPE)
        if result.returncode != 0:
            raise Unavailable("cpio: " + result.stderr.decode())
        self.log("kernel %s, modules: %s" % (self.version, " ".join(
            os.path.basename(m)[:-3] for m in order)))

    @staticmethod
    def _write(root, path, text, mode=0o644):
        full = os.path.join(root, path)
        with open(full, "w") as f:
            f.write(text)
        os.chmod(full, mode)

    def boot(self, timeout=120):
        qemu = shutil.which("qemu-system-x86_64")
        if qemu is None:
            raise Unavailable("qemu-system-x86_64 not found (Debian: apt-get install qemu-system-x86)")
        vmlinuz = glob.glob(os.path.join(self.kernel_root, "boot", "vmlinuz-*"))[0]
        for name in ("console", "uart", "ftdi"):
            if os.path.exists(self.sock(name)):
                os.unlink(self.sock(name))
        if os.path.exists(self.trace_path):
            os.unlink(self.trace_path)

        def chardev(name):
            return ["-chardev", "socket,id=%s,path=%s,server=on,wait=off" % (name, self.sock(name))]

        args = [qemu, "-machine", "pc", "-accel", "tcg", "-m", "256", "-smp", "1",
                "-nodefaults", "-display", "none", "-no-reboot",
                "-kernel", vmlinuz, "-initrd", self.initramfs,
                "-append", "console=ttyS0,115200 loglevel=1 panic=-1",
                *chardev("console"), "-serial", "chardev:console",
                *chardev("uart"), "-serial", "chardev:uart",
                "-device", "qemu-xhci,id=xhci",
                *chardev("ftdi"), "-device", "usb-serial,bus=xhci.0,chardev=ftdi",
                "-nic", "user,model=e1000",
                "-D", self.trace_path,
                "-trace", "serial_update_parameters", "-trace", "serial_write",
                "-trace", "usb_serial_*"]
        started = time.monotonic()
        self.qemu = subprocess.Popen(args, stdin=subprocess.DEVNULL, preexec_fn=die_with_parent,
                                     stdout=open(os.path.join(self.work, "qemu.out"), "w"),
                                     stderr=subprocess.STDOUT)
        self.console = self._connect(self.sock("console"))
        line = self._read_until(b"@@READY", started + timeout)
        if line is None:
            raise RuntimeError("the guest did not reach its shell within %d s" % timeout)
        self.log("booted %s in %.1f s" % (line.decode().split()[-1], time.monotonic() - started))

    def _connect(self, path, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                s.connect(path)
                return s
            except OSError:
                s.close()
                if self.qemu.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError("QEMU did not start: see qemu.out")
                time.sleep(0.05)

    def connect_chardev(self, name):
        return self._connect(self.sock(name))

    def _read_until(self, marker, deadline):
        while True:
            index = self.buffer.find(marker)
            if index >= 0:
                end = self.buffer.find(b"\n", index)
                if end >= 0:
                    line = self.buffer[index:end]
                    before = self.buffer[:index]
                    self.buffer = self.buffer[end + 1:]
                    self.last_output = before
                    return line
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return None
            self.console.settimeout(remaining)
            try:
                data = self.console.recv(65536)
            except socket.timeout:
                return None
            if not data:
                return None
            self.buffer += data

    def run(self, command, timeout=60):
        """Runs one shell line in the guest; returns (status, output)."""
        self.serial += 1
        marker = "@@END%d" % self.serial
        line = "{ %s ; } 2>&1; echo \"%s $?\"\n" % (command, marker)
        self.console.sendall(line.encode())
        got = self._read_until(marker.encode() + b" ", time.monotonic() + timeout)
        if got is None:
            raise RuntimeError("guest command timed out: " + command)
        output = self.last_output.decode(errors="replace")
        return int(got.split()[1]), output

    def trace_mark(self):
        try:
            return os.path.getsize(self.trace_path)
        except OSError:
            return 0

    def trace_since(self, mark):
        with open(self.trace_path, "rb") as f:
            f.seek(mark)
            return f.read().decode(errors="replace").splitlines()

    def stop(self):
        if self.console is not None:
            self.console.close()
        if self.qemu is not None and self.qemu.poll() is None:
            self.qemu.terminate()
            try:
                self.qemu.wait(10)
            except subprocess.TimeoutExpired:
                self.qemu.kill()
                self.qemu.wait()
