// The command line from arbitrary words (NUL-separated): splitting never reads past argv,
// and a configuration that passes the checks is within every range the agent relies on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "AgentOptions.h"

using namespace vrnagent;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 512)
        return 0;
    std::vector<std::string> words = {"vrnhttp"};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    words.push_back(current);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    SAgentOptions opt = ParseAgentCommandLine(static_cast<int>(words.size()), argv.data());
    if (opt.count < 0 || opt.count >= static_cast<int>(words.size()))
        __builtin_trap();
    if (opt.count != 3)
        return 0;
    // Devices are resolved against the real file system: keep the fuzzer off it.
    opt.device.clear();
    SAgentConfig config;
    const SCheckResult r = CheckAgentArguments(opt, config);
    if (r.ok != r.message.empty())
        __builtin_trap();
    if (r.ok) {
        if (config.tcpPort < 0 || config.tcpPort > 65535 || config.comPort < 1 ||
            config.comPort > 9 || BaudRateCode(config.baudRate) != config.line.comBaudRate ||
            config.relayPort < 1 || config.relayPort > 65535 || config.deviceName.size() != 5)
            __builtin_trap();
    }
    return 0;
}
