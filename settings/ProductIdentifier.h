// The product identifier and the names the pane and the background agent
// share. Everything that both sides must agree on lives here.
#pragma once

#include <string>

namespace duolume {

// Names the settings domain, the launch agent template and file, the change
// notification and, through its last component, the agent application.
inline const std::string ProductIdentifier = "org.duolume.Duolume";

// The id of the desktop file the package installs (<id>.desktop), by which
// the desktop's location service knows the application.
inline const std::string DesktopFileId = ProductIdentifier;

// Posted (distributed, no object) after every change of a setting.
inline const std::string PrefsChangedNotification = ProductIdentifier + ".prefsChanged";

// The text after the identifier's last ".": "Duolume".
std::string productName();

// The agent application among the pane bundle's resources: "Duolume" of type "app".
inline const std::string AgentApplicationType = "app";
std::string agentApplicationName();

// The launch agent template among the pane bundle's resources, and the launch
// agent file's name: the identifier with ".plist".
inline const std::string LaunchAgentTemplateType = "plist";
std::string launchAgentFileName();

// The session-bus name the running agent owns: one agent per user session.
inline const std::string AgentBusName = ProductIdentifier + ".Agent";

}  // namespace duolume
