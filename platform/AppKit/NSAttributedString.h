// Styled text: a string with runs of bold and italic, as credits files use it.
// Plain C++; the about panel turns it into the toolkit's rich text.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reading options: the document type key and the one type understood here.
inline const std::string NSDocumentTypeDocumentAttribute = "DocumentType";
inline const std::string NSRTFTextDocumentType = "NSRTF";
using NSAttributedStringDocumentReadingOptions = std::map<std::string, std::string>;

class NSAttributedString {
  public:
    struct Run {
        std::string text;  // UTF-8; paragraphs end with "\n"
        bool bold = false;
        bool italic = false;
        bool operator==(const Run&) const = default;
    };

    NSAttributedString() = default;
    explicit NSAttributedString(std::string plain);

    // Reads a styled text file; `options` must name the RTF document type.
    // Absent when the file cannot be read or is not RTF this reader
    // understands; `error` then says why.
    static std::optional<NSAttributedString> initWithURL(
        const std::string& path, const NSAttributedStringDocumentReadingOptions& options,
        std::string* error = nullptr);

    // The characters without their styles.
    std::string string() const;
    const std::vector<Run>& runs() const { return runs_; }
    // Appends text with a style, joining it to the last run when the style matches.
    void append(std::string_view text, bool bold, bool italic);

    bool operator==(const NSAttributedString&) const = default;

  private:
    std::vector<Run> runs_;
};
