#include "Foundation/StringsTable.h"

#include <cctype>

#include "Foundation/UnicodeText.h"

namespace platform {
namespace {

class StringsParser {
  public:
    explicit StringsParser(std::string_view text) : s_(text) {}

    std::optional<StringsTable> parse(std::string* error) {
        StringsTable table;
        while (skipSpaceAndComments()) {
            if (atEnd())
                return table;
            auto key = readString();
            if (!key)
                break;
            if (!skipSpaceAndComments())
                break;
            std::optional<std::string> value = key;
            if (peek() == '=') {
                ++pos_;
                if (!skipSpaceAndComments())
                    break;
                value = readString();
                if (!value || !skipSpaceAndComments())
                    break;
            }
            if (peek() != ';') {
                fail("expected \";\"");
                break;
            }
            ++pos_;
            table[*key] = *value;
        }
        if (error)
            *error = error_ + " on line " + std::to_string(line());
        return std::nullopt;
    }

  private:
    bool atEnd() const { return pos_ >= s_.size(); }
    char peek() const { return atEnd() ? '\0' : s_[pos_]; }
    bool fail(const std::string& why) {
        if (error_.empty())
            error_ = why;
        return false;
    }
    size_t line() const {
        size_t n = 1;
        for (size_t i = 0; i < pos_ && i < s_.size(); ++i)
            n += s_[i] == '\n';
        return n;
    }

    // False when a comment is left open.
    bool skipSpaceAndComments() {
        while (!atEnd()) {
            const char c = s_[pos_];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++pos_;
            } else if (s_.substr(pos_, 2) == "/*") {
                const size_t end = s_.find("*/", pos_ + 2);
                if (end == std::string_view::npos)
                    return fail("unterminated comment");
                pos_ = end + 2;
            } else if (s_.substr(pos_, 2) == "//") {
                const size_t end = s_.find('\n', pos_);
                pos_ = end == std::string_view::npos ? s_.size() : end + 1;
            } else {
                return true;
            }
        }
        return true;
    }

    static bool isUnquotedChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '+' ||
               c == '/' || c == ':' || c == '.' || c == '-';
    }

    std::optional<std::string> readString() {
        if (peek() == '"')
            return readQuoted();
        const size_t start = pos_;
        while (!atEnd() && isUnquotedChar(s_[pos_]))
            ++pos_;
        if (pos_ == start) {
            fail("expected a string");
            return std::nullopt;
        }
        return std::string(s_.substr(start, pos_ - start));
    }

    std::optional<std::string> readQuoted() {
        ++pos_;  // opening quote
        std::string out;
        while (!atEnd()) {
            const char c = s_[pos_++];
            if (c == '"')
                return out;
            if (c == '\0')
                break;
            if (c != '\\') {
                out += c;
            } else if (!readEscape(out)) {
                return std::nullopt;
            }
        }
        fail("unterminated string");
        return std::nullopt;
    }

    std::optional<char16_t> readHexUnit() {
        if (pos_ + 4 > s_.size())
            return std::nullopt;
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = s_[pos_ + i];
            if (!std::isxdigit(static_cast<unsigned char>(h)))
                return std::nullopt;
            v = v * 16 + (std::isdigit(static_cast<unsigned char>(h))
                              ? h - '0'
                              : (std::tolower(h) - 'a' + 10));
        }
        pos_ += 4;
        return static_cast<char16_t>(v);
    }

    bool readUnicodeEscape(std::string& out) {
        auto unit = readHexUnit();
        if (!unit)
            return fail("bad \\U escape");
        char32_t cp = *unit;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            // A high surrogate must be followed by an escaped low surrogate.
            if (s_.substr(pos_, 2) != "\\U" && s_.substr(pos_, 2) != "\\u")
                return fail("unpaired surrogate");
            pos_ += 2;
            auto low = readHexUnit();
            if (!low || *low < 0xDC00 || *low > 0xDFFF)
                return fail("unpaired surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
        }
        if (cp == 0 || !appendUTF8(out, cp))
            return fail("bad \\U escape");
        return true;
    }

    bool readEscape(std::string& out) {
        if (atEnd())
            return fail("unterminated string");
        const char c = s_[pos_++];
        switch (c) {
            case 'n':
                out += '\n';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 'a':
                out += '\a';
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'v':
                out += '\v';
                return true;
            case 'U':
            case 'u':
                return readUnicodeEscape(out);
            default:
                break;
        }
        if (c >= '0' && c <= '7') {
            unsigned v = c - '0';
            for (int i = 0; i < 2 && !atEnd() && s_[pos_] >= '0' && s_[pos_] <= '7'; ++i)
                v = v * 8 + (s_[pos_++] - '0');
            if (v == 0 || v > 0x7F)
                return fail("bad octal escape");
            out += static_cast<char>(v);
            return true;
        }
        if (c == '\0')
            return fail("NUL character in a string");  // as a bare NUL, \0 and \U0000
        out += c;  // \" \\ \' and any other character stand for themselves
        return true;
    }

    std::string_view s_;
    size_t pos_ = 0;
    std::string error_;
};

}  // namespace

std::optional<StringsTable> parseStringsTable(std::string_view bytes, std::string* error) {
    std::string why;
    auto text = decodeUnicodeText(bytes, &why);
    if (!text) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    return StringsParser(*text).parse(error);
}

}  // namespace platform
