// Texts told to a person: English in the code, looked up through `Texts`
// (the window's string tables; the agent's log stays English).
#pragma once

#include <functional>
#include <initializer_list>
#include <string>

namespace duolume {

using Texts = std::function<std::string(const std::string& english)>;

// The English text as it stands, for the agent's log.
inline std::string english(const std::string& text) {
    return text;
}

// `english` looked up, each "%@" in it replaced by the next argument.
inline std::string text(const Texts& texts, const std::string& english,
                        std::initializer_list<std::string> arguments = {}) {
    std::string translated = texts(english);
    std::string::size_type from = 0;
    for (const auto& argument : arguments) {
        const auto at = translated.find("%@", from);
        if (at == std::string::npos)
            break;
        translated.replace(at, 2, argument);
        from = at + argument.size();
    }
    return translated;
}

}  // namespace duolume
