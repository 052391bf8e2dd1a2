#include "AppKit/NSNib.h"

#include <QAbstractButton>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QUiLoader>
#include <QWidget>
#include <map>
#include <vector>

#include "AppKit/QtPeers.h"

struct NSNib::Content {
    QPointer<QWidget> root;
    std::unique_ptr<NSView> rootView;
    std::vector<std::unique_ptr<NSView>> views;

    ~Content() {
        views.clear();
        rootView.reset();
        delete root.data();
    }
};

NSNib::NSNib(std::unique_ptr<Content> content) : content_(std::move(content)) {}
NSNib::~NSNib() = default;

NSView& NSNib::topLevelView() const {
    return *content_->rootView;
}

namespace {

void connectAction(QWidget* widget, NSView& view, const NSNibConnections& connections) {
    const QString selector = widget->property("action").toString();
    if (selector.isEmpty())
        return;
    auto* control = dynamic_cast<NSControl*>(&view);
    const auto* action = connections.action(selector.toStdString());
    if (!control || !action) {
        NSLog("Interface control %s sends the unknown action %s", qPrintable(widget->objectName()),
              qPrintable(selector));
        return;
    }
    control->setAction(*action);
}

// Gives every text of `widget` in the user's language; texts without
// letters (level numbers) and empty ones are left alone.
void localizeTexts(QWidget* widget, const NSNib::Localizer& localize) {
    auto translated = [&](const QString& text) {
        if (text.isEmpty() || !text.contains(QRegularExpression("\\p{L}")))
            return text;
        return QString::fromStdString(localize(text.toStdString()));
    };
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(translated(label->text()));
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(translated(button->text()));
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(translated(group->title()));
    widget->setToolTip(translated(widget->toolTip()));
    widget->setWindowTitle(translated(widget->windowTitle()));
}

}  // namespace

std::unique_ptr<NSNib> NSNib::load(const std::string& path, const NSNibConnections& connections,
                                   std::string* error, const Localizer& localize) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = "cannot open " + path;
        return nullptr;
    }
    QUiLoader loader;
    auto content = std::make_unique<Content>();
    content->root = loader.load(&file);
    if (!content->root) {
        if (error)
            *error = loader.errorString().toStdString();
        return nullptr;
    }
    if (localize) {
        localizeTexts(content->root, localize);
        for (QWidget* widget : content->root->findChildren<QWidget*>())
            localizeTexts(widget, localize);
    }
    content->rootView = appkit::makeViewForWidget(content->root, localize);

    std::map<std::string, NSView*> byName;
    for (QWidget* widget : content->root->findChildren<QWidget*>()) {
        const QString name = widget->objectName();
        const bool named = !name.isEmpty() && !name.startsWith("qt_");
        if (!named && !widget->property("action").isValid())
            continue;
        auto view = appkit::makeViewForWidget(widget, localize);
        connectAction(widget, *view, connections);
        if (named)
            byName[name.toStdString()] = view.get();
        content->views.push_back(std::move(view));
    }
    for (const auto& outlet : connections.outlets()) {
        auto it = byName.find(outlet.name);
        if (it == byName.end()) {
            NSLog("Interface %s has no control named %s", path.c_str(), outlet.name.c_str());
        } else if (!outlet.connect(it->second)) {
            NSLog("Interface control %s is not of the kind its outlet needs", outlet.name.c_str());
        }
    }
    return std::unique_ptr<NSNib>(new NSNib(std::move(content)));
}
