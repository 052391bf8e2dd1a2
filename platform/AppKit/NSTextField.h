// A text field; here only as a read-only label whose text the program sets.
#pragma once

#include <string>

#include "AppKit/NSControl.h"

class NSTextField : public NSControl {
  public:
    const std::string& stringValue() const { return text_; }
    void setStringValue(const std::string& text) {
        text_ = text;
        redisplay();
    }

    PlistValue objectValue() const override { return PlistValue::string(text_); }
    // A string shows as it is, a number in plain decimal; an empty value clears it.
    void setObjectValue(const std::optional<PlistValue>& value) override {
        if (value && value->stringValue()) {
            setStringValue(*value->stringValue());
        } else if (auto number = numberFromObjectValue(value)) {
            setDoubleValue(*number);
        } else {
            setStringValue("");
        }
    }
    void setDoubleValue(double value) override { setStringValue(std::to_string(value)); }

    // The text the interface resource gave it.
    void takeStringFromInterface(const std::string& text) { text_ = text; }

  private:
    std::string text_;
};
