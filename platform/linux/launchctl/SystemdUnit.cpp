#include "SystemdUnit.h"

#include <cstdio>

#include "Foundation/PropertyListSerialization.h"

namespace launchctl {
namespace {

// A unit name is at most 255 characters.
constexpr std::size_t kMaxUnitName = 255;

bool plainUnitCharacter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
           c == '_' || c == '.' || c == '-';
}

std::string hexEscape(unsigned char c) {
    char buf[5];
    std::snprintf(buf, sizeof buf, "\\x%02x", c);
    return buf;
}

// A value of a plain unit setting (Description=, a comment): one line, with
// specifiers escaped and control characters shown as \xNN.
std::string settingValue(const std::string& text, bool expandsSpecifiers) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            out += hexEscape(c);
        } else if (c == '%' && expandsSpecifiers) {
            out += "%%";
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool hasControlCharacters(const std::string& s) {
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f)
            return true;
    }
    return false;
}

std::string restartSetting(const KeepAlive& k) {
    if (k.afterSuccess && (k.afterFailure || k.afterCrash))
        return "always";
    if (k.afterSuccess)
        return "on-success";
    if (k.afterFailure)
        return "on-failure";
    if (k.afterCrash)
        return "on-abort";
    return "no";
}

std::string execStart(const LaunchdJob& job) {
    // With "@" the second word is argv[0]; it is left out when argv[0] is the program itself.
    std::string line;
    if (job.arguments.front() == job.program) {
        line = quoteExecWord(job.program, true);
    } else {
        line = quoteExecWord("@" + job.program, true) + " " + quoteExecWord(job.arguments.front());
    }
    for (std::size_t i = 1; i < job.arguments.size(); ++i)
        line += " " + quoteExecWord(job.arguments[i]);
    return line;
}

}  // namespace

std::optional<std::string> unitNameForLabel(const std::string& label) {
    std::string name;
    for (std::size_t i = 0; i < label.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(label[i]);
        bool leadingDot = i == 0 && c == '.';
        name += plainUnitCharacter(c) && !leadingDot ? std::string(1, static_cast<char>(c))
                                                     : hexEscape(c);
    }
    name += ".service";
    if (label.empty() || name.size() > kMaxUnitName)
        return std::nullopt;
    return name;
}

std::string quoteExecWord(const std::string& word, bool isProgram) {
    std::string out = "\"";
    for (unsigned char c : word) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '%':
                out += "%%";
                break;
            case '$':
                out += isProgram ? "$" : "$$";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    out += hexEscape(c);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string systemdUnitText(const LaunchdJob& job, const std::string& sourcePath) {
    const std::string restart = restartSetting(job.keepAlive);
    std::string t;
    t += "# Made by launchctl from " + settingValue(sourcePath, false) + "\n";
    t += "# launchctl load and unload rewrite this file; change the launch agent file instead.\n";
    t += "[Unit]\n";
    t += "Description=" + settingValue(job.label, true) + "\n";
    if (!hasControlCharacters(sourcePath))
        t += "SourcePath=" + settingValue(sourcePath, true) + "\n";
    // Stopped with the graphical session where the desktop has one (GNOME,
    // Plasma started by systemd), and started after it when both are started
    // together.
    t += "PartOf=graphical-session.target\n";
    t += "After=graphical-session.target\n";
    // launchd never gives up restarting a job that asks to be kept alive.
    if (restart != "no")
        t += "StartLimitIntervalSec=0\n";
    t += "\n[Service]\n";
    t += "Type=exec\n";
    t += "ExecStart=" + execStart(job) + "\n";
    t += "Restart=" + restart + "\n";
    if (restart != "no")
        t += "RestartSec=" + std::to_string(job.throttleInterval) + "\n";
    if (job.startsAtLoad()) {
        // Every user manager reaches default.target when its user logs in;
        // most desktops (XFCE, MATE, LXQt, i3, sway, ...) never start
        // graphical-session.target. Wanted by that target too, so that a
        // session stopping it at logout gets the agent back at the next
        // login even while the user manager stayed up in between.
        t += "\n[Install]\n";
        t += "WantedBy=default.target graphical-session.target\n";
    }
    return t;
}

UnitTranslation translateLaunchAgent(const std::string& plistBytes, const std::string& sourcePath) {
    UnitTranslation out;
    auto plist = platform::parsePropertyList(plistBytes);
    if (!plist) {
        out.invalidPropertyList = true;
        out.error = "Invalid property list";
        return out;
    }
    std::string why;
    auto job = parseLaunchdJob(*plist, &why);
    if (!job) {
        out.error = "Invalid job: " + why;
        return out;
    }
    auto name = unitNameForLabel(job->label);
    if (!name) {
        out.error = "Invalid job: the Label is too long to name a systemd unit";
        return out;
    }
    out.unitName = *name;
    out.unitText = systemdUnitText(*job, sourcePath);
    out.job = std::move(job);
    return out;
}

}  // namespace launchctl
