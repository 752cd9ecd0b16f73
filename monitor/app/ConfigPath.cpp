#include "ConfigPath.h"

#include "SettingsStore.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

std::string Absolute(const std::string& path, const std::string& currentDir) {
    if (path.empty() || path[0] == '/' || currentDir.empty())
        return path;
    return currentDir + (currentDir.back() == '/' ? "" : "/") + path;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string ResolveSettingsPath(const SConfigPathInputs& in) {
    if (!in.configOption.empty())
        return Absolute(in.configOption, in.currentDir);
    if (!in.programPath.empty()) {
        const std::string beside = SettingsPathForProgram(in.programPath);
        if (!beside.empty() && in.writable && in.writable(DirectoryOf(in.programPath)))
            return beside;
    }
    std::string base;
    if (!in.xdgConfigHome.empty() && in.xdgConfigHome[0] == '/')
        base = in.xdgConfigHome;
    else if (!in.home.empty())
        base = in.home + "/.config";
    if (base.empty())
        return {};
    return base + "/QuillHT/QuillHT.ini";
}

SConfigPathInputs ProcessConfigPathInputs(const std::string& configOption) {
    SConfigPathInputs in;
    in.configOption = configOption;
    char buf[PATH_MAX + 1] = {};
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n > 0)
        in.programPath.assign(buf, static_cast<std::size_t>(n));
    char cwd[PATH_MAX + 1] = {};
    if (getcwd(cwd, sizeof cwd) != nullptr)
        in.currentDir = cwd;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"))
        in.xdgConfigHome = x;
    if (const char* h = std::getenv("HOME"))
        in.home = h;
    in.writable = [](const std::string& dir) { return access(dir.c_str(), W_OK) == 0; };
    return in;
}
