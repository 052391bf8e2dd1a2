#include "engine/DisplayEdid.h"

#include <cstdio>

#include "formats/Edid.h"

namespace duolume {

std::string describeDisplay(const std::vector<std::uint8_t>& edid) {
    const std::string name = platform::edidDisplayName(edid);
    if (!name.empty())
        return "\"" + name + "\"";
    const auto id = platform::parseEdid(edid);
    const std::string maker = id ? platform::edidManufacturerLetters(id->vendor) : std::string();
    if (maker.empty())
        return "a monitor without an EDID";
    char product[8];
    std::snprintf(product, sizeof product, "%04x", static_cast<unsigned>(id->product));
    return maker + " " + product;
}

}  // namespace duolume
