// A slider over a range of doubles (0.0 to 1.0 unless told otherwise). The
// value is kept exactly as set; the widget shows it at its own resolution.
#pragma once

#include <algorithm>
#include <cmath>

#include "AppKit/NSControl.h"

class NSSlider : public NSControl {
  public:
    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    void setRange(double minValue, double maxValue) {
        min_ = minValue;
        max_ = maxValue;
        setDoubleValue(value_);
    }

    PlistValue objectValue() const override { return PlistValue::real(value_); }
    // An empty value puts the slider at its minimum.
    void setObjectValue(const std::optional<PlistValue>& value) override {
        setDoubleValue(numberFromObjectValue(value).value_or(min_));
    }
    // Values outside the range are pinned to its ends, as a slider can show no other.
    void setDoubleValue(double value) override {
        value_ = std::isnan(value) ? min_ : std::clamp(value, min_, max_);
        redisplay();
    }

    // The user moved the knob: the new value comes from the toolkit.
    void takeValueFromUser(double value) { value_ = std::clamp(value, min_, max_); }

  private:
    double min_ = 0.0;
    double max_ = 1.0;
    double value_ = 0.0;
};
