#include "LaunchdJob.h"

#include <algorithm>

namespace launchctl {
namespace {

bool fail(std::string* error, const std::string& why) {
    if (error)
        *error = why;
    return false;
}

// launchd keys hold booleans; a number is taken as its truth value.
bool readBool(const PlistDictionary& job, const std::string& key, bool* out, std::string* error) {
    auto v = plistLookup(job, key);
    if (!v)
        return true;
    if (!v->isNumber())
        return fail(error, "the value of " + key + " is not a boolean");
    *out = *v->boolValue();
    return true;
}

bool hasControlCharacters(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// An executable systemd can run as named: an absolute path, or a bare file
// name that does not start with one of systemd's command prefixes.
bool usableProgram(const std::string& p, std::string* error) {
    if (p.empty())
        return fail(error, "the program is empty");
    // systemd refuses to run a path holding any of these.
    if (p.find_first_of(std::string("\"'\\\0", 4)) != std::string::npos || hasControlCharacters(p))
        return fail(error,
                    "systemd cannot run a program whose path holds quotes, backslashes or "
                    "control characters: " +
                        p);
    if (p.front() == '/') {
        if (p.size() > 1 && p.back() == '/')
            return fail(error, "the program path names a folder");
        return true;
    }
    if (p.find('/') != std::string::npos)
        return fail(error, "the program path " + p + " is relative; give an absolute path");
    if (std::string("-@:+!|").find(p.front()) != std::string::npos || p == "." || p == "..")
        return fail(error, "the program name " + p + " is not usable");
    return true;
}

bool readProgram(const PlistDictionary& job, LaunchdJob& out, std::string* error) {
    auto program = plistLookup(job, "Program");
    auto arguments = plistLookup(job, "ProgramArguments");
    if (program && !program->stringValue())
        return fail(error, "the value of Program is not a string");
    if (arguments) {
        const PlistArray* list = arguments->arrayValue();
        if (!list)
            return fail(error, "the value of ProgramArguments is not an array");
        for (const auto& item : *list) {
            if (!item.stringValue())
                return fail(error, "ProgramArguments holds something other than a string");
            if (item.stringValue()->find('\0') != std::string::npos)
                return fail(error, "ProgramArguments holds a string with a NUL character");
            out.arguments.push_back(*item.stringValue());
        }
    }
    if (program) {
        out.program = *program->stringValue();
    } else if (!out.arguments.empty()) {
        out.program = out.arguments.front();
    } else {
        return fail(error, "neither Program nor ProgramArguments is given");
    }
    if (out.arguments.empty())
        out.arguments.push_back(out.program);
    return usableProgram(out.program, error);
}

bool readKeepAlive(const PlistDictionary& job, LaunchdJob& out, std::string* error) {
    auto v = plistLookup(job, "KeepAlive");
    if (!v)
        return true;
    if (v->isNumber()) {
        bool on = *v->boolValue();
        out.keepAlive = {on, on, on};
        return true;
    }
    const PlistDictionary* conditions = v->dictionaryValue();
    if (!conditions)
        return fail(error, "the value of KeepAlive is neither a boolean nor a dictionary");
    for (const auto& [key, value] : *conditions) {
        if (key != "SuccessfulExit" && key != "Crashed") {
            out.ignored.push_back("KeepAlive." + key);
            continue;
        }
        if (!value.isNumber())
            return fail(error, "the value of KeepAlive." + key + " is not a boolean");
        bool on = *value.boolValue();
        if (key == "SuccessfulExit") {
            (on ? out.keepAlive.afterSuccess : out.keepAlive.afterFailure) = true;
            if (!on)
                out.keepAlive.afterCrash = true;
        } else if (on) {
            out.keepAlive.afterCrash = true;
        } else {
            out.ignored.push_back("KeepAlive.Crashed");
        }
    }
    return true;
}

bool readSessionTypes(const PlistDictionary& job, LaunchdJob& out, std::string* error) {
    auto v = plistLookup(job, "LimitLoadToSessionType");
    if (!v)
        return true;
    if (v->stringValue()) {
        out.sessionTypes.push_back(*v->stringValue());
        return true;
    }
    const PlistArray* list = v->arrayValue();
    if (!list)
        return fail(error, "the value of LimitLoadToSessionType is neither a string nor an array");
    for (const auto& item : *list) {
        if (!item.stringValue())
            return fail(error, "LimitLoadToSessionType holds something other than a string");
        out.sessionTypes.push_back(*item.stringValue());
    }
    return true;
}

}  // namespace

bool LaunchdJob::loadsInSession(const std::string& sessionType) const {
    return sessionTypes.empty() ||
           std::find(sessionTypes.begin(), sessionTypes.end(), sessionType) != sessionTypes.end();
}

std::optional<LaunchdJob> parseLaunchdJob(const PlistValue& plist, std::string* error) {
    const PlistDictionary* job = plist.dictionaryValue();
    if (!job) {
        fail(error, "the property list is not a dictionary");
        return std::nullopt;
    }
    LaunchdJob out;
    auto label = plistLookup(*job, "Label");
    if (!label || !label->stringValue() || label->stringValue()->empty()) {
        fail(error, "Label is missing or not a string");
        return std::nullopt;
    }
    out.label = *label->stringValue();
    if (hasControlCharacters(out.label) || out.label.find('\0') != std::string::npos) {
        fail(error, "Label contains control characters");
        return std::nullopt;
    }
    if (!readProgram(*job, out, error) || !readBool(*job, "RunAtLoad", &out.runAtLoad, error) ||
        !readBool(*job, "Disabled", &out.disabled, error) || !readKeepAlive(*job, out, error) ||
        !readSessionTypes(*job, out, error)) {
        return std::nullopt;
    }
    if (auto throttle = plistLookup(*job, "ThrottleInterval")) {
        auto seconds = throttle->integerValue();
        if (throttle->kind() != PlistValue::Kind::Integer || !seconds || *seconds < 0) {
            fail(error, "the value of ThrottleInterval is not a whole number of seconds");
            return std::nullopt;
        }
        out.throttleInterval = *seconds;
    }
    return out;
}

}  // namespace launchctl
