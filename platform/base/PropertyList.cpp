#include "base/PropertyList.h"

#include <cstdio>

std::optional<double> PlistValue::doubleValue() const {
    switch (kind()) {
        case Kind::Boolean:
            return std::get<bool>(storage_) ? 1.0 : 0.0;
        case Kind::Integer:
            return static_cast<double>(std::get<std::int64_t>(storage_));
        case Kind::Real:
            return std::get<Real>(storage_).value;
        default:
            return std::nullopt;
    }
}

std::optional<std::int64_t> PlistValue::integerValue() const {
    switch (kind()) {
        case Kind::Boolean:
            return std::get<bool>(storage_) ? 1 : 0;
        case Kind::Integer:
            return std::get<std::int64_t>(storage_);
        case Kind::Real: {
            double d = std::get<Real>(storage_).value;
            if (!(d > -9.2e18 && d < 9.2e18))
                return std::nullopt;  // NaN or out of range
            return static_cast<std::int64_t>(d);
        }
        default:
            return std::nullopt;
    }
}

std::optional<bool> PlistValue::boolValue() const {
    auto d = doubleValue();
    if (!d)
        return std::nullopt;
    return *d != 0.0;
}

const PlistArray* PlistValue::arrayValue() const {
    auto p = std::get_if<std::shared_ptr<const PlistArray>>(&storage_);
    return p ? p->get() : nullptr;
}

const PlistDictionary* PlistValue::dictionaryValue() const {
    auto p = std::get_if<std::shared_ptr<const PlistDictionary>>(&storage_);
    return p ? p->get() : nullptr;
}

bool PlistValue::operator==(const PlistValue& other) const {
    if (kind() != other.kind())
        return false;
    if (auto a = arrayValue())
        return *a == *other.arrayValue();
    if (auto d = dictionaryValue())
        return *d == *other.dictionaryValue();
    return storage_ == other.storage_;
}

std::string PlistValue::description() const {
    char buf[64];
    switch (kind()) {
        case Kind::Boolean:
            return std::get<bool>(storage_) ? "true" : "false";
        case Kind::Integer:
            return std::to_string(std::get<std::int64_t>(storage_));
        case Kind::Real:
            std::snprintf(buf, sizeof buf, "%.17g%s", std::get<Real>(storage_).value,
                          isSinglePrecision() ? "f" : "");
            return buf;
        case Kind::String:
            return "\"" + std::get<std::string>(storage_) + "\"";
        case Kind::Date:
            std::snprintf(buf, sizeof buf, "<date %.3f>", dateValue()->secondsSinceReferenceDate);
            return buf;
        case Kind::Data:
            return "<" + std::to_string(dataValue()->bytes.size()) + " bytes>";
        case Kind::Array: {
            std::string s = "(";
            for (const auto& v : *arrayValue())
                s += (s.size() > 1 ? ", " : "") + v.description();
            return s + ")";
        }
        case Kind::Dictionary: {
            std::string s = "{";
            for (const auto& [k, v] : *dictionaryValue())
                s += (s.size() > 1 ? "; " : "") + k + " = " + v.description();
            return s + "}";
        }
    }
    return "?";
}

std::optional<PlistValue> plistLookup(const PlistDictionary& dict, const std::string& key) {
    auto it = dict.find(key);
    if (it == dict.end())
        return std::nullopt;
    return it->second;
}
