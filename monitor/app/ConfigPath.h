#pragma once
// Where the settings file is: --config when given; else QuillHT.ini beside the program; else,
// when the program's folder is not writable (an installed program),
// $XDG_CONFIG_HOME/QuillHT/QuillHT.ini ($HOME/.config when XDG_CONFIG_HOME is unset or not
// absolute).

#include <functional>
#include <string>

struct SConfigPathInputs {
    std::string configOption; // --config, may be relative to the current folder
    std::string programPath;  // the running program's full path
    std::string currentDir;
    std::string xdgConfigHome;
    std::string home;
    std::function<bool(const std::string& dir)> writable;
};

// The absolute path of the settings file; empty when none can be named.
std::string ResolveSettingsPath(const SConfigPathInputs& in);

// The inputs of this process (program path from /proc/self/exe, environment, access()).
SConfigPathInputs ProcessConfigPathInputs(const std::string& configOption);
