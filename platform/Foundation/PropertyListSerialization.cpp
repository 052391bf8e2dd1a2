#include "Foundation/PropertyListSerialization.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

namespace platform {
namespace {

// libplist changed its interface in 2.3 (Debian 12 has 2.2, Debian 13 2.6):
// integers got a sign of their own (plist_new_uint of a negative number is
// written as a huge unsigned one since then), buffers it hands out are freed
// with plist_mem_free (plist_to_xml_free is gone), and plist_from_memory
// takes a fourth argument and reads JSON and OpenStep text as well.
// PLATFORM_PLIST_2_3 is set by the build from the library's version.
#if PLATFORM_PLIST_2_3
constexpr plist_type kIntegerNode = PLIST_INT;
plist_t newIntegerNode(int64_t value) {
    return plist_new_int(value);
}
void freePlistBuffer(void* buffer) {
    plist_mem_free(buffer);
}
#else
constexpr plist_type kIntegerNode = PLIST_UINT;
// 2.2 keeps every integer in 64 bits and writes it signed.
plist_t newIntegerNode(int64_t value) {
    return plist_new_uint(static_cast<uint64_t>(value));
}
// 2.2 allocates its buffers and iterators with malloc (plist_to_xml_free is free).
void freePlistBuffer(void* buffer) {
    free(buffer);
}
#endif

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// libplist's key accessor asserts (aborting the process) on a key holding a
// NUL byte, which a damaged binary file can give. A key's XML form is written
// from its full length, so a NUL byte there marks such a key.
bool keyHoldsNul(plist_t keyNode) {
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(keyNode, &xml, &length);
    const bool nul = xml && std::memchr(xml, '\0', length) != nullptr;
    freePlistBuffer(xml);
    return nul;
}

std::optional<PlistValue> fromNode(plist_t node, int depth) {
    if (!node || depth > 256)
        return std::nullopt;
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return PlistValue::boolean(b != 0);
        }
        case kIntegerNode: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            // The library keeps negative integers in two's complement (and
            // 2.2 has no signed accessor).
            return PlistValue::integer(static_cast<int64_t>(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return PlistValue::real(d);
        }
        case PLIST_STRING: {
            // The pointer form: the copying form asserts (and aborts the
            // process) on a string with an embedded NUL byte.
            uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            return PlistValue::string(s ? std::string(s, length) : std::string());
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return PlistValue::date(sec + usec / 1e6);
        }
        case PLIST_DATA: {
            uint64_t len = 0;
            const char* p = plist_get_data_ptr(node, &len);
            return PlistValue::data(std::vector<uint8_t>(p, p + len));
        }
        case PLIST_ARRAY: {
            PlistArray out;
            uint32_t n = plist_array_get_size(node);
            for (uint32_t i = 0; i < n; ++i) {
                auto v = fromNode(plist_array_get_item(node, i), depth + 1);
                if (!v)
                    return std::nullopt;
                out.push_back(std::move(*v));
            }
            return PlistValue::array(std::move(out));
        }
        case PLIST_DICT: {
            PlistDictionary out;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                plist_t val = nullptr;
                plist_dict_next_item(node, it, nullptr, &val);
                if (!val)
                    break;
                plist_t keyNode = plist_dict_item_get_key(val);
                if (!keyNode || plist_get_node_type(keyNode) != PLIST_KEY || keyHoldsNul(keyNode)) {
                    freePlistBuffer(it);
                    return std::nullopt;
                }
                char* key = nullptr;
                plist_get_key_val(keyNode, &key);
                auto v = fromNode(val, depth + 1);
                std::string k = key ? key : "";
                freePlistBuffer(key);
                if (!v) {
                    freePlistBuffer(it);
                    return std::nullopt;
                }
                out[k] = std::move(*v);
            }
            freePlistBuffer(it);
            return PlistValue::dictionary(std::move(out));
        }
        default:
            return std::nullopt;
    }
}

plist_t toNode(const PlistValue& v) {
    switch (v.kind()) {
        case PlistValue::Kind::Boolean:
            return plist_new_bool(*v.boolValue() ? 1 : 0);
        case PlistValue::Kind::Integer:
            return newIntegerNode(*v.integerValue());
        case PlistValue::Kind::Real:
            return plist_new_real(*v.doubleValue());
        case PlistValue::Kind::String:
            return plist_new_string(v.stringValue()->c_str());
        case PlistValue::Kind::Date: {
            double s = v.dateValue()->secondsSinceReferenceDate;
            auto sec = static_cast<int32_t>(s);
            return plist_new_date(sec, static_cast<int32_t>((s - sec) * 1e6));
        }
        case PlistValue::Kind::Data: {
            const auto& b = v.dataValue()->bytes;
            return plist_new_data(reinterpret_cast<const char*>(b.data()), b.size());
        }
        case PlistValue::Kind::Array: {
            plist_t a = plist_new_array();
            for (const auto& item : *v.arrayValue())
                plist_array_append_item(a, toNode(item));
            return a;
        }
        case PlistValue::Kind::Dictionary: {
            plist_t d = plist_new_dict();
            for (const auto& [k, item] : *v.dictionaryValue())
                plist_dict_set_item(d, k.c_str(), toNode(item));
            return d;
        }
    }
    return plist_new_dict();
}

}  // namespace

std::optional<PlistValue> parsePropertyList(const std::string& bytes, std::string* error) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) {
        if (error)
            *error = bytes.empty() ? "empty file" : "file too large";
        return std::nullopt;
    }
    // Binary or XML, told apart by the binary header as libplist 2.2 does;
    // JSON and OpenStep text, which libplist 2.3 and newer would also take,
    // are not property lists here on any release.
    plist_t raw = nullptr;
    const auto length = static_cast<uint32_t>(bytes.size());
    if (plist_is_binary(bytes.data(), length))
        plist_from_bin(bytes.data(), length, &raw);
    else
        plist_from_xml(bytes.data(), length, &raw);
    PlistPtr root(raw);
    if (!root) {
        if (error)
            *error = "not a property list";
        return std::nullopt;
    }
    auto value = fromNode(root.get(), 0);
    if (!value && error)
        *error = "unsupported value in property list";
    return value;
}

std::string xmlPropertyList(const PlistValue& value) {
    PlistPtr root(toNode(value));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string out(xml ? xml : "", xml ? length : 0);
    freePlistBuffer(xml);
    return out;
}

std::optional<PlistValue> readPropertyListFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        if (error)
            *error = "read error";
        return std::nullopt;
    }
    return parsePropertyList(ss.str(), error);
}

namespace {

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool writeFileContents(const std::string& path, const std::string& bytes, bool atomically,
                       unsigned mode, std::string* error) {
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    if (!atomically) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
        if (fd < 0)
            return fail("open");
        bool ok = writeAll(fd, bytes);
        int saved = errno;
        ::close(fd);
        errno = saved;
        return ok ? true : fail("write");
    }
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return fail("create temporary file");
    std::string tmp(name.data());
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int saved = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        if (ok)
            saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        return fail("write");
    }
    // The folder is not flushed: the file's bytes are on disk before the
    // rename, so after a crash the file is the old one or the new one, whole.
    // Flushing the folder as well would only keep the newest change across a
    // power cut, at the price of a second disk flush in every settings write
    // (the pane writes one at every slider step).
    return true;
}

}  // namespace platform

std::optional<NSDictionary> dictionaryWithContentsOfFile(const std::string& path) {
    auto value = platform::readPropertyListFile(path);
    if (!value || !value->dictionaryValue())
        return std::nullopt;
    return *value->dictionaryValue();
}

bool writeToFile(const NSDictionary& dictionary, const std::string& path, bool atomically) {
    return platform::writeFileContents(
        path, platform::xmlPropertyList(PlistValue::dictionary(dictionary)), atomically);
}
