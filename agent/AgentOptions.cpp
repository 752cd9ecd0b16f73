#include "AgentOptions.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "VrnDevice.h"
#include "Vrnlib.h"

namespace vrnagent {

SAgentOptions ParseAgentCommandLine(int argc, char** argv) {
    SAgentOptions opt;
    int i = 1;
    for (; i < argc && argv[i] != nullptr; ++i) {
        const std::string word = argv[i];
        if (word == "-f") {
            opt.foreground = true;
            continue;
        }
        std::string* target = word == "-d"   ? &opt.device
                              : word == "-b" ? &opt.bindAddress
                              : word == "-u" ? &opt.relayPort
                                             : nullptr;
        if (target == nullptr)
            break;
        if (i + 1 >= argc || argv[i + 1] == nullptr) {
            // An option without its value: nothing is left for the arguments.
            ++i;
            break;
        }
        *target = argv[++i];
    }
    opt.count = i < argc ? argc - i : 0;
    if (opt.count == 3) {
        opt.tcpPort = argv[i];
        opt.comPort = argv[i + 1];
        opt.baudRate = argv[i + 2];
    }
    return opt;
}

int ArgToInt(const char* text) {
    if (text == nullptr)
        return 0;
    errno = 0;
    const long long v = std::strtoll(text, nullptr, 10);
    errno = 0;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

int BaudRateCode(int baud) {
    static constexpr int kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int code = 0; code < static_cast<int>(std::size(kRates)); ++code) {
        if (kRates[code] == baud)
            return code;
    }
    return -1;
}

namespace {

SCheckResult Fail(std::string message, bool usePerror) {
    SCheckResult r;
    r.ok = false;
    r.usePerror = usePerror;
    r.message = std::move(message);
    return r;
}

// The device's name below /dev after following every link, or a message saying why not.
bool ResolveDevice(const std::string& path, std::string& name, std::string& why) {
    std::string resolved;
    switch (VrnDeviceName(path, &name, &resolved)) {
    case EVrnDevice::Ok:
        return true;
    case EVrnDevice::Unresolved:
        why = "vrnhttp: cannot open serial device " + path + ": " + std::strerror(errno) + "\n";
        return false;
    case EVrnDevice::NotBelowDev:
        why = "vrnhttp: serial device " + path + " is not below /dev\n";
        return false;
    case EVrnDevice::TooLong:
        why = "vrnhttp: serial device name " + name + " is longer than " +
              std::to_string(VRN_DEVICE_NAME_MAX) + " characters\n";
        return false;
    }
    return false;
}

} // namespace

SCheckResult CheckAgentArguments(const SAgentOptions& opt, SAgentConfig& config) {
    SAgentConfig c;
    c.tcpPort = ArgToInt(opt.tcpPort);
    c.comPort = ArgToInt(opt.comPort);
    c.baudRate = ArgToInt(opt.baudRate);
    if (c.tcpPort < 0 || c.tcpPort > 65535)
        return Fail("Invalid TCP Port\n", true);
    if (c.comPort < 1 || c.comPort > 9)
        return Fail("Invalid Serial Port Number\n", true);
    const int code = BaudRateCode(c.baudRate);
    if (code < 0)
        return Fail("Invalid BaudRate\n", true);
    c.line = sCOM_ATTR{static_cast<unsigned char>(code), 1, 0, 0, 0}; // 8N1, no flow control

    c.bindAddress = htonl(INADDR_ANY);
    if (!opt.bindAddress.empty()) {
        in_addr a = {};
        if (::inet_pton(AF_INET, opt.bindAddress.c_str(), &a) != 1)
            return Fail("vrnhttp: -b takes a dotted IPv4 address, not " + opt.bindAddress + "\n",
                        false);
        c.bindAddress = a.s_addr;
    }
    if (!opt.relayPort.empty()) {
        const std::string& p = opt.relayPort;
        const bool digits = p.size() <= 5 && std::all_of(p.begin(), p.end(), [](char ch) {
                                return std::isdigit(static_cast<unsigned char>(ch)) != 0;
                            });
        const int port = digits ? std::atoi(p.c_str()) : 0;
        if (port < 1 || port > 65535)
            return Fail("vrnhttp: -u takes a UDP port ( 1 ~ 65535 ), not " + p + "\n", false);
        c.relayPort = port;
    }
    if (opt.device.empty()) {
        // Port 1 is ttyS0.
        c.deviceName = "ttyS" + std::string(1, static_cast<char>('0' + c.comPort - 1));
    } else {
        std::string why;
        if (!ResolveDevice(opt.device, c.deviceName, why))
            return Fail(why, false);
    }
    config = c;
    SCheckResult r;
    r.ok = true;
    return r;
}

} // namespace vrnagent
