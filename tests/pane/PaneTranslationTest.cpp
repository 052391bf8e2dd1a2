// Every text of the pane's interface in the user's language, tool tips
// included, and whole in its widget: a text added to the interface without a
// German and a French entry, or a translation too long for its place, fails here.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <fstream>
#include <sstream>

#include "Foundation/StringsTable.h"
#include "pane/PaneHarness.h"
#include "sensor/AmbientLightSensor.h"

using testing_support::PaneHarness;

namespace {

// Whether the widget is narrower (or, for a wrapped label, lower) than its
// text needs, as the window laid it out.
bool isCut(QWidget* w) {
    if (!w->isVisible())
        return false;
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->wordWrap() ? label->height() < label->heightForWidth(label->width())
                                 : label->width() < label->sizeHint().width();
    }
    if (qobject_cast<QAbstractButton*>(w))
        return w->width() < w->sizeHint().width();
    if (qobject_cast<QGroupBox*>(w))
        return w->width() < w->minimumSizeHint().width();
    return false;
}

// Every visible text of the loaded interface, in widget order; each must fit
// its widget.
std::vector<std::string> interfaceTexts(const std::string& language) {
    PaneHarness h;
    testing_support::ScopedEnv env("LANGUAGE", language);
    testing_support::ScopedEnv lang("LANG", language + ".UTF-8");  // LANGUAGE is ignored under C
    h.open();
    h.dismissNotice(true);
    // Without a reading the level indicator shows a tool tip of its own.
    NSNotificationCenter::defaultCenter().postNotificationName(AmbientLightChangedNotification,
                                                               PlistValue::real(-1.0));
    QCoreApplication::processEvents();  // the window's layout settles
    auto* root = h.window().findChild<QWidget*>("DuolumePref");
    EXPECT_TRUE(root);
    std::vector<std::string> texts;
    if (!root)
        return texts;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        EXPECT_FALSE(isCut(w)) << language << ": " << w->objectName().toStdString() << " is cut";
        if (w->objectName() == "statusLine")
            continue;  // the program's own texts, from Localizable.strings (checked below)
        if (auto* label = qobject_cast<QLabel*>(w))
            texts.push_back(label->text().toStdString());
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts.push_back(button->text().toStdString());
        if (auto* group = qobject_cast<QGroupBox*>(w))
            texts.push_back(group->title().toStdString());
        texts.push_back(w->toolTip().toStdString());
    }
    return texts;
}

platform::StringsTable bundleTable(const std::string& language, const std::string& table) {
    std::ifstream in(testing_support::builtBundlePath() + "/Contents/Resources/" + language +
                     ".lproj/" + table + ".strings");
    std::stringstream bytes;
    bytes << in.rdbuf();
    return platform::parseStringsTable(bytes.str()).value_or(platform::StringsTable{});
}

bool hasLetters(const std::string& text) {
    return QString::fromStdString(text).contains(QRegularExpression("\\p{L}"));
}

}  // namespace

TEST(PaneTranslation, EveryTextOfTheInterfaceShowsInGermanAndFrench) {
    const auto english = interfaceTexts("en");
    ASSERT_GT(english.size(), 40u);
    for (const std::string language : {"de", "fr"}) {
        const auto table = bundleTable(language, "DuolumePref");
        const auto shown = interfaceTexts(language);
        ASSERT_EQ(shown.size(), english.size());
        for (std::size_t i = 0; i < english.size(); ++i) {
            if (!hasLetters(english[i]))
                continue;  // empty, or a level number
            auto entry = table.find(english[i]);
            if (entry == table.end()) {
                ADD_FAILURE() << language << ": no translation of \"" << english[i] << "\"";
                continue;
            }
            EXPECT_EQ(shown[i], entry->second) << language << ": \"" << english[i] << "\"";
        }
    }
}

TEST(PaneTranslation, EveryTextOfTheProgramHasAGermanAndAFrenchEntry) {
    const auto english = bundleTable("en", "Localizable");
    ASSERT_GT(english.size(), 5u);
    for (const std::string language : {"de", "fr"}) {
        const auto table = bundleTable(language, "Localizable");
        for (const auto& [key, text] : english)
            EXPECT_TRUE(table.count(key)) << language << ": no translation of \"" << key << "\"";
    }
}
