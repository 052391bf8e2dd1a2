#include "AppKit/NSAttributedString.h"

#include <fstream>
#include <iterator>

#include "AppKit/RTFReader.h"

NSAttributedString::NSAttributedString(std::string plain) {
    append(plain, false, false);
}

std::string NSAttributedString::string() const {
    std::string out;
    for (const auto& run : runs_)
        out += run.text;
    return out;
}

void NSAttributedString::append(std::string_view text, bool bold, bool italic) {
    if (text.empty())
        return;
    if (!runs_.empty() && runs_.back().bold == bold && runs_.back().italic == italic) {
        runs_.back().text += text;
    } else {
        runs_.push_back({std::string(text), bold, italic});
    }
}

std::optional<NSAttributedString> NSAttributedString::initWithURL(
    const std::string& path, const NSAttributedStringDocumentReadingOptions& options,
    std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<NSAttributedString> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    auto type = options.find(NSDocumentTypeDocumentAttribute);
    if (type == options.end() || type->second != NSRTFTextDocumentType) {
        return fail("unsupported document type");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail("cannot open " + path);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return platform::readRTF(bytes, error);
}
