// An alert: a message, informative text, an optional suppression check box
// and the one default button. Shown as a sheet: a dialog modal to its window
// only, so other windows stay usable.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "AppKit/NSButton.h"

class NSWindow;

using NSModalResponse = long;
inline constexpr NSModalResponse NSAlertFirstButtonReturn = 1000;

class NSAlert : public std::enable_shared_from_this<NSAlert> {
  public:
    NSAlert();
    ~NSAlert();

    void setMessageText(std::string text) { messageText_ = std::move(text); }
    const std::string& informativeText() const { return informativeText_; }
    void setInformativeText(std::string text) { informativeText_ = std::move(text); }
    void setShowsSuppressionButton(bool shows) { showsSuppressionButton_ = shows; }
    // The check box "Do not show this message again"; its state is non-zero when ticked.
    NSButton& suppressionButton() { return suppressionButton_; }

    // Shows the alert on `window` (or on its own when there is none) and returns
    // at once. `handler` runs once, with the response, when the sheet ends; the
    // alert stays alive until then.
    void beginSheetModalForWindow(NSWindow* window, std::function<void(NSModalResponse)> handler);

  private:
    std::string messageText_;
    std::string informativeText_;
    bool showsSuppressionButton_ = false;
    NSButton suppressionButton_;
};
