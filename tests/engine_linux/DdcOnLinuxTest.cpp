// Monitors on DDC/CI through the Linux machine: a virtual laptop whose
// DisplayPort output carries a monitor on I2C bus 5, reached through
// /dev/i2c-5 served by FUSE, so every message travels through the kernel's
// write(), read(), ioctl() and flock() as it would to a real monitor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "engine/BrightnessController.h"
#include "engine/DdcMonitors.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsKeys.h"
#include "support/FuseHidraw.h"
#include "support/FuseI2cBus.h"
#include "support/LaptopOnLinux.h"
#include "support/Waiting.h"

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr long kPanelMax = 19200;

// An EDID as its owner recorded it (tests/data/real-data/edid/INDEX.tsv).
Bytes realEdid(const std::string& file) {
    std::ifstream in(DUOLUME_SOURCE_DIR "/tests/data/real-data/edid/" + file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class DdcOnLinux : public ::testing::Test, protected LaptopOnLinux {
  protected:
    void SetUp() override {
        laptop.addConnectorBacklight("intel_backlight", laptop.addBuiltinPanel(), kPanelMax,
                                     kPanelMax / 2);
        laptop.setAmbientLight(VirtualLaptop::smcLightForLevel(5.0), 147.4);
        setFlatCurve(0.6, 0.3);
        std::string why;
        fuse = FuseHidraw::mount(laptop.devFolder(), &why);
        if (!fuse)
            GTEST_SKIP() << "the monitor's I2C bus needs FUSE: " << why;
    }

    void setFlatCurve(double internal, double external) {
        NSDictionary settings;
        for (int level = 0; level <= 10; ++level) {
            settings[duolume::curveKeyForLevel("internal", level)] = PlistValue::real(internal);
            settings[duolume::curveKeyForLevel("external", level)] = PlistValue::real(external);
        }
        ASSERT_TRUE(machine.defaults().write(duolume::ProductIdentifier, settings));
    }

    // A monitor on /dev/i2c-<bus> behind output DP-<bus>.
    std::shared_ptr<FuseI2cBus> plugIn(int bus, Bytes edid, double transferSeconds = 0.0,
                                       std::uint16_t current = 50) {
        auto node = std::make_shared<FuseI2cBus>(transferSeconds);
        {
            auto lock = node->lock();
            node->monitor().current = current;
        }
        fuse->addNode("i2c-" + std::to_string(bus), node);
        laptop.addDdcMonitor("DP-" + std::to_string(bus), bus, std::move(edid));
        return node;
    }

    // The engine after its first sync request and what that set off.
    BrightnessController* syncedEngine() {
        auto* engine = BrightnessController::sharedInstance();
        engine->updateDisplayBrightness(false);
        return engine;
    }
    static std::vector<std::uint16_t> sets(FuseI2cBus& bus) {
        auto lock = bus.lock();
        return bus.monitor().sets;
    }
    static bool reaches(FuseI2cBus& bus, std::uint16_t value) {
        auto s = sets(bus);
        return !s.empty() && s.back() == value;
    }

    std::unique_ptr<FuseHidraw> fuse;
};

TEST_F(DdcOnLinux, TheBytesOnTheWireWithTheirPausesEachExchangeUnderTheBusLock) {
    auto bus = plugIn(5, realEdid("DELA0BA-0921D2197F00.bin"));
    // Another program's view of the bus: while Duolume holds the lock, its
    // own flock must fail.
    const int other = open((laptop.devFolder() + "/i2c-5").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    std::vector<bool> lockedDuring;
    bus->onTransfer([&](char) {
        const bool free = flock(other, LOCK_EX | LOCK_NB) == 0;
        if (free)
            flock(other, LOCK_UN);
        lockedDuring.push_back(!free);
    });
    syncedEngine();
    ASSERT_TRUE(runLoopUntil([&] { return reaches(*bus, 30); }));
    EXPECT_TRUE(machine.logged("DDC/CI monitor \"DELL U2415\" attached: brightness 50 of 100"));

    auto lock = bus->lock();
    const auto& t = bus->transfers();
    ASSERT_GE(t.size(), 3u);
    // Get VCP Feature 0x10, then its reply (and one byte more, for monitors
    // that double their address) after at least 50 ms, and 50 ms more after it.
    EXPECT_EQ(t[0].bytes, (Bytes{0x51, 0x82, 0x01, 0x10, 0xAC}));
    EXPECT_EQ(t[1].kind, 'R');
    EXPECT_EQ(t[1].bytes.size(), 12u);
    EXPECT_GE(t[1].started - t[0].ended, 0.050);
    EXPECT_GE(t[2].started - t[1].ended, 0.050);
    // Set VCP Feature 0x10 to 30 of 100 last; never another message within
    // 50 ms of a Set.
    EXPECT_EQ(t.back().bytes, (Bytes{0x51, 0x84, 0x03, 0x10, 0x00, 0x1E, 0xB6}));
    for (std::size_t i = 1; i < t.size(); ++i) {
        if (t[i - 1].kind == 'W' && t[i - 1].bytes.at(2) == 0x03) {
            EXPECT_GE(t[i].started - t[i - 1].ended, 0.050) << i;
        }
    }
    for (const auto& x : t)
        EXPECT_GE(x.result, 0);
    EXPECT_EQ(lockedDuring, std::vector<bool>(t.size(), true));
    close(other);
}

TEST_F(DdcOnLinux, AMonitorTheDdcciDriverClaimedIsDrivenThroughItsBacklight) {
    auto bus = plugIn(5, realEdid("DELA0BA-0921D2197F00.bin"));
    {
        auto lock = bus->lock();
        bus->monitorAddressErrno = EBUSY;  // the driver holds 0x37
    }
    const std::string brightness = laptop.addDdcciBacklight(5, 100, 50);
    // The driver's actual_brightness asks the monitor; here it follows.
    auto readFile = [](const std::string& path) {
        std::ifstream in(path);
        long value = -1;
        in >> value;
        return value;
    };
    syncedEngine();
    ASSERT_TRUE(runLoopUntil([&] { return readFile(brightness) == 30; }));
    EXPECT_TRUE(machine.logged("DDC/CI monitor \"DELL U2415\" attached: brightness 50 of 100"));
    auto lock = bus->lock();
    EXPECT_TRUE(bus->transfers().empty());  // nothing over the bus the driver owns
}

// An output with two buses (its AUX adapter and the one its ddc link
// names, as amdgpu makes them): where the first does not answer, the
// monitor is asked on the second, and kept there.
TEST_F(DdcOnLinux, AnOutputsSecondBusIsTriedWhenItsFirstDoesNotAnswer) {
    auto aux = std::make_shared<FuseI2cBus>();
    auto hw = std::make_shared<FuseI2cBus>();
    {
        auto lock = aux->lock();
        aux->monitor().behaviour = platform::sim::SimDdcMonitor::Behaviour::Silent;
    }
    fuse->addNode("i2c-5", aux);
    fuse->addNode("i2c-6", hw);
    laptop.addI2cAdapter(6, "AMDGPU DM i2c hw bus 1", laptop.cardFolder(0));
    laptop.addI2cAdapter(5, "AMDGPU DM aux hw bus 1", laptop.connectorFolder("card0-DP-1"));
    VirtualLaptop::Connector dp;
    dp.name = "DP-1";
    dp.edid = realEdid("DELA0BA-0921D2197F00.bin");
    dp.ddcBus = 6;
    laptop.addConnector(dp);
    syncedEngine();
    ASSERT_TRUE(runLoopUntil([&] { return reaches(*hw, 30); }));
    auto lock = aux->lock();
    const auto tried = aux->transfers().size();
    EXPECT_GE(tried, 1u);  // asked first
    lock.unlock();
    runLoopUntil([] { return false; }, 0.5);
    lock.lock();
    EXPECT_EQ(aux->transfers().size(), tried);  // and not again
}

// What the kernel answers for a monitor that cannot be reached, and what the
// journal then says: EBUSY from I2C_SLAVE where a kernel driver (ddcci) owns
// 0x37, ENXIO where nobody acknowledges, EREMOTEIO through a DisplayPort
// AUX channel, EIO from amdgpu's display core.
struct ErrnoCase {
    const char* name;
    int slaveErrno, transferErrno;
    const char* logged;
};

class DdcErrnos : public DdcOnLinux, public ::testing::WithParamInterface<ErrnoCase> {};

TEST_P(DdcErrnos, AreLoggedWithWhatTheyMeanAndLeaveTheMonitorAlone) {
    const auto& c = GetParam();
    auto bus = plugIn(5, realEdid("DELA0BA-0921D2197F00.bin"));
    {
        auto lock = bus->lock();
        bus->monitorAddressErrno = c.slaveErrno;
        bus->monitorTransferErrno = c.transferErrno;
    }
    syncedEngine();
    EXPECT_TRUE(runLoopUntil([&] { return machine.logged(c.logged); }, 15.0));
    EXPECT_TRUE(sets(*bus).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kernel, DdcErrnos,
    ::testing::Values(
        ErrnoCase{"EBUSY", EBUSY, 0,
                  "IOAVServiceWriteI2C error 0xe00002d5: a kernel driver holds its DDC/CI address"},
        ErrnoCase{"ENXIO", 0, ENXIO, "left alone (IOAVServiceWriteI2C error 0xe00002ed"},
        ErrnoCase{"EREMOTEIO", 0, EREMOTEIO, "left alone (IOAVServiceWriteI2C error 0xe00002d8"},
        ErrnoCase{"EIO", 0, EIO, "left alone (IOAVServiceWriteI2C error 0xe00002ca"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
