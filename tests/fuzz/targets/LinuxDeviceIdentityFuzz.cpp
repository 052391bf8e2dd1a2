// What Linux devices tell about themselves: a display's EDID, a HID device's
// HID_ID line and a monitor's HID report descriptor. Any bytes either give a
// consistent answer or none, never a crash.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formats/Edid.h"
#include "fuzz/FuzzTarget.h"
#include "linux/hid/HidID.h"
#include "linux/hid/HidReportDescriptor.h"

using namespace platform::linux_machine;
using platform::parseEdid;

DUOLUME_FUZZ_TARGET(edid) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    auto id = parseEdid(bytes);
    if (!id)
        return;
    // Only a whole base block with its header and checksum gives an identity.
    std::uint8_t sum = 0;
    for (int i = 0; i < 128; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes.at(i));
    if (sum != 0 || bytes[0] != 0 || bytes[1] != 0xFF || bytes[7] != 0 || id->vendor > 0xFFFF ||
        id->product > 0xFFFF)
        std::abort();
}

DUOLUME_FUZZ_TARGET(hid_id) {
    const std::string_view uevent(reinterpret_cast<const char*>(data), size);
    auto id = parseHidID(uevent);
    if (!id)
        return;
    if (id->vendor < 0 || id->vendor > 0xFFFF || id->product < 0 || id->product > 0xFFFF)
        std::abort();
    // The kernel's own form of what was read reads back the same.
    char line[64];
    std::snprintf(line, sizeof line, "HID_ID=%04X:%08X:%08X\n", id->bus,
                  static_cast<unsigned>(id->vendor), static_cast<unsigned>(id->product));
    if (parseHidID(line) != id)
        std::abort();
}

DUOLUME_FUZZ_TARGET(hid_report_descriptor) {
    const std::vector<std::uint8_t> descriptor(data, data + size);
    // Every element comes from an item of the descriptor, with its range as
    // the descriptor's 32-bit items can state it.
    const auto elements = hidReportElements(descriptor);
    if (elements.size() > size)
        std::abort();
    for (const auto& e : elements) {
        if (e.logicalMin < INT32_MIN || e.logicalMax > UINT32_MAX)
            std::abort();
    }
}
