// The one reader of org.freedesktop.DBus.Properties.PropertiesChanged, whose
// body is (sa{sv}as): the interface, the properties that changed with their
// new values, and those that changed without their values (invalidated: read
// them again to know). D-Bus Specification, "org.freedesktop.DBus.Properties".
//
// readPropertyChanges() reads a body already received; PropertyChangesWatch.h
// subscribes to the signal itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "linux/bus/Variant.h"

namespace platform::linux_machine {

class PropertyChanges {
  public:
    const std::string& interface() const { return interface_; }
    // A new value of `name`: of `type` ("b", "(uaa{sv})"; null: any type),
    // else absent.
    Variant value(const char* name, const char* type = nullptr) const;
    std::optional<bool> boolean(const char* name) const;
    std::optional<int> int32(const char* name) const;
    // Changed with or without its value.
    bool mentions(const char* name) const;
    bool invalidates(const char* name) const;
    const std::vector<std::string>& invalidated() const { return invalidated_; }
    // The new values as a dictionary (a{sv}), as GetAll answers them.
    GVariant* values() const { return changed_.get(); }

  private:
    friend std::optional<PropertyChanges> readPropertyChanges(GVariant*, const char*);
    std::string interface_;
    Variant changed_;
    std::vector<std::string> invalidated_;
};

// The body `parameters` as read, or absent when it is not (sa{sv}as) or,
// with `interface` given, tells of another interface.
std::optional<PropertyChanges> readPropertyChanges(GVariant* parameters,
                                                   const char* interface = nullptr);

}  // namespace platform::linux_machine
