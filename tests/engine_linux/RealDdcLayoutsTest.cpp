// The sysfs and I2C layouts of thirteen real machines
// (tests/data/real-data/ddc/, each from its owner's ddcutil report), each
// built as a virtual machine with its buses served through FUSE: the
// monitor is found and driven on the bus its owner drove it on, or rightly
// left alone. Where a layout says "not shown", the comment at its case says
// what was assumed.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>

#include "engine/BrightnessController.h"
#include "machine/AVServiceBackend.h"
#include "machine/Machine.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "support/FuseHidraw.h"
#include "support/FuseI2cBus.h"
#include "support/LaptopOnLinux.h"
#include "support/Waiting.h"

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;
using EdidAt0x50 = FuseI2cBus::EdidAt0x50;

namespace {

struct Monitor {
    Bytes edid;
    bool answers = true;  // at 0x37
    EdidAt0x50 at0x50 = EdidAt0x50::AsRecorded;
    int transferErrno = 0;
};

class Bed : protected LaptopOnLinux {
  public:
    bool mount(std::string* why) {
        fuse = FuseHidraw::mount(laptop.devFolder(), why);
        laptop.setAmbientLight(VirtualLaptop::smcLightForLevel(5.0), 147.4);
        NSDictionary settings;
        for (int level = 0; level <= 10; ++level) {
            settings[duolume::curveKeyForLevel("internal", level)] = PlistValue::real(0.3);
            settings[duolume::curveKeyForLevel("external", level)] = PlistValue::real(0.3);
        }
        machine.defaults().write(duolume::ProductIdentifier, settings);
        return fuse != nullptr;
    }
    std::string card(int n, const std::string& driver) {
        laptop.setCardDriver(n, driver);
        return laptop.cardFolder(n);
    }
    std::string output(int card, const std::string& name, bool connected,
                       std::optional<Bytes> edid = std::nullopt, bool enabled = true) {
        VirtualLaptop::Connector c;
        c.card = card;
        c.name = name;
        c.connected = connected;
        c.enabled = enabled;
        c.edid = std::move(edid);
        const std::string full = "card" + std::to_string(card) + "-" + name;
        std::filesystem::create_directories(laptop.connectorFolder(full));
        pending[full] = c;
        return laptop.connectorFolder(full);
    }
    void ddcLink(const std::string& folder, int bus) {
        for (auto& [full, c] : pending)
            if (laptop.connectorFolder(full) == folder)
                c.ddcBus = bus;
    }
    // A bus below `parent`, served with `monitor` on it (or nothing at all).
    std::shared_ptr<FuseI2cBus> bus(int n, const std::string& name, const std::string& parent,
                                    std::optional<Monitor> monitor = std::nullopt) {
        laptop.addI2cAdapter(n, name, parent);
        auto node = std::make_shared<FuseI2cBus>();
        {
            auto lock = node->lock();
            if (monitor) {
                node->edid = monitor->edid;
                node->edidAt0x50 = monitor->at0x50;
                node->monitorTransferErrno = monitor->transferErrno;
                if (!monitor->answers)
                    node->monitor().behaviour = platform::sim::SimDdcMonitor::Behaviour::Silent;
            } else {
                node->monitor().behaviour = platform::sim::SimDdcMonitor::Behaviour::Silent;
            }
        }
        fuse->addNode("i2c-" + std::to_string(n), node);
        buses[n] = node;
        return node;
    }
    // An adapter of something that is not a display controller (SMBus).
    void otherBus(int n, const std::string& name) {
        const std::string device = laptop.root() + "/sys/devices/pci0000:00/0000:00:14.0";
        std::filesystem::create_directories(device);
        writeFile(device + "/class", "0x0c0500\n");
        writeFile(device + "/vendor", "0x1022\n");
        bus(n, name, device);
    }
    // The outputs' class entries last, as the kernel announces them.
    void start() {
        for (const auto& [full, c] : pending) {
            laptop.addConnector(c);
            if (c.name.rfind("eDP", 0) == 0 && c.connected)
                laptop.addConnectorBacklight("panel_backlight", full, 19200, 9600);
        }
        BrightnessController::sharedInstance()->updateDisplayBrightness(false);
    }
    bool driven(int n) {
        const bool done = runLoopUntil([&] {
            auto lock = buses[n]->lock();
            const auto& sets = buses[n]->monitor().sets;
            return !sets.empty() && sets.back() == 30;
        });
        auto lock = buses[n]->lock();
        if (!done)
            ADD_FAILURE() << "i2c-" << n << ": " << buses[n]->monitor().sets.size() << " sets, "
                          << buses[n]->transfers().size() << " transfers, last set "
                          << (buses[n]->monitor().sets.empty() ? -1
                                                               : buses[n]->monitor().sets.back());
        return done;
    }
    bool untouched(int n) {
        runLoopUntil([] { return false; }, 0.2);
        auto lock = buses[n]->lock();
        return buses[n]->transfers().empty();
    }
    bool logged(const std::string& part) {
        return runLoopUntil([&] { return machine.logged(part); });
    }
    // An AV service whose messages go to `bus` ("/dev/i2c-7 (...)").
    bool serviceOn(const std::string& bus) {
        auto& av = platform::Machine::current().avServices();
        return runLoopUntil([&] {
            for (auto s : av.services())
                if (auto c = av.channel(s); c && c->describeBus().find(bus) != std::string::npos)
                    return true;
            return false;
        });
    }

    std::unique_ptr<FuseHidraw> fuse;
    std::map<std::string, VirtualLaptop::Connector> pending;
    std::map<int, std::shared_ptr<FuseI2cBus>> buses;
};

Bytes edid(const char* maker, std::uint16_t product, std::uint32_t serial, const char* name) {
    return VirtualLaptop::makeEdid(maker, product, serial, name);
}

struct Layout {
    const char* file;
    std::function<void(Bed&)> build;
    std::function<void(Bed&)> check;
};

const Layout kLayouts[] = {
    {"amdgpu-dp-sst-manjaro-5.15",
     // DP-2 and DP-4 connected (ddcutil lists their EDIDs); DP-3's buses
     // carry nothing.
     [](Bed& b) {
         const auto gpu = b.card(0, "amdgpu");
         const auto dp2 = b.output(0, "DP-2", true, edid("RTK", 0xbc32, 0x01010101, "PORPOISE"));
         const auto dp4 = b.output(0, "DP-4", true, edid("GSM", 0x774b, 698960, "LG ULTRAGEAR"));
         b.bus(5, "AMDGPU DM i2c hw bus 1", gpu,
               Monitor{edid("RTK", 0xbc32, 0x01010101, "PORPOISE"), false});
         b.bus(7, "AMDGPU DM i2c hw bus 3", gpu);
         b.bus(9, "AMDGPU DM aux hw bus 1", dp2);
         b.bus(11, "AMDGPU DM aux hw bus 3", dp4,
               Monitor{edid("GSM", 0x774b, 698960, "LG ULTRAGEAR")});
         b.ddcLink(dp2, 5);
         b.ddcLink(dp4, 7);
         b.otherBus(1, "SMBus PIIX4 adapter port 0 at 0b00");
     },
     [](Bed& b) {
         EXPECT_TRUE(b.driven(11));  // the output's AUX adapter, not its ddc link
         EXPECT_TRUE(b.untouched(7));
         EXPECT_TRUE(b.logged("Monitor \"PORPOISE\" does not answer DDC/CI; left alone"));
         EXPECT_TRUE(b.untouched(1));
     }},
    {"amdgpu-dpmst-thinkpad-t14s-gen2",
     // Which monitor is on which DPMST bus is not shown: the Acer is taken
     // to be the one whose EDID comes shifted, the LG the one that reads zeros.
     [](Bed& b) {
         const auto gpu = b.card(0, "amdgpu");
         b.output(0, "eDP-1", true, edid("BOE", 0x0964, 0, ""));
         b.output(0, "DP-5", true, edid("GSM", 0x5b8e, 11, "LG HDR"));
         b.output(0, "DP-6", true, edid("ACR", 0x0a1b, 12, "Acer KA240Y"));
         b.bus(13, "DPMST", gpu,
               Monitor{edid("GSM", 0x5b8e, 11, "LG HDR"), true, EdidAt0x50::Zeros});
         b.bus(14, "DPMST", gpu,
               Monitor{edid("ACR", 0x0a1b, 12, "Acer KA240Y"), true, EdidAt0x50::SecondBlockFirst});
     },
     [](Bed& b) {
         EXPECT_TRUE(b.driven(14));  // its EDID found in the second block
         EXPECT_TRUE(b.driven(13));  // the one output left, the one bus left
     }},
    {"amdgpu-smu-adapters-ddcutil-3.0.1",
     // No connector is shown: one monitor on the aux bus is assumed, so
     // that something is driven beside the buses left alone.
     [](Bed& b) {
         const auto gpu = b.card(0, "amdgpu");
         const auto dp = b.output(0, "DP-1", true, edid("DEL", 0xa0ba, 3, "DELL U2415"));
         b.bus(2, "AMDGPU SMU 0", gpu, Monitor{edid("DEL", 0xa0ba, 3, "DELL U2415")});
         b.bus(3, "AMDGPU SMU 1", gpu);
         b.bus(11, "AMDGPU DM i2c hw bus 0", gpu);
         b.bus(14, "AMDGPU DM aux hw bus 1", dp, Monitor{edid("DEL", 0xa0ba, 3, "DELL U2415")});
         b.otherBus(17, "SMBus PIIX4 adapter port 2 at 0b00");
     },
     [](Bed& b) {
         EXPECT_TRUE(b.driven(14));
         EXPECT_TRUE(b.untouched(2));  // never probed: probing it can hang the card
         EXPECT_TRUE(b.untouched(3));
         EXPECT_TRUE(b.untouched(17));
     }},
    {"nvidia-525-no-drm-connectors",
     [](Bed& b) {
         const auto gpu = b.card(0, "nvidia");
         b.bus(6, "NVIDIA i2c adapter 6 at 7:00.0", gpu);
         b.bus(7, "NVIDIA i2c adapter 7 at 7:00.0", gpu,
               Monitor{edid("SAM", 0x0c4d, 1, "C27F390"), false});
         b.bus(8, "NVIDIA i2c adapter 8 at 7:00.0", gpu);
         b.otherBus(0, "SMBus PIIX4 adapter port 0 at 0b00");
     },
     [](Bed& b) {
         // Found by its EDID with no output listed at all.
         EXPECT_TRUE(b.serviceOn("/dev/i2c-7 (NVIDIA i2c adapter 7 at 7:00.0)"));
         EXPECT_TRUE(b.untouched(0));
     }},
    {"nvidia-i915-hybrid-manjaro-5.10",
     // The panel is taken not to answer at 0x37, as no panel in the data does.
     [](Bed& b) {
         const auto intel = b.card(1, "i915");
         const auto nvidia = b.card(0, "nvidia");
         const auto edp = b.output(1, "eDP-1", true, edid("SHP", 0x1738, 0, ""));
         const auto dp2 = b.output(1, "DP-2", false);
         const auto dp3 = b.output(1, "DP-3", false);
         b.bus(1, "i915 gmbus dpc", intel);
         b.bus(4, "AUX A/port A", edp, Monitor{edid("SHP", 0x1738, 0, ""), false});
         b.bus(6, "AUX C/port C", dp2);
         b.bus(7, "AUX D/port D", dp3);
         b.bus(10, "NVIDIA i2c adapter 2 at 1:00.0", nvidia);
         b.bus(12, "NVIDIA i2c adapter 8 at 1:00.0", nvidia,
               Monitor{edid("AOC", 0x3200, 7, "CQ32G1")});
     },
     [](Bed& b) {
         EXPECT_TRUE(b.driven(12));
         EXPECT_TRUE(b.untouched(4));  // the panel's AUX
         EXPECT_TRUE(b.untouched(6));  // outputs with nothing connected
         EXPECT_TRUE(b.untouched(7));
     }},
    {"nvidia-laptop-debian-trixie-einval",
     [](Bed& b) {
         const auto gpu = b.card(0, "nvidia");
         b.bus(0, "NVIDIA i2c adapter 0 at 1:00.0", gpu,
               Monitor{edid("BNQ", 0x7859, 21573, "BenQG2222HDL"), true, EdidAt0x50::AsRecorded,
                       EINVAL});
     },
     [](Bed& b) {
         EXPECT_TRUE(
             b.logged("Monitor \"BenQG2222HDL\" does not answer DDC/CI; left alone "
                      "(IOAVServiceWriteI2C error 0xe00002c2"));
     }},
    {"nvidia-drm-connectors-identical-msi",
     // The second monitor's output and bus are not shown: card1-DP-2 and
     // i2c-6 are assumed.
     [](Bed& b) {
         const auto gpu = b.card(1, "nvidia");
         b.output(1, "DP-1", true, edid("MSI", 0x4cd3, 0, "G272QPF E2"));
         b.output(1, "DP-2", true, edid("MSI", 0x4cd3, 0, "G272QPF E2"));
         b.bus(5, "NVIDIA i2c adapter 4 at 1:00.0", gpu,
               Monitor{edid("MSI", 0x4cd3, 0, "G272QPF E2")});
         b.bus(6, "NVIDIA i2c adapter 5 at 1:00.0", gpu,
               Monitor{edid("MSI", 0x4cd3, 0, "G272QPF E2")});
     },
     [](Bed& b) {
         EXPECT_TRUE(b.driven(5));  // two identical monitors stay two
         EXPECT_TRUE(b.driven(6));
     }},
    {"nvidia-sysfs-enabled-disabled-digitaltrails",
     // Buses not shown: one NVIDIA bus each is assumed. The HP's output
     // keeps a stale edid (#418), the BenQ T2200HD is slow (#325),
     // yet within ddcutil's wait, as the owner drove it with ddcutil.
     [](Bed& b) {
         const auto gpu = b.card(0, "nvidia");
         b.output(0, "DP-1", true, edid("GSM", 0x7707, 1, "LG HDR 4K"), false);
         b.output(0, "DP-2", false, std::nullopt, false);
         b.output(0, "DP-3", true, edid("BNQ", 0x7726, 2, "BenQ T2200HD"), false);
         b.bus(1, "NVIDIA i2c adapter 1 at 1:00.0", gpu,
               Monitor{edid("HWP", 0x2869, 3, "HP ZR24w")});
         auto benq = b.bus(2, "NVIDIA i2c adapter 2 at 1:00.0", gpu,
                           Monitor{edid("BNQ", 0x7726, 2, "BenQ T2200HD")});
         auto lock = benq->lock();
         benq->monitor().replySeconds = 0.1;
     },
     [](Bed& b) {
         EXPECT_TRUE(b.driven(1));  // asked although its output says disabled
         EXPECT_TRUE(b.driven(2));
     }},
    {"i915-debian-6.1-dock-edp-aux",
     [](Bed& b) {
         b.card(0, "i915");
         const auto edp = b.output(0, "eDP-1", true, edid("AUO", 0x623d, 0, "B140HAN06.2"));
         b.bus(13, "AUX A/DDI A/PHY A", edp, Monitor{edid("AUO", 0x623d, 0, "B140HAN06.2"), false});
     },
     [](Bed& b) { EXPECT_TRUE(b.untouched(13)); }},
    {"intel-6.8-xps13-wd22tb4-phantom",
     // card1-DP-1 is the phantom ddcutil names (disconnected, no edid);
     // i2c-20 taken to be a DPMST bus; the second S2725DS's bus is unknown.
     [](Bed& b) {
         const auto gpu = b.card(1, "i915");
         const auto dp1 = b.output(1, "DP-1", false, std::nullopt, false);
         b.output(1, "DP-7", true, edid("DEL", 0x42a7, 1, "DELL S2725DS"));
         b.output(1, "DP-5", true, edid("DEL", 0x42a7, 2, "DELL S2725DS"));
         b.bus(15, "AUX USBC1/DDI TC1/PHY TC1", dp1,
               Monitor{edid("DEL", 0x42a7, 1, "DELL S2725DS"), false});
         b.bus(20, "DPMST", gpu, Monitor{edid("DEL", 0x42a7, 1, "DELL S2725DS")});
     },
     [](Bed& b) {
         EXPECT_TRUE(b.driven(20));
         EXPECT_TRUE(b.untouched(15));
         EXPECT_TRUE(
             b.logged("Output card1-DP-5: buses tried: /dev/i2c-20 (DPMST): the EDID of "
                      "another monitor; its monitor is not driven over DDC/CI"));
     }},
    {"laptop-phantom-dell-u2719d",
     // The working bus's name and output are not shown: a DPMST bus and an
     // MST output card1-DP-3 are assumed.
     [](Bed& b) {
         const auto gpu = b.card(1, "i915");
         const auto edp = b.output(1, "eDP-1", true, edid("AUO", 0x573d, 0, ""));
         const auto dp2 = b.output(1, "DP-2", false, std::nullopt, false);
         b.output(1, "DP-3", true, edid("DEL", 0x415a, 1246517847, "DELL U2719D"));
         b.bus(5, "AUX A/DDI A/PHY A", edp);
         b.bus(7, "AUX B/DDI B/PHY B", dp2,
               Monitor{edid("DEL", 0x415a, 1246517847, "DELL U2719D"), false});
         b.bus(8, "DPMST", gpu, Monitor{edid("DEL", 0x415a, 1246517847, "DELL U2719D")});
     },
     [](Bed& b) {
         EXPECT_TRUE(b.driven(8));
         EXPECT_TRUE(b.untouched(7));  // the phantom: one monitor, one bus
         EXPECT_TRUE(b.untouched(5));
     }},
    {"i915-tb-dock-ugreen-aux-usbc4",
     [](Bed& b) {
         b.card(1, "i915");
         const auto dp4 = b.output(1, "DP-4", true, edid("AOC", 0x2410, 91, "AG241QG4"));
         b.bus(13, "AUX USBC4/DDI TC4/PHY TC4", dp4, Monitor{edid("AOC", 0x2410, 91, "AG241QG4")});
     },
     [](Bed& b) { EXPECT_TRUE(b.driven(13)); }},
    {"i915-haswell-ultradock-dpmst",
     // Outputs not shown: the dock's port card0-DP-2 (no longer connected
     // once MST runs) carries DPDDC-C, its first MST output is card0-DP-3.
     [](Bed& b) {
         const auto gpu = b.card(0, "i915");
         const auto dp2 = b.output(0, "DP-2", false, std::nullopt, false);
         b.output(0, "DP-3", true, edid("DEL", 0xa0ba, 5, "DELL U2415"));
         b.bus(9, "DPDDC-C", dp2, Monitor{edid("DEL", 0xa0ba, 5, "DELL U2415"), false});
         b.bus(10, "DPMST", gpu,
               Monitor{edid("DEL", 0xa0ba, 5, "DELL U2415"), false, EdidAt0x50::Nobody});
     },
     [](Bed& b) {
         EXPECT_TRUE(b.logged("Monitor \"DELL U2415\" does not answer DDC/CI; left alone"));
         EXPECT_TRUE(b.logged("/dev/i2c-10 (DPMST)"));
         EXPECT_TRUE(b.untouched(9));
     }},
};

class RealDdcLayouts : public ::testing::TestWithParam<Layout>, public Bed {};

TEST_P(RealDdcLayouts, TheMonitorIsFoundOnItsOwnersBusOrRightlyLeftAlone) {
    std::string why;
    if (!mount(&why))
        GTEST_SKIP() << "the buses need FUSE: " << why;
    GetParam().build(*this);
    start();
    GetParam().check(*this);
    if (HasFailure())
        for (const auto& line : machine.lines)
            ADD_FAILURE() << "logged: " << line;
}

std::string layoutName(const ::testing::TestParamInfo<Layout>& info) {
    std::string name;
    for (const char* c = info.param.file; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Ddc, RealDdcLayouts, ::testing::ValuesIn(kLayouts), layoutName);

}  // namespace
