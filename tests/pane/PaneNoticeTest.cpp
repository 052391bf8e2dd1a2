// The hardware notice: a sheet on the pane's window at every selection until
// its box is ticked; every dismissal stores the box and announces it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>

#include "pane/PaneHarness.h"
#include "settings/ProductIdentifier.h"

using testing_support::PaneHarness;

namespace {
const QString kInformative = QString::fromUtf8(
    "\u201CDuolume\u201D uses Apple private APIs. It might not work correctly with your hardware "
    "or "
    "software configuration.");
}

TEST(PaneNotice, IsShownAtEverySelectionUntilItsBoxIsTicked) {
    PaneHarness h;
    h.open();
    QMessageBox* notice = h.notice();
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->parentWidget(), &h.window());
    EXPECT_EQ(notice->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(notice->text().contains("Please note"));
    EXPECT_EQ(notice->informativeText(), kInformative);
    EXPECT_EQ(notice->buttons().size(), 1);

    h.dismissNotice(false);
    EXPECT_EQ(h.domain()->at("suppressHardwareWarning"), PlistValue::boolean(false));
    EXPECT_EQ(h.changePosts(), 1);

    h.reselect();
    ASSERT_TRUE(h.notice());
    h.dismissNotice(false);  // unchanged, stored and announced all the same
    EXPECT_EQ(h.domain()->at("suppressHardwareWarning"), PlistValue::boolean(false));
    EXPECT_EQ(h.changePosts(), 2);

    h.reselect();
    ASSERT_TRUE(h.notice());
    h.dismissNotice(true);
    EXPECT_EQ(h.domain()->at("suppressHardwareWarning"), PlistValue::boolean(true));
    EXPECT_EQ(h.changePosts(), 3);

    h.reselect();
    EXPECT_FALSE(h.notice());
    EXPECT_EQ(h.changePosts(), 3);
}

TEST(PaneNotice, NoticeAndAboutPanelSpeakTheUsersLanguage) {
    PaneHarness h;
    testing_support::ScopedEnv language("LANGUAGE", "de_DE:fr");
    testing_support::ScopedEnv lang("LANG", "de_DE.UTF-8");
    h.open();
    QMessageBox* notice = h.notice();
    ASSERT_TRUE(notice);
    EXPECT_TRUE(notice->text().contains("Bitte beachten"));
    EXPECT_TRUE(
        notice->informativeText().startsWith(QString::fromUtf8("\u201EDuolume\u201C verwendet")));
    EXPECT_EQ(notice->checkBox()->text(), "Diese Meldung nicht mehr anzeigen");
    h.dismissNotice(true);

    h.window().findChild<QPushButton*>("aboutButton")->click();
    QLabel* copyright = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "NSAboutPanel")
            copyright = w->findChild<QLabel*>("copyright");
    ASSERT_TRUE(copyright);
    EXPECT_EQ(copyright->text(),
              QString::fromUtf8(
                  "Copyright \u00A9 2026 Die Duolume-Entwickler. MIT-Lizenz."));
}

TEST(PaneNotice, QuittingWithTheNoticeOpenLeavesTheSettingsWhole) {
    PaneHarness h;
    h.open();
    ASSERT_TRUE(h.notice());
    const NSDictionary before = *h.domain();
    h.closeWindow();
    // Not dismissed, so nothing is stored: the notice comes again next time.
    EXPECT_EQ(*h.domain(), before);
    EXPECT_EQ(h.changePosts(), 0);
}
