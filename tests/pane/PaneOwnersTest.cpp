// Who owns each kind of display, as the agent publishes it, in the window:
// the status line per kind, the buttons of a hold (end it, or move the curve
// through the held brightness), and GNOME's automatic brightness switched off
// from the window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "engine/CurveLookup.h"
#include "pane/PaneHarness.h"
#include "report/DisplayOwnership.h"
#include "sensor/AmbientLightSensor.h"
#include "settings/ProductIdentifier.h"
#include "settings/SettingsStore.h"

using duolume::Owner;
using duolume::Ownership;
using testing_support::PaneHarness;

namespace {

constexpr std::int64_t kSince = 1765270000;  // 08:46 UTC

// The pane with synchronisation on and the agent running, on a machine
// without a sensor or a monitor of its own.
struct OwnersHarness : PaneHarness {
    explicit OwnersHarness(NSDictionary domain = duolume::initialSettings(),
                           const std::optional<std::string>& language = std::nullopt)
        : language_("LANGUAGE", language),
          lang_("LANG",
                language ? *language + ".UTF-8" : "C.UTF-8") {  // LANGUAGE is ignored under C
        domain["enabled"] = PlistValue::integer(1);
        domain["suppressHardwareWarning"] = PlistValue::boolean(true);
        sim().simDefaults().domains[duolume::ProductIdentifier] = domain;
        sim().simSession().setNameHeldElsewhere(duolume::AgentBusName, true);
        open();
        sim().runFor(0.0);
    }
    void publish(const std::optional<std::string>& text) {
        sim().simSession().publishElsewhere(duolume::AgentBusName, duolume::OwnersKey, text);
        sim().runFor(0.0);
    }
    void showLevel(double level) {
        NSNotificationCenter::defaultCenter().postNotificationName(AmbientLightChangedNotification,
                                                                   PlistValue::real(level));
    }
    std::string line() const {
        return window().findChild<QLabel*>("statusLine")->text().toStdString();
    }
    QPushButton* button(const char* name) const { return window().findChild<QPushButton*>(name); }
    bool shown(const char* name) const { return button(name)->isVisible(); }
    double stored(const std::string& key) const { return duolume::settingsDouble(domain(), key); }

    testing_support::ScopedEnv language_, lang_;
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// What a person would see wrong in the window as laid out now: a control
// drawn over another, cut off by what holds it, or given less height than it
// needs to be drawn whole (a wrapped text at its width).
std::vector<std::string> layoutFaults(QWidget& window) {
    QCoreApplication::sendPostedEvents();  // layout requests still waiting
    std::vector<QWidget*> shown;
    for (QWidget* widget : window.findChildren<QWidget*>())
        if (widget->isVisible())
            shown.push_back(widget);
    const auto frame = [&](const QWidget* widget) {
        return QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
    };
    const auto name = [](const QWidget* widget) { return widget->objectName().toStdString(); };
    std::vector<std::string> faults;
    for (QWidget* widget : shown) {
        if (widget->findChildren<QWidget*>().empty()) {
            const int needed =
                std::min(widget->hasHeightForWidth() ? widget->heightForWidth(widget->width())
                                                     : widget->minimumSizeHint().height(),
                         widget->maximumHeight());
            if (widget->height() < needed)
                faults.push_back(name(widget) + " squeezed");
        }
        if (widget->parentWidget() != &window &&
            !frame(widget->parentWidget()).contains(frame(widget)))
            faults.push_back(name(widget) + " cut off");
        for (QWidget* other : shown) {
            if (widget < other && !widget->isAncestorOf(other) && !other->isAncestorOf(widget) &&
                frame(widget).intersects(frame(other)))
                faults.push_back(name(widget) + " over " + name(other));
        }
    }
    return faults;
}

}  // namespace

TEST(PaneOwners, TheStatusLineSaysWhoOwnsEachKindAndAHoldShowsItsButtons) {
    testing_support::ScopedEnv zone("TZ", "UTC");
    tzset();
    OwnersHarness h;
    EXPECT_FALSE(h.shown("builtinFollowCurveButton"));
    h.publish(duolume::encodeOwners(
        {Ownership{Owner::Person, 0.8, 4.3, kSince}, Ownership{Owner::Curve}}));
    EXPECT_EQ(
        h.line(),
        "No light level: this computer has no ambient light sensor that Linux exposes, and "
        "its time zone names no place to estimate the light from the sun; the displays are "
        "left as they are. The background agent is running. Built-in display: held at 80 % since "
        "08:46 because it was set by hand (follows the curve again when the light changes "
        "by a level). Monitors: following the curve. No Apple USB monitor attached.");
    EXPECT_TRUE(h.shown("builtinFollowCurveButton"));
    EXPECT_TRUE(h.shown("builtinKeepButton"));
    EXPECT_FALSE(h.shown("monitorsKeepButton"));

    // The way the agent writes the panel, and why, in the person's words.
    h.publish("builtin curve\nroute 1 0\n");
    EXPECT_TRUE(has(h.line(),
                    "Built-in display written through the desktop's service, because the "
                    "desktop's own brightness service answers."))
        << h.line();

    // What cannot be read is left out, line by line.
    h.publish("builtin person 1.7 4.3 0\nmonitors asleep\nroute 99 0\n\x01\xff garbage");
    EXPECT_FALSE(has(h.line(), "written through")) << h.line();
    EXPECT_FALSE(has(h.line(), "Built-in display:")) << h.line();
    EXPECT_TRUE(has(h.line(), "Monitors: paused: the machine is asleep.")) << h.line();
    EXPECT_FALSE(h.shown("builtinKeepButton"));
    EXPECT_FALSE(h.shown("monitorsKeepButton"));

    // A text withdrawn, or synchronisation switched off, leaves nothing held.
    const std::string held =
        duolume::encodeOwners({Ownership{Owner::Person, 0.8, 4.3, kSince}, std::nullopt});
    h.publish(held);
    h.publish(std::nullopt);
    EXPECT_FALSE(has(h.line(), "Built-in display")) << h.line();
    EXPECT_FALSE(h.shown("builtinKeepButton"));
    h.publish(held);
    testing_support::TempDir library;
    h.sim().libraryFolder = library.path();
    h.click("mainSwitch");
    EXPECT_FALSE(has(h.line(), "Built-in display")) << h.line();
    EXPECT_FALSE(h.shown("builtinKeepButton"));
}

// The window makes room for a status line of several lines and the rows of
// two holds: in German, whose sentences run long, nothing is drawn over
// anything, also after the window is made wide and narrow again and the
// holds end.
TEST(PaneOwners, TheWindowGrowsWithTheStatusLineSoNoControlIsDrawnOverAnother) {
    testing_support::ScopedEnv zone("TZ", "UTC");
    tzset();
    OwnersHarness h(duolume::initialSettings(), "de");
    ASSERT_TRUE(has(h.line(), "Keine Lichtstärke")) << h.line();
    EXPECT_EQ(layoutFaults(h.window()), std::vector<std::string>{});
    h.publish(duolume::encodeOwners(
        {Ownership{Owner::Person, 0.3, 2.0, kSince}, Ownership{Owner::Person, 0.7, 2.0, kSince}}));
    ASSERT_TRUE(h.shown("monitorsKeepButton"));
    EXPECT_EQ(layoutFaults(h.window()), std::vector<std::string>{});

    // Made wide, the texts take fewer lines and the window may be lower;
    // made narrow again, it grows back.
    const int narrow = h.window().width(), tall = h.window().height();
    h.window().resize(narrow + 400, tall);
    h.window().resize(narrow + 400, 0);  // as low as it may be at that width
    EXPECT_LT(h.window().height(), tall);
    EXPECT_EQ(layoutFaults(h.window()), std::vector<std::string>{});
    h.window().resize(narrow, h.window().height());
    EXPECT_EQ(layoutFaults(h.window()), std::vector<std::string>{});

    h.publish(std::nullopt);
    EXPECT_EQ(layoutFaults(h.window()), std::vector<std::string>{});
}

TEST(PaneOwners, FollowTheCurveAgainAsksTheAgentToEndThatHoldOnly) {
    OwnersHarness h;
    h.publish(duolume::encodeOwners(
        {Ownership{Owner::Person, 0.3, 2.0, kSince}, Ownership{Owner::Person, 0.7, 2.0, kSince}}));
    h.button("monitorsFollowCurveButton")->click();
    h.button("builtinFollowCurveButton")->click();
    std::vector<std::optional<std::string>> objects;
    for (const auto& post : h.sim().simBus().posts)
        if (post.name == duolume::FollowCurveNotification)
            objects.push_back(post.object);
    EXPECT_EQ(objects, (std::vector<std::optional<std::string>>{"monitors", "builtin"}));
    EXPECT_EQ(h.changePosts(), 0);
}

TEST(PaneOwners, KeepThisBrightnessMovesTheCurveThroughTheHeldValueAtTheLightNow) {
    NSDictionary domain = duolume::initialSettings();
    domain["external4"] = PlistValue::real(0.9);
    domain["external5"] = PlistValue::real(1.0);
    OwnersHarness h(domain);
    // Held at level 2, but the light is at 4.3 now: the curve must give the
    // held value where the light is.
    h.publish(duolume::encodeOwners({Ownership{Owner::Person, 0.62, 2.0, kSince},
                                     Ownership{Owner::Person, 0.99, 4.3, kSince}}));
    h.showLevel(4.3);
    const double before4 = h.stored("internal4"), before5 = h.stored("internal5");

    h.button("builtinKeepButton")->click();
    EXPECT_NEAR(duolume::curveTargetsAt(4.3, h.domain())->internal, 0.62, 0.005);
    EXPECT_NEAR(h.stored("internal4") - before4, h.stored("internal5") - before5, 1e-9);
    EXPECT_EQ(h.slider("internal4")->value(), std::lround(h.stored("internal4") * 1000));
    EXPECT_EQ(h.slider("internal5")->value(), std::lround(h.stored("internal5") * 1000));
    EXPECT_EQ(h.changePosts(), 2);

    // Near the top: the upper point stops at 1.0 and the lower one moves on,
    // so the curve still passes through the held value.
    h.button("monitorsKeepButton")->click();
    EXPECT_NEAR(duolume::curveTargetsAt(4.3, h.domain())->external, 0.99, 0.005);
    EXPECT_EQ(h.stored("external5"), 1.0);
    EXPECT_EQ(h.slider("external4")->value(), std::lround(h.stored("external4") * 1000));

    // Without a reading the hold's own level is used; a whole level is one point.
    h.showLevel(-1.0);
    h.button("builtinKeepButton")->click();
    EXPECT_NEAR(h.stored("internal2"), 0.62, 1e-9);
    EXPECT_EQ(h.changePosts(), 5);
}

TEST(PaneOwners, GnomesAutomaticBrightnessIsSwitchedOffFromTheWindowOnlyWhileItIsOn) {
    using platform::DesktopAutomaticBrightness;
    OwnersHarness h;
    auto& session = h.sim().simSession();
    EXPECT_FALSE(h.shown("switchOffDesktopBrightnessButton"));  // not installed

    // The agent leaves the built-in display to GNOME's and says so.
    session.automaticBrightness = DesktopAutomaticBrightness::On;
    h.publish(duolume::encodeOwners({Ownership{Owner::Desktop}, std::nullopt}));
    ASSERT_TRUE(h.shown("switchOffDesktopBrightnessButton"));
    EXPECT_TRUE(has(h.line(), "Built-in display: left to the desktop's automatic brightness."))
        << h.line();
    EXPECT_TRUE(has(h.line(),
                    "The desktop's automatic brightness is on: Duolume leaves the "
                    "built-in display to it, and the monitors still follow the curve."))
        << h.line();

    session.switchOffFails = true;
    h.button("switchOffDesktopBrightnessButton")->click();
    h.sim().runFor(0.0);
    EXPECT_TRUE(has(h.line(),
                    "The desktop's automatic brightness could not be switched off: switch it "
                    "off in the desktop's settings."))
        << h.line();
    EXPECT_TRUE(h.shown("switchOffDesktopBrightnessButton"));
    EXPECT_EQ(h.changePosts(), 0);

    session.switchOffFails = false;
    h.button("switchOffDesktopBrightnessButton")->click();
    EXPECT_EQ(session.automaticBrightness, DesktopAutomaticBrightness::On)
        << "switched off on the window's thread";
    h.sim().runFor(0.0);
    EXPECT_EQ(session.automaticBrightness, DesktopAutomaticBrightness::Off);
    EXPECT_EQ(h.changePosts(), 0);  // no setting of Duolume's changed: no hold ends
    EXPECT_FALSE(h.shown("switchOffDesktopBrightnessButton"));
    EXPECT_FALSE(has(h.line(), "The desktop's automatic brightness")) << h.line();
}

// Where this session may not switch it off (an administrator's lock), the
// window offers no button and says where it is switched off instead.
TEST(PaneOwners, ASettingTheWindowCannotSwitchOffIsLeftToWhereItIsSwitched) {
    using platform::DesktopAutomaticBrightness;
    OwnersHarness h;
    auto& session = h.sim().simSession();
    session.automaticBrightnessSwitchable = false;
    session.setAutomaticBrightness(DesktopAutomaticBrightness::On);
    h.sim().runFor(0.0);
    EXPECT_FALSE(h.shown("switchOffDesktopBrightnessButton"));
    EXPECT_TRUE(has(h.line(),
                    "The desktop's automatic brightness is on: Duolume leaves the built-in "
                    "display to it, and the monitors still follow the curve. For Duolume to "
                    "drive the built-in display, switch it off in the desktop's settings."))
        << h.line();

    session.automaticBrightnessSwitchable = true;  // the lock is lifted
    session.setAutomaticBrightness(DesktopAutomaticBrightness::On);
    h.sim().runFor(0.0);
    EXPECT_TRUE(h.shown("switchOffDesktopBrightnessButton"));
    EXPECT_FALSE(has(h.line(), "For Duolume to drive")) << h.line();
}

// Plasma tells of its setting when it likes (the first answer comes after the
// window opened; the person changes it in System Settings): the window
// follows without anything else changing, in Plasma's own words.
TEST(PaneOwners, PlasmasAutomaticBrightnessIsShownWhenPlasmaTellsOfIt) {
    using platform::DesktopAutomaticBrightness;
    OwnersHarness h;
    auto& session = h.sim().simSession();
    h.sim().simTexts().desktopSetting = {"Plasma's automatic brightness", "",
                                         "in System Settings, Display & Monitor", ""};
    h.publish(duolume::encodeOwners({Ownership{Owner::Desktop}, std::nullopt}));
    EXPECT_FALSE(h.shown("switchOffDesktopBrightnessButton"));

    session.setAutomaticBrightness(DesktopAutomaticBrightness::On);
    h.sim().runFor(0.0);
    EXPECT_TRUE(h.shown("switchOffDesktopBrightnessButton"));
    EXPECT_TRUE(has(h.line(),
                    "Plasma's automatic brightness is on: Duolume leaves the built-in "
                    "display to it, and the monitors still follow the curve."))
        << h.line();

    session.switchOffFails = true;
    h.button("switchOffDesktopBrightnessButton")->click();
    h.sim().runFor(0.0);
    EXPECT_TRUE(has(h.line(),
                    "Plasma's automatic brightness could not be switched off: switch it "
                    "off in System Settings, Display & Monitor."))
        << h.line();

    session.setAutomaticBrightness(DesktopAutomaticBrightness::Off);  // in System Settings
    h.sim().runFor(0.0);
    EXPECT_FALSE(h.shown("switchOffDesktopBrightnessButton"));
}
