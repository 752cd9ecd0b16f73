// The agent's command line: `vrnhttp [-f] [-d DEVICE] [-b ADDRESS] [-u PORT] TCP_PORT
// COM_PORT BAUDRATE`. The options only ever come first, so that the three-argument form and
// its rule (exactly three, else the usage text) stay as they always were.
#pragma once

#include <netinet/in.h>

#include <string>

#include "Vrnlib.h"

namespace vrnagent {

struct SAgentOptions {
    bool foreground = false; // -f: no fork (systemd, tests)
    std::string device;      // -d: serial device path instead of COM_PORT's ttyS name
    std::string bindAddress; // -b: local address of both sockets ("" = any)
    std::string relayPort;   // -u: relay port text ("" = 7890)
    // The three arguments as given; `count` says how many there were after the options.
    int count = 0;
    const char* tcpPort = nullptr;
    const char* comPort = nullptr;
    const char* baudRate = nullptr;
};

// Splits argv into options and arguments. Only the exact words -f, -d, -b and -u are options
// (each of -d, -b, -u takes the next word), so `vrnhttp -5 1 115200` is still three
// arguments with an invalid TCP port. Never fails: a wrong count shows in `count`.
SAgentOptions ParseAgentCommandLine(int argc, char** argv);

// The leading-digits conversion of the three arguments: optional blanks and sign, then
// decimal digits; no digits give 0. Values beyond the int range are clamped.
int ArgToInt(const char* text);

// The validated arguments and options, ready to start with.
struct SAgentConfig {
    int tcpPort = 0;
    int comPort = 0;
    int baudRate = 0;
    sCOM_ATTR line = {};       // the serial line as the session opens it
    std::string deviceName;    // below /dev: "ttyS0" or the -d device's name
    in_addr_t bindAddress = 0; // network order; INADDR_ANY by default
    int relayPort = VRN_AGENT_PORT;
};

// Outcome of the checks: the first failure's message, exactly as printed.
struct SCheckResult {
    bool ok = false;
    bool usePerror = false; // the message goes through perror (it then gains ": <errno text>")
    std::string message;
};

// The line-speed code of a validated BAUDRATE (0 = 1200 ... 7 = 115200), -1 for any other rate.
int BaudRateCode(int baud);

// Checks TCP_PORT, COM_PORT and BAUDRATE in this order, then the options. Resolves the -d
// device through symbolic links; it must end up below /dev and its name there must fit the
// session's device path. Fills `config` when everything passes.
SCheckResult CheckAgentArguments(const SAgentOptions& opt, SAgentConfig& config);

} // namespace vrnagent
