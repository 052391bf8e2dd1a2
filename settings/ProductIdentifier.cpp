#include "settings/ProductIdentifier.h"

namespace duolume {

std::string productName() {
    auto dot = ProductIdentifier.rfind('.');
    return dot == std::string::npos ? ProductIdentifier : ProductIdentifier.substr(dot + 1);
}

std::string agentApplicationName() {
    return productName();
}

std::string launchAgentFileName() {
    return ProductIdentifier + "." + LaunchAgentTemplateType;
}

}  // namespace duolume
