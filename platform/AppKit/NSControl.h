// Controls: a value, a tag and a target-action pair. The action is sent when
// the user changes the control, never when the program sets its value.
#pragma once

#include <functional>
#include <optional>

#include "AppKit/NSView.h"
#include "base/PropertyList.h"

using NSInteger = long;

class NSControl : public NSView {
  public:
    NSInteger tag() const { return tag_; }
    void setTag(NSInteger tag) { tag_ = tag; }

    // The value as a number (never absent: a control given an empty value
    // shows its neutral state and reports that state's number).
    virtual PlistValue objectValue() const = 0;
    // Sets the value from a number or boolean; an empty value (or one that is
    // not a number) shows the neutral state.
    virtual void setObjectValue(const std::optional<PlistValue>& value) = 0;
    virtual void setDoubleValue(double value) = 0;

    double doubleValue() const { return objectValue().doubleValue().value_or(0.0); }
    int intValue() const { return static_cast<int>(doubleValue()); }
    bool boolValue() const { return doubleValue() != 0.0; }

    using Action = std::function<void(NSControl& sender)>;
    void setAction(Action action) { action_ = std::move(action); }
    // Sent by the toolkit peer after the user changed the control.
    void sendAction() {
        if (action_)
            action_(*this);
    }

  private:
    NSInteger tag_ = 0;
    Action action_;
};

// Reads a number from an optional property-list value; absent for anything else.
std::optional<double> numberFromObjectValue(const std::optional<PlistValue>& value);
