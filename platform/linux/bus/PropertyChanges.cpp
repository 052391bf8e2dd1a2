#include "linux/bus/PropertyChanges.h"

#include <gio/gio.h>

#include <algorithm>

namespace platform::linux_machine {

Variant PropertyChanges::value(const char* name, const char* type) const {
    return Variant(
        g_variant_lookup_value(changed_.get(), name, type ? G_VARIANT_TYPE(type) : nullptr));
}

std::optional<bool> PropertyChanges::boolean(const char* name) const {
    Variant v = value(name, "b");
    if (!v)
        return std::nullopt;
    return g_variant_get_boolean(v.get()) != FALSE;
}

std::optional<int> PropertyChanges::int32(const char* name) const {
    Variant v = value(name, "i");
    if (!v)
        return std::nullopt;
    return g_variant_get_int32(v.get());
}

bool PropertyChanges::invalidates(const char* name) const {
    return std::find(invalidated_.begin(), invalidated_.end(), name) != invalidated_.end();
}

bool PropertyChanges::mentions(const char* name) const {
    return value(name) != nullptr || invalidates(name);
}

std::optional<PropertyChanges> readPropertyChanges(GVariant* parameters, const char* interface) {
    if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)")))
        return std::nullopt;
    const gchar* about = nullptr;
    GVariant* changed = nullptr;
    GVariantIter* invalidated = nullptr;
    g_variant_get(parameters, "(&s@a{sv}as)", &about, &changed, &invalidated);
    PropertyChanges changes;
    changes.interface_ = about;
    changes.changed_.reset(changed);
    const gchar* name = nullptr;
    while (g_variant_iter_next(invalidated, "&s", &name))
        changes.invalidated_.emplace_back(name);
    g_variant_iter_free(invalidated);
    if (interface && changes.interface_ != interface)
        return std::nullopt;
    return changes;
}

}  // namespace platform::linux_machine
