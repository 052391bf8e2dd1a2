// The user's preferred languages, from the environment as gettext reads it:
// LANGUAGE (a colon-separated list) unless the locale is "C" or "POSIX", then
// the locale of messages (LC_ALL, else LC_MESSAGES, else LANG).
#pragma once

#include <string>
#include <vector>

namespace platform {

// Language tags, most preferred first, each followed by its plain language:
// LANGUAGE=de_AT:fr gives "de_AT", "de", "fr". Empty when nothing is set.
std::vector<std::string> preferredLanguages();

// The same for explicit values (empty strings meaning unset), for tests.
std::vector<std::string> preferredLanguages(const std::string& language, const std::string& lcAll,
                                            const std::string& lcMessages, const std::string& lang);

}  // namespace platform
