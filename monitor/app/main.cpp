// QuillHT: the monitoring utility. --headless runs the monitor without a window; otherwise the
// window front-end, a library of its own, is loaded, so that the headless path never loads the
// GUI toolkit and needs no display.
#include "HeadlessApp.h"
#include "HeadlessOptions.h"
#include "NotifierGlue.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#ifndef QUILLHT_VERSION
#define QUILLHT_VERSION "0"
#endif

namespace {

// The window front-end's entry: int QuillHTWindowMain(int argc, char** argv).
using WindowMain = int (*)(int, char**);
constexpr char kWindowLibrary[] = "libquillht-window.so";

int RunWindow(int argc, char** argv) {
    char self[PATH_MAX + 1] = {};
    std::string path = kWindowLibrary;
    const ssize_t n = readlink("/proc/self/exe", self, PATH_MAX);
    if (n > 0) {
        std::string dir(self, static_cast<std::size_t>(n));
        dir.erase(dir.rfind('/') + 1);
        path = dir + kWindowLibrary;
    }
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto entry = lib ? reinterpret_cast<WindowMain>(dlsym(lib, "QuillHTWindowMain")) : nullptr;
    if (entry == nullptr) {
        std::fprintf(stderr,
                     "QuillHT: the window front-end (%s) is not available; "
                     "run QuillHT --headless\n",
                     kWindowLibrary);
        return 2;
    }
    return entry(argc, argv);
}

} // namespace

int main(int argc, char** argv) {
    SHeadlessOptions options;
    std::string error;
    switch (ParseCommandLine(argc, argv, options, error)) {
    case ECommandLine::Help:
        std::fputs(UsageText(), stdout);
        return 0;
    case ECommandLine::Version:
        std::printf("QuillHT %s\n", QUILLHT_VERSION);
        return 0;
    case ECommandLine::Error:
        std::fprintf(stderr, "QuillHT: %s\n%s", error.c_str(), UsageText());
        return 2;
    case ECommandLine::Run:
        break;
    }
    if (!options.headless)
        return RunWindow(argc, argv);
    SHeadlessRun run;
    run.options = options;
    run.makeNotifier = MakeAppNotifier;
    return RunHeadless(run);
}
