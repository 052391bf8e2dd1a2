// A settings file edited by hand in a text editor: curve points that are out
// of range, not numbers at all, or of another type. The engine on a virtual
// laptop never drives the panel outside its range, never switches its
// backlight off, and leaves it alone when a point is not a number.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "FaultyLaptop.h"
#include "engine/BrightnessController.h"

using namespace testing_support;

namespace {

class HandEditedCurve : public FaultyLaptopTest {
  protected:
    void SetUp() override {
        VirtualLaptop::Connector panel;
        panel.edid = VirtualLaptop::makeEdid("APP", 0xA045, 0);
        laptop.addConnectorBacklight("intel_backlight", laptop.addConnector(panel), 1000, 500);
    }

    // The whole settings file as a user could leave it: every point 0.5 but
    // level 3, whose built-in point is `edited` (an XML value element).
    void writeSettings(const std::string& edited) {
        std::string points;
        for (int level = 0; level <= 10; ++level) {
            const std::string internal = level == 3 ? edited : std::string("<real>0.5</real>");
            points += "<key>internal" + std::to_string(level) + "</key>" + internal +
                      "<key>external" + std::to_string(level) + "</key><real>0.5</real>\n";
        }
        std::filesystem::create_directories(configFolder());
        std::ofstream(configFolder() + "/org.duolume.Duolume.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<plist version=\"1.0\"><dict>\n"
               "<key>enabled</key><true/>\n"
            << points << "</dict></plist>\n";
    }
    static std::string configFolder() {
        const char* folder = std::getenv("XDG_CONFIG_HOME");  // the laptop's own, set at its start
        if (!folder)
            throw std::runtime_error("XDG_CONFIG_HOME is not set");
        return folder;
    }
    long panel() const { return laptop.backlightValue("intel_backlight"); }
};

}  // namespace

TEST_F(HandEditedCurve, PointsOutOfRangeOrOfAnotherTypeNeverLeaveThePanelsRange) {
    const struct {
        const char* point;
        long panel;  // of 1000; 500 is where it started
    } cases[] = {
        {"<real>1.5</real>", 1000},      // beyond the top: the top
        {"<real>-0.3</real>", 1},        // below the bottom: dimmest, never off
        {"<real>1e308</real>", 1000},    //
        {"<real>nan</real>", 500},       // not a number: the panel is left alone
        {"<real>inf</real>", 500},       // infinite: interpolated, not a number either
        {"<integer>1</integer>", 1000},  // other numbers count as numbers
        {"<true/>", 1000},               //
        {"<string>0.9</string>", 500},   // not a number: absent, and a 0 pair stops the request
        {"<date>2026-01-01T00:00:00Z</date>", 500},
        {"<dict/>", 500},
    };
    auto* engine = BrightnessController::sharedInstance();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.point);
        writeSettings(c.point);
        for (bool smooth : {false, true}) {
            laptop.setBacklightValue("intel_backlight", 500);
            engine->updateDisplayBrightnessForAmbientLight(3.0, smooth);
            EXPECT_EQ(panel(), c.panel) << (smooth ? "faded" : "at once");
        }
        // The points next to it are untouched by the damage.
        engine->updateDisplayBrightnessForAmbientLight(4.0, false);
        EXPECT_EQ(panel(), 500);
    }
}
