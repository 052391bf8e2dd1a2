// Exceptions with a name and a reason. They mark programming errors.
#pragma once

#include <stdexcept>
#include <string>

inline const std::string NSInternalInconsistencyException = "NSInternalInconsistencyException";

class NSException : public std::runtime_error {
  public:
    NSException(std::string name, std::string reason)
        : std::runtime_error(name + ": " + reason),
          name_(std::move(name)),
          reason_(std::move(reason)) {}
    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }

  private:
    std::string name_;
    std::string reason_;
};
