// The about panel describes the pane from its own bundle; the options end at
// the first value that cannot be had, and the panel falls back to the host's
// own for the rest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTextBrowser>

#include "Foundation/PropertyListSerialization.h"
#include "pane/PaneHarness.h"
#include "settings/ProductIdentifier.h"

using testing_support::PaneHarness;

namespace {

struct Panel {
    QString name, version, copyright, credits;
    bool creditsShown = false, copyrightShown = false, iconShown = false;
};

Panel clickAbout(PaneHarness& h) {
    h.window().findChild<QPushButton*>("aboutButton")->click();
    QWidget* panel = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "NSAboutPanel" && w->isVisible())
            panel = w;
    if (!panel)
        return {};
    Panel p;
    p.name = panel->findChild<QLabel*>("applicationName")->text();
    p.version = panel->findChild<QLabel*>("version")->text();
    p.copyright = panel->findChild<QLabel*>("copyright")->text();
    p.copyrightShown = panel->findChild<QLabel*>("copyright")->isVisibleTo(panel);
    p.credits = panel->findChild<QTextBrowser*>("credits")->toPlainText();
    p.creditsShown = panel->findChild<QTextBrowser*>("credits")->isVisibleTo(panel);
    p.iconShown = panel->findChild<QLabel*>("icon")->isVisibleTo(panel);
    return p;
}

void openQuietly(PaneHarness& h, const std::string& bundle) {
    h.sim().simDefaults().domains[duolume::ProductIdentifier] = {
        {"suppressHardwareWarning", PlistValue::boolean(true)}};
    h.open(bundle);
}

}  // namespace

TEST(PaneAbout, ShowsAllSixValuesOfThePaneBundle) {
    PaneHarness h;
    openQuietly(h, testing_support::builtBundlePath());
    Panel p = clickAbout(h);
    EXPECT_EQ(p.name, "Duolume");
    EXPECT_EQ(p.version, "Version 1.0 (1.0.0)");
    EXPECT_EQ(p.copyright,
              QString::fromUtf8("Copyright \u00A9 2026 The Duolume developers. MIT licence."));
    EXPECT_TRUE(p.copyrightShown);
    EXPECT_TRUE(p.creditsShown);
    EXPECT_TRUE(p.credits.contains("Engineering")) << p.credits.toStdString();
    EXPECT_TRUE(p.credits.contains("MIT licence")) << p.credits.toStdString();
    EXPECT_TRUE(p.iconShown);
}

TEST(PaneAbout, UnreadableCreditsLeaveEveryOptionOut) {
    testing_support::TempDir dir;
    const std::string bundle = testing_support::copyOfBuiltBundle(dir);
    testing_support::writeFile(bundle + "/Contents/Resources/Credits.rtf", "{\\rtf1 cut short");
    PaneHarness h;
    openQuietly(h, bundle);
    Panel p = clickAbout(h);
    EXPECT_EQ(p.name, "Test Host");  // the host's own
    EXPECT_EQ(p.version, "Version 9.9");
    EXPECT_FALSE(p.creditsShown);
    EXPECT_FALSE(p.copyrightShown);
    EXPECT_FALSE(p.iconShown);
}

TEST(PaneAbout, AMissingCopyrightEndsTheOptionsAfterTheIcon) {
    testing_support::TempDir dir;
    const std::string bundle = testing_support::copyOfBuiltBundle(dir);
    auto info = dictionaryWithContentsOfFile(bundle + "/Contents/Info.plist");
    ASSERT_TRUE(info);
    info->erase("NSHumanReadableCopyright");
    ASSERT_TRUE(writeToFile(*info, bundle + "/Contents/Info.plist", true));
    PaneHarness h;
    openQuietly(h, bundle);
    Panel p = clickAbout(h);
    EXPECT_TRUE(p.creditsShown);
    EXPECT_TRUE(p.iconShown);
    EXPECT_FALSE(p.copyrightShown);
    EXPECT_EQ(p.name, "Test Host");  // present in the bundle, but after the gap
    EXPECT_EQ(p.version, "Version 9.9");
}
