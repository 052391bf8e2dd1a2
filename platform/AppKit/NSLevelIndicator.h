// A continuous level indicator over the levels 0 to 10. The
// value is kept as given, without clamping; what lies below the minimum
// (a negative level, a failure marker) shows an empty indicator.
#pragma once

#include "AppKit/NSControl.h"

class NSLevelIndicator : public NSControl {
  public:
    double minValue() const { return min_; }
    double maxValue() const { return max_; }

    PlistValue objectValue() const override { return PlistValue::real(value_); }
    // An empty value shows the indicator empty.
    void setObjectValue(const std::optional<PlistValue>& value) override {
        setDoubleValue(numberFromObjectValue(value).value_or(min_));
    }
    void setDoubleValue(double value) override {
        value_ = value;
        redisplay();
    }

  private:
    double min_ = 0.0;
    double max_ = 10.0;
    double value_ = 0.0;
};
