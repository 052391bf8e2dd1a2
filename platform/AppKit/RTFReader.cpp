#include "AppKit/RTFReader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "Foundation/UnicodeText.h"

namespace platform {
namespace {

// Windows-1252 in 0x80..0x9F; the rest of the upper half equals Latin-1.
constexpr std::array<char16_t, 32> kCP1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char32_t fromCP1252(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0)
        return kCP1252High[byte - 0x80];
    return byte;
}

// Destinations whose content is not text of the document.
const std::set<std::string, std::less<>> kSkippedDestinations = {"fonttbl",
                                                                 "colortbl",
                                                                 "expandedcolortbl",
                                                                 "stylesheet",
                                                                 "info",
                                                                 "pict",
                                                                 "header",
                                                                 "headerl",
                                                                 "headerr",
                                                                 "headerf",
                                                                 "footer",
                                                                 "footerl",
                                                                 "footerr",
                                                                 "footerf",
                                                                 "listtable",
                                                                 "listoverridetable",
                                                                 "fldinst",
                                                                 "themedata",
                                                                 "colorschememapping",
                                                                 "latentstyles",
                                                                 "datastore",
                                                                 "xmlnstbl",
                                                                 "rsidtbl",
                                                                 "generator",
                                                                 "filetbl",
                                                                 "revtbl",
                                                                 "object",
                                                                 "nonshppict",
                                                                 "footnote",
                                                                 "annotation",
                                                                 "pgdsctbl"};

// Control words that stand for one character.
const std::map<std::string, char32_t, std::less<>> kCharacterWords = {
    {"par", '\n'},      {"line", '\n'},     {"sect", '\n'},        {"page", '\n'},
    {"tab", '\t'},      {"emdash", 0x2014}, {"endash", 0x2013},    {"bullet", 0x2022},
    {"lquote", 0x2018}, {"rquote", 0x2019}, {"ldblquote", 0x201C}, {"rdblquote", 0x201D},
};

struct GroupState {
    bool bold = false;
    bool italic = false;
    int unicodeSkip = 1;  // \ucN: fallback characters after each \uN
    bool skipping = false;
};

class RTFParser {
  public:
    explicit RTFParser(std::string_view s) : s_(s) {}

    std::optional<NSAttributedString> parse(std::string* error) {
        if (!readDocument()) {
            if (error)
                *error = error_ + " at byte " + std::to_string(pos_);
            return std::nullopt;
        }
        return out_;
    }

  private:
    bool fail(const char* why) {
        error_ = why;
        return false;
    }
    bool atEnd() const { return pos_ >= s_.size(); }
    GroupState& state() { return stack_.back(); }

    bool readDocument() {
        while (!atEnd() && std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
        if (s_.substr(pos_, 5) != "{\\rtf")
            return fail("not an RTF document");
        while (!atEnd()) {
            const char c = s_[pos_++];
            if (c == '{') {
                if (stack_.size() >= static_cast<size_t>(kMaxRTFGroupDepth))
                    return fail("groups nested too deeply");
                stack_.push_back(stack_.empty() ? GroupState{} : state());
            } else if (c == '}') {
                if (stack_.empty())
                    return fail("unbalanced \"}\"");
                flushSurrogate();
                stack_.pop_back();
                if (stack_.empty())
                    return trailerIsEmpty();
            } else if (stack_.empty()) {
                return fail("text outside the document group");
            } else if (c == '\\') {
                if (!readControl())
                    return false;
            } else if (c == '\r' || c == '\n') {
                continue;
            } else {
                if (!emitByte(static_cast<unsigned char>(c)))
                    return false;
            }
        }
        return fail("unexpected end of document");
    }

    bool trailerIsEmpty() {
        for (; !atEnd(); ++pos_) {
            const char c = s_[pos_];
            if (c != '\0' && !std::isspace(static_cast<unsigned char>(c)))
                return fail("text after the document");
        }
        return true;
    }

    bool readControl() {
        if (atEnd())
            return fail("truncated control word");
        const char c = s_[pos_];
        if (std::isalpha(static_cast<unsigned char>(c)))
            return readControlWord();
        ++pos_;
        switch (c) {
            case '\\':
            case '{':
            case '}':
                return emitByte(static_cast<unsigned char>(c));
            case '\'':
                return readHexEscape();
            case '~':
                return emitCodePoint(0x00A0);
            case '_':
                return emitCodePoint(0x2011);
            case '*':
                state().skipping = true;
                return true;
            case '\n':
            case '\r':
                return emitCodePoint('\n');
            default:
                return true;  // \- \| \: and other symbols carry no text
        }
    }

    bool readHexEscape() {
        if (pos_ + 2 > s_.size())
            return fail("truncated \\' escape");
        unsigned v = 0;
        for (int i = 0; i < 2; ++i) {
            const auto h = static_cast<unsigned char>(s_[pos_ + i]);
            if (!std::isxdigit(h))
                return fail("bad \\' escape");
            v = v * 16 + (std::isdigit(h) ? h - '0' : std::tolower(h) - 'a' + 10);
        }
        pos_ += 2;
        return emitByte(static_cast<unsigned char>(v));
    }

    bool readControlWord() {
        const size_t start = pos_;
        while (!atEnd() && std::isalpha(static_cast<unsigned char>(s_[pos_]))) {
            if (pos_ - start >= 32)
                return fail("control word too long");
            ++pos_;
        }
        const std::string_view word = s_.substr(start, pos_ - start);
        std::optional<long> param;
        bool negative = false;
        if (!atEnd() && s_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        const size_t digits = pos_;
        long value = 0;
        while (!atEnd() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
            if (pos_ - digits >= 10)
                return fail("number too long");
            value = value * 10 + (s_[pos_++] - '0');
        }
        if (pos_ > digits) {
            param = negative ? -value : value;
        } else if (negative) {
            return fail("\"-\" without a number");
        }
        if (!atEnd() && s_[pos_] == ' ')
            ++pos_;  // the delimiting space belongs to the word
        return applyControlWord(word, param);
    }

    bool applyControlWord(std::string_view word, std::optional<long> param) {
        if (kSkippedDestinations.count(word)) {
            state().skipping = true;
            return true;
        }
        if (word == "bin")
            return skipBinary(param.value_or(0));
        if (word == "ansicpg") {
            codePage_ = param.value_or(1252);
            return true;
        }
        if (word == "mac" || word == "pc" || word == "pca") {
            codePage_ = -1;  // a DOS or Mac character set, not read here
            return true;
        }
        if (word == "b")
            state().bold = param.value_or(1) != 0;
        else if (word == "i")
            state().italic = param.value_or(1) != 0;
        else if (word == "plain")
            state().bold = state().italic = false;
        else if (word == "uc")
            state().unicodeSkip = static_cast<int>(std::max(0L, param.value_or(1)));
        else if (word == "u")
            return readUnicode(param.value_or(0));
        else if (const auto character = kCharacterWords.find(word);
                 character != kCharacterWords.end())
            return emitCodePoint(character->second);
        return true;
    }

    bool skipBinary(long count) {
        if (count < 0 || static_cast<size_t>(count) > s_.size() - pos_)
            return fail("truncated \\bin data");
        pos_ += static_cast<size_t>(count);
        return true;
    }

    bool readUnicode(long value) {
        const char32_t unit = static_cast<char32_t>(value < 0 ? value + 65536 : value);
        if (unit > 0xFFFF)
            return fail("bad \\u value");
        pendingFallback_ = state().unicodeSkip;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            flushSurrogate();
            highSurrogate_ = unit;
            return true;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (!highSurrogate_)
                return emitText(0xFFFD);
            const char32_t cp = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00);
            highSurrogate_ = 0;
            return emitText(cp);
        }
        flushSurrogate();
        return unit == 0 ? true : emitText(unit);
    }

    void flushSurrogate() {
        if (highSurrogate_) {
            highSurrogate_ = 0;
            emitText(0xFFFD);
        }
    }

    // A character of the document in the current code page.
    bool emitByte(unsigned char byte) {
        if (pendingFallback_ > 0) {
            --pendingFallback_;
            return true;
        }
        if (byte >= 0x80 && codePage_ != 1252) {
            return state().skipping ? true : fail("text in a code page this reader does not know");
        }
        flushSurrogate();
        return emitText(fromCP1252(byte));
    }

    bool emitCodePoint(char32_t cp) {
        pendingFallback_ = 0;
        flushSurrogate();
        return emitText(cp);
    }

    bool emitText(char32_t cp) {
        if (state().skipping || cp == 0)
            return true;
        std::string utf8;
        if (!appendUTF8(utf8, cp))
            appendUTF8(utf8, 0xFFFD);
        out_.append(utf8, state().bold, state().italic);
        return true;
    }

    std::string_view s_;
    size_t pos_ = 0;
    std::vector<GroupState> stack_;
    NSAttributedString out_;
    std::string error_;
    long codePage_ = 1252;
    int pendingFallback_ = 0;
    char32_t highSurrogate_ = 0;
};

}  // namespace

std::optional<NSAttributedString> readRTF(std::string_view bytes, std::string* error) {
    return RTFParser(bytes).parse(error);
}

}  // namespace platform
