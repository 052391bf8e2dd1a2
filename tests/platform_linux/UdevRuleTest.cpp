// The udev rules that let the logged-in user reach the monitors: they must
// cover exactly the twelve monitors and the second table, and the DDC/CI
// buses of display controllers, run before the seat rules apply the
// "uaccess" tag, and open nothing to everyone.
#include <gtest/gtest.h>

#include <fnmatch.h>

#include <cstdio>
#include <regex>
#include <sstream>

#include "engine/AppleMonitorProducts.h"
#include "support/TempDir.h"

namespace {

// As the build writes it from the template and the engine's product table.
const std::string kRulePath = std::string(DUOLUME_BINARY_DIR) + "/packaging/udev/70-duolume.rules";

std::vector<std::string> ruleLines(const std::string& path = kRulePath) {
    std::istringstream in(testing_support::readFile(path));
    std::vector<std::string> lines;
    std::string line, joined;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\\') {
            joined += line.substr(0, line.size() - 1);
            continue;
        }
        joined += line;
        auto start = joined.find_first_not_of(" \t");
        if (start != std::string::npos && joined[start] != '#')
            lines.push_back(joined);
        joined.clear();
    }
    return lines;
}

// The value of `key=="..."` in a rule line, or "".
std::string matchValue(const std::string& line, const std::string& key) {
    std::regex re(key + R"(\s*==\s*"([^"]*)\")");
    std::smatch m;
    return std::regex_search(line, m, re) ? m[1].str() : "";
}

// udev patterns: shell globs, alternatives separated by '|'.
bool udevMatches(const std::string& pattern, const std::string& value) {
    std::istringstream alternatives(pattern);
    std::string alt;
    while (std::getline(alternatives, alt, '|')) {
        if (fnmatch(alt.c_str(), value.c_str(), 0) == 0)
            return true;
    }
    return false;
}

// True when some uaccess rule for hidraw matches this vendor and product.
bool grantsAccess(const std::string& vendor, const std::string& product) {
    for (const auto& line : ruleLines()) {
        if (line.find("TAG+=\"uaccess\"") == std::string::npos)
            continue;
        if (!udevMatches(matchValue(line, "SUBSYSTEM"), "hidraw") &&
            !udevMatches(matchValue(line, "KERNEL"), "hidraw0")) {
            continue;
        }
        if (udevMatches(matchValue(line, "ATTRS\\{idVendor\\}"), vendor) &&
            udevMatches(matchValue(line, "ATTRS\\{idProduct\\}"), product)) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(UdevRule, GrantsTheTwelveMonitorsAndTheSecondTableAndNothingElse) {
    ASSERT_TRUE(testing_support::fileExists(kRulePath));
    std::vector<std::int64_t> listed(duolume::kAppleMonitorProductIDs.begin(),
                                     duolume::kAppleMonitorProductIDs.end());
    for (const auto& more : duolume::kMoreAppleDisplayProducts)
        listed.push_back(more.productID);
    for (auto id : listed) {
        char product[8];
        std::snprintf(product, sizeof product, "%04llx", static_cast<long long>(id));
        EXPECT_TRUE(grantsAccess("05ac", product)) << product;
    }
    for (const char* product : {"9216", "921a", "921b", "9223", "9230", "9237", "0255", "92261",
                                "1113", "1115", "1117", "1119", "9242", "11145", "11161"}) {
        EXPECT_FALSE(grantsAccess("05ac", product)) << product;
    }
    EXPECT_FALSE(grantsAccess("046d", "9226"));
}

TEST(UdevRule, RunsBeforeTheSeatRulesAndOpensNothingToEveryone) {
    EXPECT_LT(std::string("70-duolume.rules"), std::string("73-seat-late.rules"));
    bool backlight = false;
    for (const auto& line : ruleLines()) {
        std::smatch m;
        if (std::regex_search(line, m, std::regex(R"(MODE\s*=\s*"0?([0-7]{3})\")"))) {
            int others = m[1].str()[2] - '0';
            EXPECT_EQ(others & 2, 0) << line;
        }
        EXPECT_EQ(line.find("o+w"), std::string::npos) << line;
        EXPECT_EQ(line.find("a+w"), std::string::npos) << line;
        // The driver's backlight has no parent device: it must be matched by
        // its own name, not by a parent's driver.
        if (matchValue(line, "SUBSYSTEM") == "backlight" &&
            line.find("chgrp video") != std::string::npos &&
            line.find("g+w") != std::string::npos) {
            EXPECT_TRUE(udevMatches(matchValue(line, "KERNEL"), "appledisplay0"));
            EXPECT_TRUE(udevMatches(matchValue(line, "KERNEL"), "appledisplay12"));
            EXPECT_FALSE(udevMatches(matchValue(line, "KERNEL"), "intel_backlight"));
            backlight = true;
        }
    }
    EXPECT_TRUE(backlight) << "appledisplay brightness made writable by group video";
}

TEST(UdevRule, DdcBusesOfDisplayControllersOnlyAndI2cDevAtBoot) {
    const std::string rule =
        std::string(DUOLUME_SOURCE_DIR) + "/packaging/udev/71-duolume-ddc.rules";
    EXPECT_LT(std::string("71-duolume-ddc.rules"), std::string("73-seat-late.rules"));
    int grants = 0;
    for (const auto& line : ruleLines(rule)) {
        if (line.find("TAG+=\"uaccess\"") == std::string::npos)
            continue;
        ++grants;
        EXPECT_EQ(matchValue(line, "SUBSYSTEM"), "i2c-dev");
        EXPECT_TRUE(udevMatches(matchValue(line, "KERNEL"), "i2c-5"));
        EXPECT_TRUE(udevMatches(matchValue(line, "KERNEL"), "i2c-12"));
        // PCI classes (the device's, or a parent's): VGA and other display
        // controllers, never an SMBus controller or a sensor hub.
        const std::string pciClass = matchValue(line, "ATTRS\\{class\\}");
        for (const char* display : {"0x030000", "0x030200", "0x038000"})
            EXPECT_TRUE(udevMatches(pciClass, display)) << display;
        for (const char* other : {"0x0c0500", "0x118000", "0x088000", "0x000300"})
            EXPECT_FALSE(udevMatches(pciClass, other)) << other;
    }
    EXPECT_EQ(grants, 1);
    const std::string modules = testing_support::readFile(std::string(DUOLUME_SOURCE_DIR) +
                                                          "/packaging/duolume-i2c-dev.conf");
    EXPECT_NE(modules.find("\ni2c-dev\n"), std::string::npos) << modules;
}
