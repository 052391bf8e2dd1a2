// Alert sheets: modal to their window only, one default button, the
// suppression check box, and a completion handler that runs once.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QMessageBox>

#include "AppKit/NSAlert.h"
#include "AppKit/QtBridge.h"
#include "appkit/OffscreenApp.h"
#include "support/TempDir.h"

namespace {

struct Sheet {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    std::vector<NSModalResponse> responses;
    std::vector<NSControlStateValue> suppression;
};

QMessageBox* openSheet(QWidget* window) {
    for (auto* box : window->findChildren<QMessageBox*>())
        if (box->isVisible())
            return box;
    return nullptr;
}

}  // namespace

TEST(AlertSheet, IsWindowModalAndReportsTheSuppressionBoxOnce) {
    testing_support::offscreenApp();
    testing_support::ScopedEnv language("LANGUAGE", std::nullopt);
    testing_support::ScopedEnv lang("LANG", "C");
    Sheet sheet;
    sheet.window->show();
    auto alert = std::make_shared<NSAlert>();
    alert->setMessageText("Please <note>");
    alert->setInformativeText("\u201CDuolume\u201D text");
    alert->setShowsSuppressionButton(true);
    std::weak_ptr<NSAlert> watch = alert;
    alert->beginSheetModalForWindow(
        appkit::windowForWidget(sheet.window.get()), [&sheet, alert](NSModalResponse r) {
            sheet.responses.push_back(r);
            sheet.suppression.push_back(alert->suppressionButton().state());
        });
    alert.reset();
    EXPECT_FALSE(watch.expired());  // held until the sheet ends

    QMessageBox* box = openSheet(sheet.window.get());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->informativeText(), QString::fromUtf8("\u201CDuolume\u201D text"));
    EXPECT_TRUE(box->text().contains("Please &lt;note&gt;"));
    EXPECT_EQ(box->buttons().size(), 1);
    ASSERT_TRUE(box->checkBox());
    EXPECT_EQ(box->checkBox()->text(), "Do not show this message again");
    EXPECT_TRUE(sheet.responses.empty());  // returned at once, still showing

    box->checkBox()->click();
    box->buttons().first()->click();
    EXPECT_EQ(sheet.responses, std::vector<NSModalResponse>{NSAlertFirstButtonReturn});
    EXPECT_EQ(sheet.suppression, std::vector<NSControlStateValue>{NSControlStateValueOn});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.expired());
}

TEST(AlertSheet, SpeaksTheUsersLanguageForItsOwnTexts) {
    testing_support::offscreenApp();
    testing_support::ScopedEnv language("LANGUAGE", "de");
    testing_support::ScopedEnv lang("LANG", "de_DE.UTF-8");
    Sheet sheet;
    auto alert = std::make_shared<NSAlert>();
    alert->setShowsSuppressionButton(true);
    alert->beginSheetModalForWindow(appkit::windowForWidget(sheet.window.get()),
                                    [&](NSModalResponse r) { sheet.responses.push_back(r); });
    QMessageBox* box = sheet.window->findChild<QMessageBox*>();
    ASSERT_TRUE(box && box->checkBox());
    EXPECT_EQ(box->checkBox()->text(), "Diese Meldung nicht mehr anzeigen");
    box->reject();  // closed any other way: the handler still runs, once
    EXPECT_EQ(sheet.responses.size(), 1u);
}
