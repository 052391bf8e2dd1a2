// A button; as a switch (check box) its state is off (0) or on (1) and its
// value is that state as an integer.
#pragma once

#include "AppKit/NSControl.h"

using NSControlStateValue = NSInteger;
inline constexpr NSControlStateValue NSControlStateValueOff = 0;
inline constexpr NSControlStateValue NSControlStateValueOn = 1;

class NSButton : public NSControl {
  public:
    NSControlStateValue state() const { return state_; }
    void setState(NSControlStateValue state) {
        state_ = state != 0 ? NSControlStateValueOn : NSControlStateValueOff;
        redisplay();
    }

    PlistValue objectValue() const override { return PlistValue::integer(state_); }
    // Any non-zero number turns the switch on; an empty value turns it off.
    void setObjectValue(const std::optional<PlistValue>& value) override {
        setState(numberFromObjectValue(value).value_or(0.0) != 0.0);
    }
    void setDoubleValue(double value) override { setState(value != 0.0); }

    // The user clicked: the new state comes from the toolkit.
    void takeStateFromUser(NSControlStateValue state) {
        state_ = state != 0 ? NSControlStateValueOn : NSControlStateValueOff;
    }

  private:
    NSControlStateValue state_ = NSControlStateValueOff;
};
