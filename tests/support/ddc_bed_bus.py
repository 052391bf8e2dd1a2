# One /dev/i2c-N of the DDC/CI test bed (tests/support/ddc-test-bed) as the
# kernel's i2c-dev driver shows it (drivers/i2c/i2c-dev.c), and the monitor
# that may sit on it.
#
# I2C_SLAVE and I2C_SLAVE_FORCE choose the address of the file's later
# read() and write(), I2C_FUNCS tells what the adapter does (plain I2C
# transfers), I2C_RDWR makes several transfers in one call, each a struct
# i2c_msg {addr, flags, len, buf} of include/uapi/linux/i2c.h (I2C_M_RD = 1
# in flags for a read). Nobody at an address fails with ENXIO
# (Documentation/i2c/fault-codes.rst).
#
# At 0x50 the EDID answers as an EEPROM does: a write sets the offset, a read
# goes on from there; or, as the DisplayPort MST buses of rockowitz/ddcutil#585
# do, all zeros or the second block first; or nobody answers there. At 0x37
# the monitor answers DDC/CI (VESA DDC/CI 1.1, as rockowitz/ddcutil v2.2.7
# src/base/ddc_packets.c frames it): Get VCP Feature (51 82 01 code chk) is
# answered 6E 88 02 result code 00 max-hi max-lo cur-hi cur-lo chk, with
# result 1 for any control but 0x10; Set VCP Feature (51 84 03 10 hi lo chk)
# sets its brightness; a read with nothing prepared, or before the monitor
# is ready (reply_seconds after the request), gives the null message. A
# silent monitor acknowledges nothing at 0x37; one with transfer_errno fails
# every transfer there with it (EINVAL, as NVIDIA's driver did in
# rockowitz/ddcutil#507).
import struct
import time

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import UMockdev  # noqa: E402

I2C_SLAVE, I2C_FUNCS, I2C_SLAVE_FORCE, I2C_RDWR = 0x0703, 0x0705, 0x0706, 0x0707
I2C_M_RD = 0x0001
# I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL (include/uapi/linux/i2c.h), what i2c-dev
# reports for an adapter that makes plain I2C transfers.
FUNCS = 0x00000001 | 0x0EFF0008
ENXIO, ENOTTY, EINVAL = 6, 25, 22
EDID_AT_0X50 = ("as recorded", "zeros", "second block first", "nobody")


class Monitor:
    def __init__(self, edid, brightness, answers=True, at0x50="as recorded",
                 transfer_errno=0, reply_seconds=0.0):
        if at0x50 not in EDID_AT_0X50:
            raise ValueError("at0x50 is one of " + ", ".join(EDID_AT_0X50))
        memory = edid + bytes(max(0, 256 - len(edid)))
        if at0x50 == "second block first":
            memory = memory[128:256] + memory[:128] + memory[256:]
        self.edid = memory if at0x50 != "zeros" else bytes(len(memory))
        self.edid_there = at0x50 != "nobody" and bool(edid)
        self.answers, self.transfer_errno = answers, transfer_errno
        self.reply_seconds, self.ready_at = reply_seconds, 0.0
        self.current, self.maximum = brightness, 100
        self.reply, self.offset, self.sets = b"", 0, 0

    @staticmethod
    def checksum(seed, data):
        for b in data:
            seed ^= b
        return seed

    def write(self, address, data):
        """0 when taken, else the errno of the transfer."""
        if address == 0x50:
            if not self.edid_there:
                return ENXIO
            self.offset = data[0] if data else self.offset
            return 0
        if address != 0x37 or not self.answers:
            return ENXIO
        if self.transfer_errno:
            return self.transfer_errno
        if len(data) < 3 or data[0] != 0x51 or self.checksum(0x6E, data[:-1]) != data[-1]:
            return 0  # taken, and ignored
        body = data[2:-1]
        if len(body) == 2 and body[0] == 0x01:
            known = body[1] == 0x10
            reply = bytes([0x6E, 0x88, 0x02, 0x00 if known else 0x01, body[1], 0x00,
                           0, self.maximum if known else 0, 0, self.current if known else 0])
            self.reply = reply + bytes([self.checksum(0x50, reply)])
            self.ready_at = time.monotonic() + self.reply_seconds
        elif len(body) == 4 and body[0] == 0x03 and body[1] == 0x10:
            self.current = min(body[2] << 8 | body[3], self.maximum)
            self.sets += 1
        return 0

    def read(self, address, count):
        """The bytes read, else the errno of the transfer."""
        if address == 0x50:
            if not self.edid_there:
                return ENXIO
            out = bytes(self.edid[(self.offset + i) % 256] for i in range(count))
            self.offset = (self.offset + count) % 256
            return out
        if address != 0x37 or not self.answers:
            return ENXIO
        if self.transfer_errno:
            return self.transfer_errno
        if not self.reply or time.monotonic() < self.ready_at:
            return (bytes([0x6E, 0x80, 0xBE]) + bytes(count))[:count]
        reply, self.reply = self.reply, b""
        return (reply + bytes(count))[:count]


class Nobody:
    """A bus with no monitor on it: no address is acknowledged."""

    def write(self, address, data):
        return ENXIO

    def read(self, address, count):
        return ENXIO


class I2cDev(UMockdev.IoctlBase):
    """/dev/i2c-N as i2c-dev shows it; each open file has its own address."""

    def __init__(self, monitor):
        super().__init__()
        self.monitor = monitor
        self.addresses = {}

    def do_handle_ioctl(self, client):
        request, arg = client.get_request(), client.get_arg()
        if request in (I2C_SLAVE, I2C_SLAVE_FORCE):
            address = int.from_bytes(bytes(arg.retrieve())[:8], "little")
            if address > 0x7F:
                client.complete(-1, EINVAL)
                return True
            self.addresses[client] = address
            client.complete(0, 0)
        elif request == I2C_FUNCS:
            arg.resolve(0, 8).update(0, list(struct.pack("<Q", FUNCS)))
            client.complete(0, 0)
        elif request == I2C_RDWR:
            # struct i2c_rdwr_ioctl_data {struct i2c_msg *msgs; __u32 nmsgs;}
            data = arg.resolve(0, 16)
            count = struct.unpack_from("<I", bytes(data.retrieve()), 8)[0]
            msgs = data.resolve(0, 16 * count)
            raw = bytes(msgs.retrieve())
            for i in range(count):
                address, flags, length = struct.unpack_from("<HHH", raw, 16 * i)
                buf = msgs.resolve(16 * i + 8, length)
                if flags & I2C_M_RD:
                    out = self.monitor.read(address, length)
                    if isinstance(out, int):
                        client.complete(-1, out)
                        return True
                    buf.update(0, list(out))
                else:
                    error = self.monitor.write(address, bytes(buf.retrieve()))
                    if error:
                        client.complete(-1, error)
                        return True
            client.complete(count, 0)
        else:
            client.complete(-1, ENOTTY)
        return True

    def do_handle_read(self, client):
        arg = client.get_arg()
        count = len(arg.retrieve())
        out = self.monitor.read(self.addresses.get(client, 0), count)
        if isinstance(out, int):
            client.complete(-1, out)
        else:
            arg.update(0, list(out))
            client.complete(count, 0)
        return True

    def do_handle_write(self, client):
        data = bytes(client.get_arg().retrieve())
        error = self.monitor.write(self.addresses.get(client, 0), data)
        if error:
            client.complete(-1, error)
        else:
            client.complete(len(data), 0)
        return True

    def do_client_vanished(self, client):
        self.addresses.pop(client, None)
