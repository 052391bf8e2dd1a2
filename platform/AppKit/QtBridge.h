// Between the AppKit stand-ins and Qt widgets. Only the AppKit layer, the
// preferences host and tests include this.
#pragma once

#include <QPointer>
#include <QWidget>

#include "AppKit/NSView.h"
#include "AppKit/NSWindow.h"

struct NSWindow::Native {
    QPointer<QWidget> widget;
};

namespace appkit {

// The NSWindow of a widget's top-level window, made on first use and owned by
// that window (it goes away with it).
NSWindow* windowForWidget(QWidget* widget);
// The widget of a window, or null once it is gone.
QWidget* widgetForWindow(const NSWindow* window);
// The widget that shows a view, or null for a view without a Qt peer.
QWidget* widgetForView(const NSView* view);

}  // namespace appkit
