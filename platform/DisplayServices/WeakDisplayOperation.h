// A weakly linked display operation (DisplayServices, CoreDisplay). It tests
// false while the machine lacks the operation, so callers check presence at
// the moment they would call, as with a weak symbol:
//
//     if (DisplayServicesGetBrightness) status = DisplayServicesGetBrightness(display, &cell);
#pragma once

#include <cstdio>
#include <cstdlib>

#include "machine/DisplayBackend.h"
#include "machine/Machine.h"

namespace platform {

template <OptionalDisplayOperation Op, typename Signature>
class WeakDisplayOperation;

template <OptionalDisplayOperation Op, typename R, typename... Args>
class WeakDisplayOperation<Op, R(Args...)> {
  public:
    using Implementation = R (*)(Args...);
    constexpr WeakDisplayOperation(const char* name, Implementation impl)
        : name_(name), impl_(impl) {}

    explicit operator bool() const { return Machine::current().displays().hasOperation(Op); }

    // Calling an absent operation is a programming error, as calling a null
    // weak symbol would be.
    R operator()(Args... args) const {
        if (!*this) {
            std::fprintf(stderr, "platform: %s called while absent\n", name_);
            std::abort();
        }
        return impl_(args...);
    }

  private:
    const char* name_;
    Implementation impl_;
};

}  // namespace platform
