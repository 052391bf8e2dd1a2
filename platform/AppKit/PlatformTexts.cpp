#include "AppKit/PlatformTexts.h"

#include <map>

#include "Foundation/PreferredLanguages.h"

namespace appkit {

std::string platformText(const std::string& english) {
    static const std::map<std::string, std::map<std::string, std::string>> kTexts = {
        {"de",
         {{"OK", "OK"},
          {"Do not show this message again", "Diese Meldung nicht mehr anzeigen"},
          {"Version %1", "Version %1"},
          {"About", "Über"}}},
        {"fr",
         {{"OK", "OK"},
          {"Do not show this message again", "Ne plus afficher ce message"},
          {"Version %1", "Version %1"},
          {"About", "À propos"}}},
    };
    for (const auto& language : platform::preferredLanguages()) {
        if (language == "en" || language.rfind("en_", 0) == 0)
            break;
        auto table = kTexts.find(language);
        if (table == kTexts.end())
            continue;
        auto text = table->second.find(english);
        if (text != table->second.end())
            return text->second;
    }
    return english;
}

}  // namespace appkit
