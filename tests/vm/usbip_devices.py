"""USB devices of our own, served over USB/IP to the guest's vhci-hcd: a
CP2102 bridge and a dual-interface FTDI chip. Each answers the descriptor
requests and the vendor requests its Linux driver sends, keeps what the
driver programmed (rate, framing, flow control, DTR and RTS, latency timer),
logs every control request, and moves bulk data between the driver and the
target plugged into each interface."""

import errno
import os
import select
import socket
import struct
import threading
import time

USBIP_VERSION = 0x0111
OP_REQ_IMPORT, OP_REP_IMPORT = 0x8003, 0x0003
CMD_SUBMIT, CMD_UNLINK, RET_SUBMIT, RET_UNLINK = 1, 2, 3, 4
SPEED_FULL = 2
STALL = -errno.EPIPE


def string_descriptor(text):
    data = text.encode("utf-16-le")
    return bytes([2 + len(data), 3]) + data


def device_descriptor(vendor, product, bcd_device):
    return struct.pack("<BBHBBBBHHHBBBB", 18, 1, 0x0200, 0, 0, 0, 64,
                       vendor, product, bcd_device, 1, 2, 3, 1)


def config_descriptor(interfaces):
    """interfaces: a list of (in endpoint, out endpoint), bulk, 64 bytes."""
    body = b""
    for number, (ep_in, ep_out) in enumerate(interfaces):
        body += struct.pack("<BBBBBBBBB", 9, 4, number, 0, 2, 0xFF, 0xFF, 0xFF, 2)
        body += struct.pack("<BBBBHB", 7, 5, ep_in, 2, 64, 0)
        body += struct.pack("<BBBBHB", 7, 5, ep_out, 2, 64, 0)
    return struct.pack("<BBHBBBBB", 9, 2, 9 + len(body), len(interfaces), 1, 0, 0x80, 50) + body


class Port:
    """One serial channel: what it was programmed with, and its far end."""

    def __init__(self, ep_in, ep_out):
        self.ep_in, self.ep_out = ep_in, ep_out
        self.baud = None
        self.bauds = []          # every rate it was programmed with, in order
        self.framing = None
        self.flow = None
        self.dtr = False
        self.rts = False
        self.latency = 16
        self.far = None          # a target's pty, or None: data is dropped
        self.far_lock = threading.Lock()  # held while far is used or changed
        self.backlog = b""       # from the far end, not yet asked for by the driver
        self.received = 0        # bytes the driver sent out of this port
        self.line_changes = []   # (time, dtr, rts) at every modem-control request


class Device:
    speed = SPEED_FULL

    def __init__(self, busid, product):
        self.busid = busid
        self.product = product
        self.log = []            # (time, bmRequestType, bRequest, wValue, wIndex, data)
        self.log_file = None     # where each control request is written too
        self.unplug_after = None  # drop the connection once this many bytes came out
        self.strings = ["", "Stand", product, "ST%s" % busid.replace("-", "")]

    def standard_request(self, request_type, request, value, index, length):
        if request_type == 0x80 and request == 6:  # GET_DESCRIPTOR
            kind, number = value >> 8, value & 0xFF
            if kind == 1:
                return self.device_descriptor
            if kind == 2:
                return self.config_descriptor
            if kind == 3:
                if number == 0:
                    return bytes([4, 3, 0x09, 0x04])
                if number < len(self.strings):
                    return string_descriptor(self.strings[number])
            return None  # no device qualifier: a full-speed device
        if request_type == 0x80 and request == 0:  # GET_STATUS
            return b"\x00\x00"
        if request_type & 0x80 == 0 and request_type & 0x60 == 0:
            return b""  # SET_CONFIGURATION, SET_INTERFACE, CLEAR_FEATURE
        return None

    def control(self, setup, data):
        request_type, request, value, index, length = struct.unpack("<BBHHH", setup)
        self.log.append((time.monotonic(), request_type, request, value, index, bytes(data)))
        log_file = self.log_file
        if log_file is not None:
            try:
                log_file.write("%.3f %s type %02x request %02x value %04x index %04x length %d %s\n" % (
                    time.monotonic(), self.busid, request_type, request, value, index, length,
                    bytes(data).hex()))
                log_file.flush()
            except ValueError:
                pass  # the stand is closing
        if request_type & 0x60 == 0:
            return self.standard_request(request_type, request, value, index, length)
        return self.vendor_request(request_type, request, value, index, length, data)

    def port_of_endpoint(self, endpoint, direction_in):
        for port in self.ports:
            if (port.ep_in & 0x7F if direction_in else port.ep_out) == endpoint:
                return port
        return None

    def in_packet(self, port, data, room):
        """What one bulk IN transfer of at most room bytes carries, and how
        much of data it took."""
        take = data[:room]
        return take, len(take)


class Cp2102(Device):
    """A CP2102 bridge (10c4:ea60) as the cp210x driver programs it."""

    def __init__(self, busid, product):
        super().__init__(busid, product)
        self.device_descriptor = device_descriptor(0x10C4, 0xEA60, 0x0100)
        self.config_descriptor = config_descriptor([(0x81, 0x01)])
        self.ports = [Port(0x81, 0x01)]
        self.line_ctl = 0x0800
        self.flow_bytes = bytes(16)
        self.enabled = False

    def vendor_request(self, request_type, request, value, index, length, data):
        port = self.ports[0]
        if request_type == 0xC0 and request == 0xFF and value == 0x370B:
            return b"\x02"  # part number: CP2102
        if request_type == 0x41:
            if request == 0x00:  # IFC_ENABLE
                self.enabled = value == 1
            elif request == 0x1E and len(data) == 4:  # SET_BAUDRATE
                port.baud = struct.unpack("<I", data)[0]
                port.bauds.append(port.baud)
            elif request == 0x03:  # SET_LINE_CTL
                self.line_ctl = value
                stop = {0: "1", 1: "1.5", 2: "2"}.get(value & 0xF, "?")
                parity = "NOEMS"[(value >> 4) & 0xF] if (value >> 4) & 0xF < 5 else "?"
                port.framing = "%d%s%s" % (value >> 8, parity, stop)
            elif request == 0x07:  # SET_MHS
                if value & 0x100:
                    port.dtr = bool(value & 1)
                if value & 0x200:
                    port.rts = bool(value & 2)
                port.line_changes.append((time.monotonic(), port.dtr, port.rts))
            elif request == 0x13 and len(data) == 16:  # SET_FLOW
                self.flow_bytes = bytes(data)
                handshake, replace, _, _ = struct.unpack("<IIII", data)
                flows = []
                if handshake & 0x08:
                    flows.append("rtscts")
                if handshake & 0x03 == 2:
                    flows.append("dtrdsr")
                if replace & 0x03:
                    flows.append("xonxoff")
                port.flow = ",".join(flows) or "none"
                port.dtr = handshake & 0x03 == 1
                port.rts = (replace >> 6) & 0x03 == 1
                port.line_changes.append((time.monotonic(), port.dtr, port.rts))
            return b""
        if request_type == 0xC1:
            if request == 0x04:  # GET_LINE_CTL
                return struct.pack("<H", self.line_ctl)
            if request == 0x14:  # GET_FLOW
                return self.flow_bytes
            if request == 0x1D:  # GET_BAUDRATE
                return struct.pack("<I", port.baud or 9600)
            if request == 0x08:  # GET_MDMSTS: DTR, RTS, CTS, DSR, DCD
                return bytes([int(port.dtr) | int(port.rts) << 1 | 0xB0])
            if request == 0x10:  # GET_COMM_STATUS: nothing queued, no errors
                return bytes(19)
            return bytes(length)
        return None


class DualFtdi(Device):
    """A dual-interface FTDI chip (0403:6010, FT2232C/D class) as ftdi_sio
    programs it: interface A on endpoints 0x81/0x02, B on 0x83/0x04."""

    def __init__(self, busid, product):
        super().__init__(busid, product)
        self.device_descriptor = device_descriptor(0x0403, 0x6010, 0x0500)
        self.config_descriptor = config_descriptor([(0x81, 0x02), (0x83, 0x04)])
        self.ports = [Port(0x81, 0x02), Port(0x83, 0x04)]

    @staticmethod
    def baud_of_divisor(divisor):
        """The rate a 3 MHz FTDI baud generator runs at with this divisor:
        14 bits of integer part, three bits of eighths."""
        if divisor == 0:
            return 3000000
        if divisor == 1:
            return 2000000
        eighths = {0: 0, 1: 4, 2: 2, 3: 1, 4: 3, 5: 5, 6: 6, 7: 7}[(divisor >> 14) & 7]
        return 3000000 * 8 / ((divisor & 0x3FFF) * 8 + eighths)

    def vendor_request(self, request_type, request, value, index, length, data):
        channel = (index & 0xFF) - 1
        if not 0 <= channel < len(self.ports):
            return None
        port = self.ports[channel]
        if request_type == 0x40:
            if request == 0x01:  # MODEM_CTRL
                if value & 0x100:
                    port.dtr = bool(value & 1)
                if value & 0x200:
                    port.rts = bool(value & 2)
                port.line_changes.append((time.monotonic(), port.dtr, port.rts))
            elif request == 0x02:  # SET_FLOW_CTRL
                port.flow = {0: "none", 1: "rtscts", 2: "dtrdsr", 4: "xonxoff"}.get(index >> 8, "?")
            elif request == 0x03:  # SET_BAUDRATE
                port.baud = self.baud_of_divisor(value | (index >> 8) << 16)
                port.bauds.append(port.baud)
            elif request == 0x04:  # SET_DATA
                parity = "NOEMS"[(value >> 8) & 7] if (value >> 8) & 7 < 5 else "?"
                stop = {0: "1", 1: "1.5", 2: "2"}.get((value >> 11) & 7, "?")
                port.framing = "%d%s%s" % (value & 0xFF, parity, stop)
            elif request == 0x09:  # SET_LATENCY_TIMER
                port.latency = value & 0xFF
            return b""
        if request_type == 0xC0:
            if request == 0x0A:  # GET_LATENCY_TIMER
                return bytes([port.latency])
            if request == 0x05:  # GET_MODEM_STATUS: CTS, DSR; transmitter empty
                return b"\x31\x60"[:length]
            return bytes(length)
        return None

    def in_packet(self, port, data, room):
        # Every packet starts with the modem and line status bytes.
        take = data[:min(room, 64) - 2]
        return b"\x31\x60" + take, len(take)


class UsbipServer:
    """Serves the devices on 127.0.0.1; one connection per imported device."""

    def __init__(self, devices, log_path):
        self.devices = {d.busid: d for d in devices}
        self.log_file = open(log_path, "w")
        for device in devices:
            device.log_file = self.log_file
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.connections = {}
        self.unplugged = {}  # busid: when its connection was last dropped
        self.lock = threading.Lock()
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def unplug(self, busid):
        """Drops the device's connection: to the guest, the device is gone."""
        with self.lock:
            conn = self.connections.pop(busid, None)
        if conn is not None:
            self.unplugged[busid] = time.monotonic()
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def close(self):
        self.listener.close()
        for busid in list(self.connections):
            self.unplug(busid)
        for device in self.devices.values():
            device.log_file = None
        self.log_file.close()

    @staticmethod
    def _read(conn, size):
        data = b""
        while len(data) < size:
            chunk = conn.recv(size - len(data))
            if not chunk:
                raise ConnectionError("closed")
            data += chunk
        return data

    def _serve(self, conn):
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            version, code, _ = struct.unpack(">HHI", self._read(conn, 8))
            busid = self._read(conn, 32).split(b"\0")[0].decode()
            device = self.devices.get(busid)
            if code != OP_REQ_IMPORT or device is None:
                conn.sendall(struct.pack(">HHI", USBIP_VERSION, OP_REP_IMPORT, 1))
                return
            busnum, devnum = (int(n) for n in busid.split("-"))
            descriptor = device.device_descriptor
            config = device.config_descriptor
            conn.sendall(struct.pack(">HHI", USBIP_VERSION, OP_REP_IMPORT, 0) +
                         ("/stand/" + busid).encode().ljust(256, b"\0") +
                         busid.encode().ljust(32, b"\0") +
                         struct.pack(">IIIHHHBBBBBB", busnum, devnum, device.speed,
                                     *struct.unpack("<HHH", descriptor[8:14]),
                                     0, 0, 0, 1, 1, config[4]))
            with self.lock:
                self.connections[busid] = conn
            Session(conn, device, self).run()
        except (ConnectionError, OSError):
            pass
        finally:
            conn.close()


class Session:
    """The URB traffic of one imported device."""

    def __init__(self, conn, device, server):
        self.conn = conn
        self.device = device
        self.server = server
        self.pending = []  # IN transfers waiting for data: (seqnum, port, length)

    def reply(self, seqnum, status, data=b""):
        self.conn.sendall(struct.pack(">IIIIIiiiii8x", RET_SUBMIT, seqnum, 0, 0, 0,
                                      status, len(data), 0, 0, 0) + data)

    def run(self):
        while True:
            fars = [p.far for p in self.device.ports if p.far is not None]
            readable, _, _ = select.select([self.conn] + fars, [], [], 0.05)
            for port in self.device.ports:
                with port.far_lock:
                    if port.far is not None and port.far in readable:
                        try:
                            port.backlog += os.read(port.far, 4096)
                        except OSError:
                            pass
            self.complete_ins()
            if self.conn in readable:
                self.command()

    def complete_ins(self):
        still = []
        for seqnum, port, length in self.pending:
            with port.far_lock:
                data = port.backlog
                packet, taken = self.device.in_packet(port, data, length) if data else (b"", 0)
                port.backlog = data[taken:]
            if data:
                self.reply(seqnum, 0, packet)
            else:
                still.append((seqnum, port, length))
        self.pending = still

    def command(self):
        header = UsbipServer._read(self.conn, 48)
        command, seqnum, _, direction, endpoint = struct.unpack(">IIIII", header[:20])
        if command == CMD_UNLINK:
            victim = struct.unpack(">I", header[20:24])[0]
            before = len(self.pending)
            self.pending = [p for p in self.pending if p[0] != victim]
            status = -errno.ECONNRESET if len(self.pending) < before else 0
            self.conn.sendall(struct.pack(">IIIIIi24x", RET_UNLINK, seqnum, 0, 0, 0, status))
            return
        if command != CMD_SUBMIT:
            raise ConnectionError("unknown command %d" % command)
        length = struct.unpack(">i", header[24:28])[0]
        setup = header[40:48]
        data = UsbipServer._read(self.conn, length) if direction == 0 and length > 0 else b""
        if endpoint == 0:
            answer = self.device.control(setup, data)
            if answer is None:
                self.reply(seqnum, STALL)
            elif direction == 1:
                self.reply(seqnum, 0, answer[:length])
            else:
                self.conn.sendall(struct.pack(">IIIIIiiiii8x", RET_SUBMIT, seqnum, 0, 0, 0,
                                              0, len(data), 0, 0, 0))
            return
        port = self.device.port_of_endpoint(endpoint, direction == 1)
        if port is None:
            self.reply(seqnum, STALL)
        elif direction == 1:
            self.pending.append((seqnum, port, length))
            self.complete_ins()
        else:
            port.received += len(data)
            with port.far_lock:
                if port.far is not None:
                    _write_all(port.far, data)
            self.conn.sendall(struct.pack(">IIIIIiiiii8x", RET_SUBMIT, seqnum, 0, 0, 0,
                                          0, len(data), 0, 0, 0))
            limit = self.device.unplug_after
            if limit is not None and port.received >= limit:
                self.device.unplug_after = None
                self.server.unplug(self.device.busid)


def _write_all(fd, data):
    while data:
        try:
            data = data[os.write(fd, data):]
        except BlockingIOError:
            select.select([], [fd], [], 1)
        except OSError:
            return
