#include "AppKit/NSAlert.h"

#include <QCheckBox>
#include <QMessageBox>

#include "AppKit/PlatformTexts.h"
#include "AppKit/QtBridge.h"
#include "AppKit/QtPeers.h"

NSAlert::NSAlert() = default;
NSAlert::~NSAlert() = default;

void NSAlert::beginSheetModalForWindow(NSWindow* window,
                                       std::function<void(NSModalResponse)> handler) {
    auto* box = new QMessageBox(appkit::widgetForWindow(window));
    box->setObjectName("NSAlert");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::RichText);
    box->setText("<b>" + QString::fromStdString(messageText_).toHtmlEscaped() + "</b>");
    box->setInformativeText(QString::fromStdString(informativeText_));
    box->setStandardButtons(QMessageBox::Ok);
    box->button(QMessageBox::Ok)->setText(QString::fromStdString(appkit::platformText("OK")));
    if (showsSuppressionButton_) {
        auto* check = new QCheckBox(
            QString::fromStdString(appkit::platformText("Do not show this message again")));
        check->setObjectName("suppressionButton");
        suppressionButton_.setState(NSControlStateValueOff);
        suppressionButton_.setPeer(
            std::make_unique<appkit::QtButtonPeer>(check, suppressionButton_));
        box->setCheckBox(check);
    }
    // The connection holds the alert until the sheet has ended.
    std::shared_ptr<NSAlert> keepAlive = weak_from_this().lock();
    QPointer<QCheckBox> check = box->checkBox();
    QObject::connect(box, &QDialog::finished, box, [this, keepAlive, handler, check](int) {
        if (check)
            suppressionButton_.takeStateFromUser(check->isChecked());
        if (handler)
            handler(NSAlertFirstButtonReturn);
        suppressionButton_.setPeer(nullptr);
    });
    box->open();
}
