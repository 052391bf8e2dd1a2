// Property-list values: booleans, integers, reals (remembering single or double
// precision), strings, dates, data, arrays and dictionaries.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class PlistValue;
using PlistArray = std::vector<PlistValue>;
using PlistDictionary = std::map<std::string, PlistValue>;

// Shorter names in the platform's spelling for the two containers.
using NSArray = PlistArray;
using NSDictionary = PlistDictionary;

class PlistValue {
  public:
    enum class Kind { Boolean, Integer, Real, String, Date, Data, Array, Dictionary };

    struct Real {
        double value = 0.0;
        bool singlePrecision = false;
        bool operator==(const Real&) const = default;
    };
    struct Date {
        double secondsSinceReferenceDate = 0.0;  // seconds since 2001-01-01
        bool operator==(const Date&) const = default;
    };
    struct Data {
        std::vector<std::uint8_t> bytes;
        bool operator==(const Data&) const = default;
    };

    PlistValue() : storage_(false) {}
    static PlistValue boolean(bool b) { return PlistValue(Storage(b)); }
    static PlistValue integer(std::int64_t i) { return PlistValue(Storage(i)); }
    static PlistValue real(double d) { return PlistValue(Storage(Real{d, false})); }
    // A single-precision number: the value is rounded to float and remembered as such.
    static PlistValue realSingle(float f) {
        return PlistValue(Storage(Real{static_cast<double>(f), true}));
    }
    static PlistValue string(std::string s) { return PlistValue(Storage(std::move(s))); }
    static PlistValue date(double secondsSinceReferenceDate) {
        return PlistValue(Storage(Date{secondsSinceReferenceDate}));
    }
    static PlistValue data(std::vector<std::uint8_t> bytes) {
        return PlistValue(Storage(Data{std::move(bytes)}));
    }
    static PlistValue array(PlistArray a) {
        return PlistValue(Storage(std::make_shared<PlistArray>(std::move(a))));
    }
    static PlistValue dictionary(PlistDictionary d) {
        return PlistValue(Storage(std::make_shared<PlistDictionary>(std::move(d))));
    }

    Kind kind() const { return static_cast<Kind>(storage_.index()); }
    bool isNumber() const {
        return kind() == Kind::Boolean || kind() == Kind::Integer || kind() == Kind::Real;
    }
    bool isSinglePrecision() const {
        return kind() == Kind::Real && std::get<Real>(storage_).singlePrecision;
    }

    // Numeric reading as NSNumber does it: booleans are 0 or 1. Absent when the
    // value is not a number or a boolean.
    std::optional<double> doubleValue() const;
    std::optional<std::int64_t> integerValue() const;
    std::optional<bool> boolValue() const;  // true when non-zero

    const std::string* stringValue() const { return std::get_if<std::string>(&storage_); }
    const PlistArray* arrayValue() const;
    const PlistDictionary* dictionaryValue() const;
    const Date* dateValue() const { return std::get_if<Date>(&storage_); }
    const Data* dataValue() const { return std::get_if<Data>(&storage_); }

    // Equality compares kind and content; a single-precision real equals a
    // double-precision real of the same value only if the precision matches too.
    bool operator==(const PlistValue& other) const;

    // A short human-readable form, for log lines and test messages.
    std::string description() const;

  private:
    using Storage =
        std::variant<bool, std::int64_t, Real, std::string, Date, Data,
                     std::shared_ptr<const PlistArray>, std::shared_ptr<const PlistDictionary>>;
    explicit PlistValue(Storage s) : storage_(std::move(s)) {}
    Storage storage_;
};

// Typed look-ups that tell "absent" from "present".
std::optional<PlistValue> plistLookup(const PlistDictionary& dict, const std::string& key);
