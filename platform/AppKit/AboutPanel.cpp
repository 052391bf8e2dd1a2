#include "AppKit/AboutPanel.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "AppKit/PlatformTexts.h"

namespace appkit {
namespace {

template <class T>
const T* findOption(const NSAboutPanelOptions& options, const std::string& key) {
    for (const auto& option : options) {
        if (option.key == key)
            return std::get_if<T>(&option.value);
    }
    return nullptr;
}

QLabel* makeLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignHCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

}  // namespace

QString htmlFromAttributedString(const NSAttributedString& text) {
    QString html;
    for (const auto& run : text.runs()) {
        QString part = QString::fromStdString(run.text).toHtmlEscaped().replace('\n', "<br>");
        if (run.bold)
            part = "<b>" + part + "</b>";
        if (run.italic)
            part = "<i>" + part + "</i>";
        html += part;
    }
    return "<div align=\"center\">" + html + "</div>";
}

AboutPanel::AboutPanel() {
    setObjectName("NSAboutPanel");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(8);
    icon_ = makeLabel("icon", this);
    name_ = makeLabel("applicationName", this);
    QFont big = name_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    name_->setFont(big);
    version_ = makeLabel("version", this);
    credits_ = new QTextBrowser(this);
    credits_->setObjectName("credits");
    credits_->setOpenExternalLinks(true);
    credits_->setMinimumHeight(230);
    credits_->setFrameShape(QFrame::NoFrame);
    credits_->viewport()->setAutoFillBackground(false);
    copyright_ = makeLabel("copyright", this);
    QFont small = copyright_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    copyright_->setFont(small);
    for (QWidget* w : {static_cast<QWidget*>(icon_), static_cast<QWidget*>(name_),
                       static_cast<QWidget*>(version_), static_cast<QWidget*>(credits_),
                       static_cast<QWidget*>(copyright_)}) {
        layout->addWidget(w);
    }
    setFixedWidth(340);
}

void AboutPanel::setOptions(const NSAboutPanelOptions& options) {
    const auto* name = findOption<std::string>(options, NSAboutPanelOptionApplicationName);
    const QString appName =
        name ? QString::fromStdString(*name) : QGuiApplication::applicationDisplayName();
    name_->setText(appName);
    setWindowTitle(QString::fromStdString(platformText("About")) + " " + appName);

    const auto* image = findOption<NSImage>(options, NSAboutPanelOptionApplicationIcon);
    const QIcon icon =
        image ? QIcon(QString::fromStdString(image->path())) : QApplication::windowIcon();
    icon_->setPixmap(icon.pixmap(96, 96));
    icon_->setVisible(!icon.isNull());

    const auto* shortVersion =
        findOption<std::string>(options, NSAboutPanelOptionApplicationVersion);
    const auto* build = findOption<std::string>(options, NSAboutPanelOptionVersion);
    QString version = shortVersion ? QString::fromStdString(*shortVersion)
                                   : QCoreApplication::applicationVersion();
    if (build && !build->empty() && QString::fromStdString(*build) != version) {
        version += " (" + QString::fromStdString(*build) + ")";
    }
    version_->setText(QString::fromStdString(platformText("Version %1")).arg(version));
    version_->setVisible(!version.isEmpty());

    const auto* credits = findOption<NSAttributedString>(options, NSAboutPanelOptionCredits);
    credits_->setHtml(credits ? htmlFromAttributedString(*credits) : QString());
    credits_->setVisible(credits != nullptr);

    const auto* copyright = findOption<std::string>(options, NSAboutPanelOptionCopyright);
    copyright_->setText(copyright ? QString::fromStdString(*copyright) : QString());
    copyright_->setVisible(copyright != nullptr);
    adjustSize();
}

}  // namespace appkit

NSApplication& NSApplication::sharedApplication() {
    static NSApplication application;
    return application;
}

void NSApplication::orderFrontStandardAboutPanelWithOptions(const NSAboutPanelOptions& options) {
    static QPointer<appkit::AboutPanel> panel;
    if (!panel)
        panel = new appkit::AboutPanel();
    panel->setOptions(options);
    panel->show();
    panel->raise();
    panel->activateWindow();
}
