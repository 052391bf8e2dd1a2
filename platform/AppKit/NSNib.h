// An interface resource: a Qt Designer .ui file read at run time, its
// widgets wrapped as AppKit views and connected to an owner's outlets and
// actions (see NSNibConnections).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "AppKit/NSNibConnections.h"

class NSNib {
  public:
    ~NSNib();
    // The text a control shows for a text of the interface resource.
    using Localizer = std::function<std::string(const std::string& text)>;

    // Loads the file at `path` and connects it. Null when it cannot be read;
    // `error` then says why. Missing or mismatched controls are logged and
    // their fields stay null. With `localize`, every text of the interface
    // (labels, buttons, group titles, tool tips) is passed through it, and so
    // are the texts its controls show of their own (the level indicator's
    // tool tip while it has no reading).
    static std::unique_ptr<NSNib> load(const std::string& path, const NSNibConnections& connections,
                                       std::string* error = nullptr,
                                       const Localizer& localize = {});
    // The top-level view of the interface.
    NSView& topLevelView() const;

  private:
    struct Content;
    explicit NSNib(std::unique_ptr<Content> content);
    std::unique_ptr<Content> content_;
};
