// The platform's launchctl turning a launch agent file into a systemd user
// unit. Whatever the file holds, the translation either refuses it with a
// reason or gives a unit that systemd reads back as the job meant: known
// settings only, each once, one per line, and an ExecStart= whose words
// unquote to exactly the program and its arguments.
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "SystemdUnit.h"
#include "fuzz/FuzzTarget.h"

namespace {

[[noreturn]] void broken() {
    std::abort();
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    broken();
}

// One ExecStart= line read the way systemd reads it: double-quoted words, C
// escapes, "%%" for "%", and "$$" for "$" after the first word.
std::vector<std::string> execWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] != '"')
            broken();
        const bool first = words.empty();
        std::string word;
        for (++i;; ++i) {
            if (i >= line.size())
                broken();  // unterminated quote
            char c = line[i];
            if (c == '"')
                break;
            if (c == '\\') {
                if (++i >= line.size())
                    broken();
                switch (line[i]) {
                    case '\\':
                        word += '\\';
                        break;
                    case '"':
                        word += '"';
                        break;
                    case 'n':
                        word += '\n';
                        break;
                    case 't':
                        word += '\t';
                        break;
                    case 'x':
                        if (i + 2 >= line.size())
                            broken();
                        word +=
                            static_cast<char>(hexDigit(line[i + 1]) * 16 + hexDigit(line[i + 2]));
                        i += 2;
                        break;
                    default:
                        broken();
                }
            } else if (c == '%') {
                if (++i >= line.size() || line[i] != '%')
                    broken();  // a specifier systemd would expand
                word += '%';
            } else if (c == '$' && !first) {
                if (++i >= line.size() || line[i] != '$')
                    broken();  // a variable systemd would expand
                word += '$';
            } else {
                word += c;
            }
        }
        words.push_back(word);
        ++i;
        if (i < line.size()) {
            if (line[i] != ' ')
                broken();
            ++i;
        }
    }
    return words;
}

void checkUnit(const launchctl::UnitTranslation& t) {
    const auto& job = *t.job;
    if (t.unitName.size() > 255 || t.unitName.size() < 9 ||
        t.unitName.compare(t.unitName.size() - 8, 8, ".service") != 0)
        broken();
    for (unsigned char c : t.unitName)
        if (c < 0x21 || c > 0x7e || c == '/')
            broken();

    static const std::set<std::string> kKeys = {
        "Description", "SourcePath", "PartOf",  "After",      "StartLimitIntervalSec",
        "Type",        "ExecStart",  "Restart", "RestartSec", "WantedBy"};
    static const std::set<std::string> kSections = {"[Unit]", "[Service]", "[Install]"};
    std::map<std::string, std::string> settings;
    std::istringstream lines(t.unitText);
    for (std::string line; std::getline(lines, line);) {
        for (unsigned char c : line)
            if (c < 0x20 || c == 0x7f)
                broken();
        if (line.empty() || line[0] == '#' || kSections.count(line))
            continue;
        auto eq = line.find('=');
        if (eq == std::string::npos)
            broken();
        std::string key = line.substr(0, eq);
        if (!kKeys.count(key) || !settings.emplace(key, line.substr(eq + 1)).second)
            broken();
    }
    if (!settings.count("ExecStart"))
        broken();

    // ExecStart= runs the program with the job's argument vector.
    auto words = execWords(settings["ExecStart"]);
    std::vector<std::string> argv;
    std::string program = words.at(0);
    if (!program.empty() && program[0] == '@') {
        program.erase(0, 1);
        argv.assign(words.begin() + 1, words.end());
    } else {
        argv = words;
    }
    if (program != job.program || argv != job.arguments)
        broken();
}

void translate(const std::string& bytes, const std::string& sourcePath) {
    auto t = launchctl::translateLaunchAgent(bytes, sourcePath);
    if (t.job) {
        if (!t.error.empty())
            broken();
        checkUnit(t);
    } else if (t.error.empty()) {
        broken();  // refused without a reason
    }
}

const char kTemplate[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
    "<key>Label</key><string>org.duolume.Duolume</string>"
    "<key>Program</key><string>/opt/Duolume.app/Contents/MacOS/Duolume</string>"
    "<key>KeepAlive</key><dict><key>SuccessfulExit</key><false/></dict>"
    "<key>RunAtLoad</key><true/></dict></plist>\n";

}  // namespace

DUOLUME_FUZZ_TARGET(launch_agent_unit) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // The file's content...
    translate(bytes, "/home/user/Library/LaunchAgents/org.duolume.Duolume.plist");
    // ...and its name, which a file system lets hold anything but NUL.
    std::string path = "/home/user/Library/LaunchAgents/";
    for (char c : bytes)
        if (c != '\0')
            path += c;
    translate(kTemplate, path);
}
