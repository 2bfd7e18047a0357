"""The far ends of the stand's links: the simulated target (fwsend-target on
a pseudo-terminal) and the relays that join it to a QEMU chardev."""

import os
import select
import signal
import socket
import subprocess
import threading
import time
import tty

from vm import die_with_parent


class Target:
    """fwsend-target on its own pseudo-terminal, recording accepted frames."""

    def __init__(self, program, work, name, options=()):
        self.out_path = os.path.join(work, name + ".frames")
        self.process = subprocess.Popen([program, "--out", self.out_path, *options],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        preexec_fn=die_with_parent)
        pty_path = self.process.stdout.readline().decode().strip()
        self.fd = os.open(pty_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)

    def stop(self):
        """Ends the target; returns the bytes of the frames it accepted."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        self.process.wait(10)
        self.stats = self.process.stderr.read().decode().strip()
        os.close(self.fd)
        with open(self.out_path, "rb") as f:
            return f.read()


class ChardevLink:
    """Joins a QEMU chardev socket to whichever target is plugged in now;
    without a target, what the guest sends is dropped. With a rate, the host
    takes the guest's bytes no faster than that many per second. QEMU's UART
    writes each byte on its own, and a Unix socket charges every such write
    its full buffer overhead, so a few hundred bytes fill the socket and the
    UART must hold the rest in its queue, as a real one at that rate does."""

    def __init__(self, connect):
        self.sock = None
        self.far = None
        self.bytes_per_second = None
        self.lock = threading.Lock()
        self.running = True
        self.sock = connect()
        self.thread = threading.Thread(target=self._pump, daemon=True)
        self.thread.start()

    def plug(self, target, bytes_per_second=None):
        with self.lock:
            self.far = target.fd if target else None
            self.bytes_per_second = bytes_per_second

    def _pump(self):
        # The far end is used only under the lock, so that once plug() has
        # returned no byte goes to or comes from the target unplugged.
        while self.running:
            with self.lock:
                far, rate, sock = self.far, self.bytes_per_second, self.sock
            fds = [sock] + ([far] if far is not None else [])
            try:
                readable, _, _ = select.select(fds, [], [], 0.05)
            except (OSError, ValueError):
                time.sleep(0.01)
                continue
            if sock in readable:
                try:
                    data = sock.recv(16 if rate else 65536)
                except OSError:
                    data = b""
                if not data:
                    time.sleep(0.05)
                    continue
                with self.lock:
                    if self.far is not None:  # perhaps plugged in while this thread waited
                        self._write(self.far, data)
                if rate:
                    time.sleep(len(data) / rate)
            if far is not None and far in readable:
                with self.lock:
                    data = self._read(self.far) if self.far == far else b""
                if data:
                    try:
                        sock.sendall(data)
                    except OSError:
                        pass

    @staticmethod
    def _read(fd):
        try:
            return os.read(fd, 65536)
        except OSError:
            return b""

    @staticmethod
    def _write(fd, data):
        while data:
            try:
                n = os.write(fd, data)
                data = data[n:]
            except BlockingIOError:
                select.select([], [fd], [], 1)
            except OSError:
                return

    def close(self):
        self.running = False
        self.thread.join(2)
        self.sock.close()
