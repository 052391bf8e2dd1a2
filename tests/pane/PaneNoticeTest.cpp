// The hardware notice: a sheet on the pane's window at every selection until
// its box is ticked; every dismissal stores the box and announces it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <fstream>

#include "pane/PaneHarness.h"
#include "settings/ProductIdentifier.h"

using testing_support::PaneHarness;

namespace {
// The lookup key of the informative text, which is also what shows when no
// table has an entry for it.
const std::string kInformativeKey =
    "\u201CDuolume\u201D uses Apple private APIs. It might not work correctly with your hardware "
    "or software configuration.";
// What each table says instead: true of the program on Linux.
const QString kInformative = QString::fromUtf8(
    "\u201CDuolume\u201D talks to the light sensor and the monitors through the "
    "kernel\u2019s interfaces, and sets the built-in display through the "
    "desktop\u2019s own brightness service where there is one, else through "
    "systemd-logind or the backlight itself. It might not work with every hardware "
    "or software configuration.");
const QString kInformativeDe = QString::fromUtf8(
    "\u201EDuolume\u201C spricht den Lichtsensor und die Monitore \u00FCber die "
    "Schnittstellen des Kernels an und stellt den eingebauten Bildschirm \u00FCber "
    "den Helligkeitsdienst der Arbeitsumgebung ein, wo es einen gibt, sonst "
    "\u00FCber systemd-logind oder die Hintergrundbeleuchtung selbst. Es "
    "funktioniert m\u00F6glicherweise nicht mit jeder Hardware- oder "
    "Softwarekonfiguration.");
const QString kInformativeFr = QString::fromUtf8(
    "\u00AB Duolume \u00BB pilote le capteur de lumi\u00E8re et les moniteurs par "
    "les interfaces du noyau, et r\u00E8gle l\u2019\u00E9cran int\u00E9gr\u00E9 par "
    "le service de luminosit\u00E9 de l\u2019environnement de bureau s\u2019il y en "
    "a un, sinon par systemd-logind ou par le r\u00E9tro\u00E9clairage "
    "lui-m\u00EAme. Il pourrait ne pas fonctionner avec toutes les configurations "
    "mat\u00E9rielles ou logicielles.");

QString informativeTextIn(const std::string& language, const std::string& bundle) {
    PaneHarness h;
    testing_support::ScopedEnv env("LANGUAGE", language);
    testing_support::ScopedEnv lang("LANG", language + ".UTF-8");  // LANGUAGE is ignored under C
    h.open(bundle);
    return h.notice() ? h.notice()->informativeText() : QString("(no notice)");
}
}  // namespace

TEST(PaneNotice, InformativeTextIsTheTablesLinuxTextInEachLanguage) {
    const std::string bundle = testing_support::builtBundlePath();
    EXPECT_EQ(informativeTextIn("en", bundle), kInformative);
    EXPECT_EQ(informativeTextIn("de", bundle), kInformativeDe);
    EXPECT_EQ(informativeTextIn("fr", bundle), kInformativeFr);
}

TEST(PaneNotice, WithoutAnEntryTheKeyItselfIsShown) {
    testing_support::TempDir dir;
    const std::string bundle = testing_support::copyOfBuiltBundle(dir);
    for (const char* lang : {"en", "de", "fr"}) {
        std::ofstream(bundle + "/Contents/Resources/" + lang + ".lproj/Localizable.strings")
            << "\"Please note\" = \"Please note\";\n";
    }
    EXPECT_EQ(informativeTextIn("fr", bundle).toStdString(), kInformativeKey);
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
    EXPECT_EQ(notice->checkBox()->text(), "Diese Meldung nicht mehr anzeigen");
    h.dismissNotice(true);

    h.window().findChild<QPushButton*>("aboutButton")->click();
    QLabel* copyright = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "NSAboutPanel")
            copyright = w->findChild<QLabel*>("copyright");
    ASSERT_TRUE(copyright);
    EXPECT_EQ(copyright->text(),
              QString::fromUtf8("Copyright \u00A9 2026 Die Duolume-Entwickler. MIT-Lizenz."));
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
