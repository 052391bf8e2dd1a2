// The values people set by hand that the agent keeps, one per kind of
// display, and when each stops being kept: once the light has moved a whole
// level from where it was set.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "report/DisplayOwnership.h"

namespace duolume {

class DisplayHolds {
  public:
    struct Hold {
        double value = 0.0;
        double level = 0.0;      // the light level when it was set
        std::int64_t since = 0;  // seconds since 1970
    };

    // Someone else left `kind` at `value` with the light at `level`: the
    // same hold when that is the value already held, a new one otherwise.
    // True when a new hold starts.
    bool noticed(DisplayKind kind, double value, double level, std::int64_t now);
    // Ends the holds set a whole level or more away from `level`; true for
    // each kind whose hold ended.
    std::array<bool, 2> endFarFrom(double level);
    // True when `kind` was held.
    bool end(DisplayKind kind);
    void endAll();

    const std::optional<Hold>& held(DisplayKind kind) const { return holds_[index(kind)]; }

    static std::size_t index(DisplayKind kind) { return kind == DisplayKind::Builtin ? 0 : 1; }

  private:
    std::array<std::optional<Hold>, 2> holds_;
};

}  // namespace duolume
