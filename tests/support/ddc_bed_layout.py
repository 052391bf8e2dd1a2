# The machine of a DDC/CI test bed (tests/support/ddc-test-bed) as umockdev's
# device text: graphics cards, their outputs, I2C adapters below a card, an
# output or an SMBus controller, and the /dev/i2c-N node of each, laid out as
# the kernel does (an output's AUX adapter has the connector as parent,
# drm_dp_aux_register; a card's own adapters the PCI device).
#
# A layout is a dict, as in tests/data/ddc-layouts/*.json:
#   cards:   [{card, driver, pci?}]   card N is at PCI 0000:(N+1):00.0 unless pci says
#   outputs: [{name "cardN-XXX", connected, enabled?, edid?, ddc?}]
#   buses:   [{bus, name, below "cardN" | "cardN-XXX" | "smbus", monitor?}]
#   monitor: {edid, answers?, at0x50?, transfer_errno?, reply_seconds?}
# An EDID is [maker, product, serial, name] (made as platform/sim's makeEdid
# makes it) or bytes.
#
# Every attribute ends in a newline, as the kernel's show functions write it
# ("%s\n"): ddcutil 2.x cuts the last character of an attribute's first line
# as the newline (src/util/file_util.c file_get_first_line, v2.2.0), so
# without it "0x030000" reads as class 0x03000 and the bus is not a display's.
import errno
import json
import os

from ddc_bed_bus import Monitor, Nobody

VENDORS = {"i915": ("0x8086", "0x9a49"), "amdgpu": ("0x1002", "0x73bf"),
           "nvidia": ("0x10de", "0x24b0")}
SMBUS = "/devices/pci0000:00/0000:00:14.0"


def make_edid(maker, product, serial, name):
    """The EDID platform/sim/SimAVServices.cpp makeEdid makes, byte for byte."""
    e = bytearray(128)
    e[0:8] = bytes([0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00])
    m = 0
    for letter in maker:
        m = m << 5 | (ord(letter) - ord("A") + 1) & 0x1F
    e[8], e[9] = m >> 8 & 0xFF, m & 0xFF
    e[10], e[11] = product & 0xFF, product >> 8 & 0xFF
    e[12:16] = serial.to_bytes(4, "little")
    e[16:21] = bytes([1, 30, 1, 4, 0xA5])
    if name:
        e[75] = 0xFC
        text = name[:13].encode("ascii")
        e[77:90] = (text + (b"\n" if len(text) < 13 else b"")).ljust(13, b" ")
    e[127] = (0x100 - sum(e[:127]) % 256) % 256
    return bytes(e)


def edid_bytes(edid):
    if isinstance(edid, (bytes, bytearray)):
        return bytes(edid)
    maker, product, serial, name = edid
    number = lambda v: int(v, 0) if isinstance(v, str) else v  # noqa: E731
    return make_edid(maker, number(product), number(serial), name)


def card_folder(card):
    pci = card.get("pci") or "0000:%02x:00.0" % (card["card"] + 1)
    return "/devices/pci0000:00/" + pci


class Layout:
    def __init__(self, description, brightness=50):
        self.text, self.buses = [], {}
        cards = {"card%d" % c["card"]: c for c in description.get("cards", [])}
        outputs = {o["name"]: o for o in description.get("outputs", [])}
        folders = {name: card_folder(c) for name, c in cards.items()}
        for name, o in outputs.items():
            card = name.split("-", 1)[0]
            folders[name] = "%s/drm/%s/%s" % (folders[card], card, name)
        if any(b["below"] == "smbus" for b in description.get("buses", [])):
            folders["smbus"] = SMBUS
            self.device(SMBUS, ["DRIVER=piix4_smbus", "PCI_CLASS=C0500", "SUBSYSTEM=pci"],
                        {"class": "0x0c0500", "vendor": "0x1022", "device": "0x790b"},
                        {"driver": "/bus/pci/drivers/piix4_smbus"})
        for name, c in cards.items():
            vendor, device = VENDORS.get(c["driver"], ("0x0000", "0x0000"))
            self.device(folders[name], ["DRIVER=" + c["driver"], "PCI_CLASS=30000", "SUBSYSTEM=pci"],
                        {"class": "0x030000", "vendor": vendor, "device": device, "boot_vga": "1"},
                        {"driver": "/bus/pci/drivers/" + c["driver"]})
            self.device(folders[name] + "/drm/" + name, ["DEVTYPE=drm_minor", "SUBSYSTEM=drm"],
                        node="dri/" + name)
        bus_folders = {b["bus"]: "%s/i2c-%d" % (folders[b["below"]], b["bus"])
                       for b in description.get("buses", [])}
        for name, o in outputs.items():
            connected = o["connected"]
            attributes = {"status": "connected" if connected else "disconnected",
                          "enabled": "enabled" if o.get("enabled", True) else "disabled",
                          "dpms": "On"}  # as tests/support/VirtualLaptop writes it
            links = {"ddc": bus_folders[o["ddc"]]} if "ddc" in o else {}
            self.device(folders[name], ["DEVTYPE=drm_connector", "SUBSYSTEM=drm"], attributes,
                        links, edid_bytes(o["edid"]) if o.get("edid") else None)
        for b in description.get("buses", []):
            n, folder = b["bus"], bus_folders[b["bus"]]
            self.device(folder, ["SUBSYSTEM=i2c"], {"name": b["name"]})
            self.device("%s/i2c-dev/i2c-%d" % (folder, n),
                        ["DEVNAME=/dev/i2c-%d" % n, "SUBSYSTEM=i2c-dev"],
                        {"name": b["name"], "dev": "89:%d" % n}, node="i2c-%d" % n)
            m = b.get("monitor")
            self.buses[n] = Nobody() if m is None else Monitor(
                edid_bytes(m["edid"]), brightness, m.get("answers", True),
                m.get("at0x50", "as recorded"), getattr(errno, m.get("transfer_errno", ""), 0),
                m.get("reply_seconds", 0.0))

    def device(self, path, properties, attributes=None, links=None, edid=None, node=None):
        lines = ["P: " + path]
        if node:
            lines.append("N: " + node)
        lines += ["E: " + p for p in properties]
        lines += ["A: %s=%s\\n" % kv for kv in (attributes or {}).items()]
        lines += ["L: %s=%s" % (name, os.path.relpath(target, path))
                  for name, target in (links or {}).items()]
        if edid is not None:
            lines.append("H: edid=" + edid.hex())
        self.text.append("\n".join(lines) + "\n")

    def umockdev_text(self):
        return "\n".join(self.text)


def load(path, brightness=50):
    with open(path) as f:
        return Layout(json.load(f), brightness)
