#include "Foundation/NSPathUtilities.h"

namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

std::string stringByAppendingPathComponent(const std::string& path, const std::string& component) {
    std::string tail = component;
    while (!tail.empty() && tail.front() == '/')
        tail.erase(tail.begin());
    tail = withoutTrailingSlashes(tail);
    if (tail == "/")
        tail.clear();
    std::string head = withoutTrailingSlashes(path);
    if (head.empty())
        return tail;
    if (tail.empty())
        return head;
    return head == "/" ? "/" + tail : head + "/" + tail;
}

std::string lastPathComponent(const std::string& path) {
    std::string p = withoutTrailingSlashes(path);
    if (p == "/")
        return p;
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string pathExtension(const std::string& path) {
    std::string last = lastPathComponent(path);
    auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return "";
    return last.substr(dot + 1);
}

std::string stringByDeletingLastPathComponent(const std::string& path) {
    std::string p = withoutTrailingSlashes(path);
    auto slash = p.rfind('/');
    if (slash == std::string::npos)
        return "";
    if (slash == 0)
        return "/";
    return p.substr(0, slash);
}
