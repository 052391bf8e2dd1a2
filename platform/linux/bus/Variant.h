// A counted reference to a GVariant, released when it goes (null: none).
#pragma once

#include <glib.h>

#include <memory>

namespace platform::linux_machine {

struct VariantUnref {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

}  // namespace platform::linux_machine
