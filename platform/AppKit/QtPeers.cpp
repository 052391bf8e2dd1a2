#include "AppKit/QtPeers.h"

#include <QCheckBox>
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace appkit {

QWidget* widgetForView(const NSView* view) {
    auto* peer = view ? dynamic_cast<QtViewPeer*>(view->peer()) : nullptr;
    return peer ? peer->widget() : nullptr;
}

QtSliderPeer::QtSliderPeer(QAbstractSlider* slider, NSSlider& control)
    : QtViewPeer(slider), slider_(slider) {
    // Report while the knob is dragged, not only when it is released.
    slider->setTracking(true);
    connect(slider, &QAbstractSlider::valueChanged, this, [this, &control](int position) {
        if (updating_)
            return;
        const double span = slider_->maximum() - slider_->minimum();
        const double fraction = span > 0 ? (position - slider_->minimum()) / span : 0.0;
        control.takeValueFromUser(control.minValue() +
                                  fraction * (control.maxValue() - control.minValue()));
        control.sendAction();
    });
}

void QtSliderPeer::display(const NSView& view) {
    const auto& control = static_cast<const NSSlider&>(view);
    if (!slider_)
        return;
    const double span = control.maxValue() - control.minValue();
    const double fraction = span > 0 ? (control.doubleValue() - control.minValue()) / span : 0.0;
    updating_ = true;
    slider_->setValue(
        slider_->minimum() +
        static_cast<int>(std::lround(fraction * (slider_->maximum() - slider_->minimum()))));
    updating_ = false;
}

QtButtonPeer::QtButtonPeer(QAbstractButton* button, NSButton& control)
    : QtViewPeer(button), button_(button) {
    // clicked() comes from the user (mouse, keyboard), never from setChecked().
    connect(button, &QAbstractButton::clicked, this, [&control](bool checked) {
        control.takeStateFromUser(checked ? NSControlStateValueOn : NSControlStateValueOff);
        control.sendAction();
    });
}

void QtButtonPeer::display(const NSView& view) {
    const auto& control = static_cast<const NSButton&>(view);
    if (button_ && button_->isCheckable())
        button_->setChecked(control.state() != NSControlStateValueOff);
}

void QtLevelIndicatorPeer::display(const NSView& view) {
    const auto& control = static_cast<const NSLevelIndicator&>(view);
    if (!bar_)
        return;
    const double level = control.doubleValue();
    const double span = control.maxValue() - control.minValue();
    if (!(level >= control.minValue()) || span <= 0) {
        bar_->setValue(bar_->minimum());  // below the scale or not a number: empty
        bar_->setToolTip(noReading_);
        return;
    }
    const double fraction = std::min(1.0, (level - control.minValue()) / span);
    bar_->setValue(bar_->minimum() +
                   static_cast<int>(std::lround(fraction * (bar_->maximum() - bar_->minimum()))));
    bar_->setToolTip(QLocale().toString(level, 'f', 1));
}

void QtTextFieldPeer::display(const NSView& view) {
    if (label_)
        label_->setText(
            QString::fromStdString(static_cast<const NSTextField&>(view).stringValue()));
}

std::unique_ptr<NSView> makeViewForWidget(QWidget* widget, const NSNib::Localizer& localize) {
    std::unique_ptr<NSView> view;
    if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
        auto control = std::make_unique<NSSlider>();
        control->setPeer(std::make_unique<QtSliderPeer>(slider, *control));
        view = std::move(control);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        auto control = std::make_unique<NSButton>();
        control->takeStateFromUser(button->isChecked());
        control->setPeer(std::make_unique<QtButtonPeer>(button, *control));
        view = std::move(control);
    } else if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
        bar->setTextVisible(false);
        auto control = std::make_unique<NSLevelIndicator>();
        const std::string noReading = "No ambient light reading";
        control->setPeer(std::make_unique<QtLevelIndicatorPeer>(
            bar, QString::fromStdString(localize ? localize(noReading) : noReading)));
        view = std::move(control);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        auto control = std::make_unique<NSTextField>();
        control->takeStringFromInterface(label->text().toStdString());
        control->setPeer(std::make_unique<QtTextFieldPeer>(label));
        view = std::move(control);
    } else {
        view = std::make_unique<NSView>();
        view->setPeer(std::make_unique<QtViewPeer>(widget));
    }
    if (auto* control = dynamic_cast<NSControl*>(view.get())) {
        control->setTag(widget->property("tag").toLongLong());
    }
    // Hidden by the interface ("visible" false), not merely not shown yet.
    view->takeHiddenFromInterface(widget->testAttribute(Qt::WA_WState_ExplicitShowHide) &&
                                  widget->isHidden());
    return view;
}

}  // namespace appkit
