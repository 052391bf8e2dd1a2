// The platform's launchctl: loads and unloads per-user launch agents by
// turning each launch agent file into a systemd user unit bound to the
// graphical session.
//
//   launchctl load   [-w|-F] [-S Aqua] <launch agent file>...
//   launchctl unload [-w]    [-S Aqua] <launch agent file>...
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"

namespace {

int usage(const char* why) {
    if (why)
        std::fprintf(stderr, "launchctl: %s\n", why);
    std::fprintf(stderr,
                 "Usage: launchctl load [-w] [-F] [-S <session type>] <path> ...\n"
                 "       launchctl unload [-w] [-S <session type>] <path> ...\n"
                 "Only per-user launch agents of the Aqua (graphical) session are supported.\n");
    return launchctl::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usage(nullptr);
    launchctl::Options options;
    if (args[0] == "load") {
        options.load = true;
    } else if (args[0] == "unload") {
        options.load = false;
    } else if (args[0] == "help" || args[0] == "-h" || args[0] == "--help") {
        return usage(nullptr);
    } else {
        return usage(("unrecognized subcommand: " + args[0]).c_str());
    }
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-w") {
            options.overrideDisabled = true;
        } else if (a == "-F" && options.load) {
            options.overrideDisabled = true;
        } else if (a == "-S") {
            if (++i == args.size())
                return usage("-S needs a session type");
            if (args[i] != "Aqua")
                return usage(("session type " + args[i] + " is not supported").c_str());
            options.sessionType = args[i];
        } else if (a == "--") {
            paths.insert(paths.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (!a.empty() && a[0] == '-') {
            return usage(("unknown option " + a).c_str());
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty())
        return usage("no launch agent file given");
    // Every file is handled; the first failure gives the exit status.
    int status = 0;
    for (const auto& path : paths) {
        int s = launchctl::loadOrUnload(options, path);
        if (status == 0)
            status = s;
    }
    return status;
}
