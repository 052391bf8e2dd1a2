// The Qt peers of the AppKit views: a slider over QAbstractSlider, a switch
// or push button over QAbstractButton, a level indicator over QProgressBar,
// and any other widget as a plain view.
#pragma once

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <memory>

#include "AppKit/NSButton.h"
#include "AppKit/NSLevelIndicator.h"
#include "AppKit/NSNib.h"
#include "AppKit/NSSlider.h"
#include "AppKit/NSTextField.h"
#include "AppKit/QtBridge.h"

namespace appkit {

class QtViewPeer : public QObject, public ViewPeer {
    Q_OBJECT
  public:
    explicit QtViewPeer(QWidget* widget) : widget_(widget) {}
    NSWindow* window() override { return widget_ ? windowForWidget(widget_) : nullptr; }
    void showHidden(bool hidden) override {
        if (widget_)
            widget_->setHidden(hidden);
    }
    QWidget* widget() const { return widget_; }

  private:
    QPointer<QWidget> widget_;
};

class QtSliderPeer : public QtViewPeer {
    Q_OBJECT
  public:
    QtSliderPeer(QAbstractSlider* slider, NSSlider& control);
    void display(const NSView&) override;

  private:
    QPointer<QAbstractSlider> slider_;
    bool updating_ = false;
};

class QtButtonPeer : public QtViewPeer {
    Q_OBJECT
  public:
    QtButtonPeer(QAbstractButton* button, NSButton& control);
    void display(const NSView&) override;

  private:
    QPointer<QAbstractButton> button_;
};

class QtLevelIndicatorPeer : public QtViewPeer {
    Q_OBJECT
  public:
    // `noReading` is the tool tip while there is no level to show.
    QtLevelIndicatorPeer(QProgressBar* bar, QString noReading)
        : QtViewPeer(bar), bar_(bar), noReading_(std::move(noReading)) {}
    void display(const NSView&) override;

  private:
    QPointer<QProgressBar> bar_;
    QString noReading_;
};

class QtTextFieldPeer : public QtViewPeer {
    Q_OBJECT
  public:
    explicit QtTextFieldPeer(QLabel* label) : QtViewPeer(label), label_(label) {}
    void display(const NSView&) override;

  private:
    QPointer<QLabel> label_;
};

// Wraps a widget as the AppKit view of its kind, with its peer attached. The
// texts a peer shows of its own pass through `localize`, as the interface's do.
std::unique_ptr<NSView> makeViewForWidget(QWidget* widget, const NSNib::Localizer& localize = {});

}  // namespace appkit
