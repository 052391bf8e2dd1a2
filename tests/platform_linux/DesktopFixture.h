// A virtual laptop's panel with the desktops' brightness services, each
// played by our fake of it on a private session bus.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DisplayServices/DisplayServices.h"
#include "Session/Session.h"
#include "support/DesktopService.h"
#include "support/LaptopOnLinux.h"

namespace testing_support {

class DesktopTest : public LaptopTest {
  public:
    static constexpr long kMax = 1000;  // the panel's backlight range

  protected:
    DesktopTest() : LaptopTest(SessionBus::Private) {}

    void SetUp() override {
        std::string why;
        if (!DesktopService::available(&why))
            GTEST_SKIP() << why;
        laptop.addConnectorBacklight("intel_backlight", laptop.addBuiltinPanel(), kMax, kMax / 2);
        std::vector<CGDirectDisplayID> list;
        ASSERT_EQ(displays().activeDisplays(list), kCGErrorSuccess);
        panel = list.at(0);
    }

    static platform::DisplayBackend& displays() { return platform::Machine::current().displays(); }

    std::unique_ptr<DesktopService> start(DesktopService::Kind kind,
                                          std::map<std::string, std::string> more = {}) {
        more["backlight"] = laptop.backlightFile("intel_backlight", "brightness");
        more["max"] = std::to_string(kMax);
        return std::make_unique<DesktopService>(kind, more);
    }

    // The panel's route as the machine tells it, once it has looked.
    bool routeBecomes(platform::BuiltinBrightnessWay way) {
        float ignored = 0;
        DisplayServicesGetBrightness(panel, &ignored);  // the first call starts the looking
        return runUntil([&] { return platform::builtinBrightnessRoute().way == way; });
    }

    CGDirectDisplayID panel = 0;
};

}  // namespace testing_support
