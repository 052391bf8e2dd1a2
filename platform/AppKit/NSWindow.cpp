#include "AppKit/NSWindow.h"

#include <QObject>

#include "AppKit/QtBridge.h"

NSWindow::NSWindow(std::unique_ptr<Native> native) : native_(std::move(native)) {}
NSWindow::~NSWindow() = default;

std::string NSWindow::title() const {
    return native_->widget ? native_->widget->windowTitle().toStdString() : std::string();
}

namespace appkit {
namespace {

// Keeps a window's NSWindow alive exactly as long as the window widget.
class WindowHolder : public QObject {
  public:
    explicit WindowHolder(QWidget* window)
        : QObject(window), nsWindow(std::make_unique<NSWindow::Native>(NSWindow::Native{window})) {
        setObjectName("NSWindowHolder");
    }
    NSWindow nsWindow;
};

}  // namespace

NSWindow* windowForWidget(QWidget* widget) {
    if (!widget)
        return nullptr;
    QWidget* top = widget->window();
    for (QObject* child : top->children()) {
        if (auto* holder = dynamic_cast<WindowHolder*>(child))
            return &holder->nsWindow;
    }
    return &(new WindowHolder(top))->nsWindow;
}

QWidget* widgetForWindow(const NSWindow* window) {
    return window ? window->native().widget.data() : nullptr;
}

}  // namespace appkit
