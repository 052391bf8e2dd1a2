// A window on screen. Created by the toolkit for its top-level widgets; the
// product only passes windows on (to alert sheets).
#pragma once

#include <memory>
#include <string>

class NSWindow {
  public:
    struct Native;  // the toolkit's window, see QtBridge.h
    explicit NSWindow(std::unique_ptr<Native> native);
    ~NSWindow();
    NSWindow(const NSWindow&) = delete;
    NSWindow& operator=(const NSWindow&) = delete;

    std::string title() const;
    Native& native() const { return *native_; }

  private:
    std::unique_ptr<Native> native_;
};
