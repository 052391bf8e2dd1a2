// The few texts the AppKit stand-ins show themselves (button titles, the
// suppression check box), in the user's language.
#pragma once

#include <string>

namespace appkit {

// The text for `english` in the user's preferred language (German and French
// are known), else `english` itself.
std::string platformText(const std::string& english);

}  // namespace appkit
