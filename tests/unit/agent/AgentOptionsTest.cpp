// The command line: where options end and arguments begin, the checks in their order with
// their exact messages, and where the serial device comes from.
#include "AgentOptions.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vrnagent;

namespace {

SAgentOptions Parse(std::vector<std::string> words) {
    words.insert(words.begin(), "vrnhttp");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    SAgentOptions opt = ParseAgentCommandLine(static_cast<int>(words.size()), argv.data());
    // The argument pointers point into `words`; copy them out before it goes.
    static std::vector<std::string> keep;
    keep.clear();
    keep.reserve(3);
    for (const char** p : {&opt.tcpPort, &opt.comPort, &opt.baudRate}) {
        if (*p != nullptr) {
            keep.emplace_back(*p);
            *p = keep.back().c_str();
        }
    }
    return opt;
}

TEST(AgentOptions, OptionsOnlyComeFirstAndTheCountRuleStays) {
    const struct {
        std::vector<std::string> words;
        int count;
        bool foreground;
        const char* device;
        const char* bind;
        const char* relay;
        const char* tcpPort;
    } cases[] = {
        {{"6666", "1", "115200"}, 3, false, "", "", "", "6666"},
        {{"6666", "1"}, 2, false, "", "", "", nullptr},
        {{}, 0, false, "", "", "", nullptr},
        {{"6666", "1", "115200", "x"}, 4, false, "", "", "", nullptr},
        {{"-f", "6666", "1", "115200"}, 3, true, "", "", "", "6666"},
        {{"-f", "-d", "/dev/pts/3", "-b", "127.0.0.5", "-u", "17890", "0", "1", "9600"},
         3,
         true,
         "/dev/pts/3",
         "127.0.0.5",
         "17890",
         "0"},
        // A negative port is an argument like any other, checked as before.
        {{"-5", "1", "115200"}, 3, false, "", "", "", "-5"},
        // Options after the first argument are arguments.
        {{"6666", "-f", "1", "115200"}, 4, false, "", "", "", nullptr},
        {{"-d"}, 0, false, "", "", "", nullptr},
        {{"-d", "1", "115200"}, 1, false, "1", "", "", nullptr},
        {{"-x", "1", "115200"}, 3, false, "", "", "", "-x"},
    };
    for (const auto& c : cases) {
        SAgentOptions o = Parse(c.words);
        std::string joined;
        for (const std::string& w : c.words)
            joined += w + " ";
        SCOPED_TRACE(joined);
        EXPECT_EQ(c.count, o.count);
        EXPECT_EQ(c.foreground, o.foreground);
        EXPECT_EQ(c.device, o.device);
        EXPECT_EQ(c.bind, o.bindAddress);
        EXPECT_EQ(c.relay, o.relayPort);
        if (c.tcpPort == nullptr) {
            EXPECT_EQ(nullptr, o.tcpPort);
        } else {
            EXPECT_STREQ(c.tcpPort, o.tcpPort);
        }
    }
}

TEST(AgentOptions, ArgumentsConvertFromTheirLeadingDigits) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"6666", 6666}, {"6666abc", 6666}, {"abc", 0},  {"", 0},
                 {" 12", 12},    {"-1", -1},        {"+7", 7},   {"99999999999", 2147483647},
                 {"0x10", 0},    {"010", 10},       {nullptr, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.value, ArgToInt(c.text)) << (c.text ? c.text : "(null)");
}

TEST(AgentOptions, ChecksRunInOrderWithTheirMessages) {
    const struct {
        std::vector<std::string> words;
        bool ok;
        bool perror;
        std::string message;
    } cases[] = {
        {{"6666", "1", "115200"}, true, false, ""},
        {{"0", "1", "115200"}, true, false, ""},   // the system chooses the port
        {{"65535", "9", "1200"}, true, false, ""}, // 1200 passes although the usage omits it
        {{"65536", "1", "115200"}, false, true, "Invalid TCP Port\n"},
        {{"-1", "1", "115200"}, false, true, "Invalid TCP Port\n"},
        {{"6666", "10", "115200"}, false, true, "Invalid Serial Port Number\n"},
        {{"6666", "0", "115200"}, false, true, "Invalid Serial Port Number\n"},
        {{"6666", "1", "300"}, false, true, "Invalid BaudRate\n"},
        {{"6666", "1", "115201"}, false, true, "Invalid BaudRate\n"},
        // The first failing check speaks.
        {{"70000", "10", "300"}, false, true, "Invalid TCP Port\n"},
        {{"6666", "10", "300"}, false, true, "Invalid Serial Port Number\n"},
        // Options are checked after the three arguments.
        {{"-b", "1.2.3", "70000", "1", "115200"}, false, true, "Invalid TCP Port\n"},
        {{"-b", "1.2.3", "6666", "1", "115200"},
         false,
         false,
         "vrnhttp: -b takes a dotted IPv4 address, not 1.2.3\n"},
        {{"-u", "0", "6666", "1", "115200"},
         false,
         false,
         "vrnhttp: -u takes a UDP port ( 1 ~ 65535 ), not 0\n"},
        {{"-u", "65536", "6666", "1", "115200"},
         false,
         false,
         "vrnhttp: -u takes a UDP port ( 1 ~ 65535 ), not 65536\n"},
        {{"-u", "12x", "6666", "1", "115200"},
         false,
         false,
         "vrnhttp: -u takes a UDP port ( 1 ~ 65535 ), not 12x\n"},
        {{"-d", "/", "6666", "1", "115200"},
         false,
         false,
         "vrnhttp: serial device / is not below /dev\n"},
        {{"-d", "/dev", "6666", "1", "115200"},
         false,
         false,
         "vrnhttp: serial device /dev is not below /dev\n"},
        {{"-d", "/no/such/tty", "6666", "1", "115200"},
         false,
         false,
         "vrnhttp: cannot open serial device /no/such/tty: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SAgentOptions o = Parse(c.words);
        ASSERT_EQ(3, o.count);
        SAgentConfig config;
        SCheckResult r = CheckAgentArguments(o, config);
        SCOPED_TRACE(c.words[0] + " " + c.words[1] + " " + c.words[2]);
        EXPECT_EQ(c.ok, r.ok);
        EXPECT_EQ(c.perror, r.usePerror);
        EXPECT_EQ(c.message, r.message);
    }
}

TEST(AgentOptions, BaudRateBecomesTheLineSpeedCode) {
    const struct {
        const char* rate;
        int code;
    } cases[] = {{"1200", 0},  {"2400", 1},  {"4800", 2},  {"9600", 3},
                 {"19200", 4}, {"38400", 5}, {"57600", 6}, {"115200", 7}};
    for (const auto& c : cases) {
        SAgentConfig config;
        ASSERT_TRUE(CheckAgentArguments(Parse({"6666", "1", c.rate}), config).ok) << c.rate;
        EXPECT_EQ(c.code, config.line.comBaudRate) << c.rate;
        // Eight data bits, no parity, one stop bit, no flow control.
        EXPECT_EQ(1, config.line.comDataBits);
        EXPECT_EQ(0, config.line.comStopBits);
        EXPECT_EQ(0, config.line.comParity);
        EXPECT_EQ(0, config.line.comFlowControl);
    }
    EXPECT_EQ(-1, BaudRateCode(300));
    EXPECT_EQ(-1, BaudRateCode(230400));
}

TEST(AgentOptions, DeviceAndAddressesFollowTheOptions) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("agent-opt-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink("/dev/null", dir / "line");
    std::filesystem::create_symlink("/dev/../tmp", dir / "escape");
    { std::ofstream(dir / "plain") << "x"; }

    const struct {
        std::vector<std::string> words;
        bool ok;
        std::string deviceName;
        std::string bind;
        int relayPort;
    } cases[] = {
        {{"6666", "1", "115200"}, true, "ttyS0", "0.0.0.0", 7890},
        {{"6666", "9", "115200"}, true, "ttyS8", "0.0.0.0", 7890},
        {{"-d", "/dev/null", "6666", "9", "115200"}, true, "null", "0.0.0.0", 7890},
        // Links are followed to the device they name.
        {{"-d", (dir / "line").string(), "6666", "1", "115200"}, true, "null", "0.0.0.0", 7890},
        {{"-d", (dir / "escape").string(), "6666", "1", "115200"}, false, "", "", 0},
        {{"-d", (dir / "plain").string(), "6666", "1", "115200"}, false, "", "", 0},
        {{"-b", "127.0.0.42", "-u", "17890", "6666", "1", "115200"},
         true,
         "ttyS0",
         "127.0.0.42",
         17890},
    };
    for (const auto& c : cases) {
        SAgentConfig config;
        SCheckResult r = CheckAgentArguments(Parse(c.words), config);
        SCOPED_TRACE(c.words[0] + " " + c.words[1]);
        ASSERT_EQ(c.ok, r.ok) << r.message;
        if (!c.ok)
            continue;
        EXPECT_EQ(c.deviceName, config.deviceName);
        char text[INET_ADDRSTRLEN] = {};
        in_addr a = {};
        a.s_addr = config.bindAddress;
        inet_ntop(AF_INET, &a, text, sizeof text);
        EXPECT_EQ(c.bind, text);
        EXPECT_EQ(c.relayPort, config.relayPort);
    }
    std::filesystem::remove_all(dir);
}

TEST(AgentOptions, DeviceNamesMustFitTheSessionPath) {
    // The session's device path holds "/dev/" and nine characters; the resolved name is
    // what has to fit. Files in /dev/shm stand in for devices with long names.
    const std::filesystem::path shm = "/dev/shm";
    const std::string tag = std::to_string(getpid() % 100000);
    char name9[8], name10[8];
    std::snprintf(name9, sizeof name9, "a%04d", static_cast<int>(getpid() % 10000)); // shm/aNNNN
    std::snprintf(name10, sizeof name10, "a%05d",
                  static_cast<int>(getpid() % 100000)); // shm/aNNNNN
    const std::filesystem::path nine = shm / name9;
    const std::filesystem::path ten = shm / name10;
    const std::filesystem::path link = std::filesystem::temp_directory_path() / ("agent-ln-" + tag);
    std::error_code ec;
    { std::ofstream(nine) << "x"; }
    { std::ofstream(ten) << "x"; }
    if (!std::filesystem::exists(nine) || !std::filesystem::exists(ten))
        GTEST_SKIP() << "/dev/shm is not writable here";
    std::filesystem::create_symlink(ten, link, ec);
    const std::string tooLong =
        "vrnhttp: serial device name shm/" + std::string(name10) + " is longer than 9 characters\n";

    const struct {
        std::string path;
        bool ok;
        std::string message;
    } cases[] = {
        {nine.string(), true, ""},
        {ten.string(), false, tooLong},
        {link.string(), false, tooLong},
    };
    for (const auto& c : cases) {
        SAgentConfig config;
        SCheckResult r = CheckAgentArguments(Parse({"-d", c.path, "6666", "1", "115200"}), config);
        EXPECT_EQ(c.ok, r.ok) << c.path;
        EXPECT_EQ(c.message, r.message) << c.path;
        if (c.ok) {
            EXPECT_EQ("shm/" + std::string(name9), config.deviceName);
        }
    }
    std::filesystem::remove(nine, ec);
    std::filesystem::remove(ten, ec);
    std::filesystem::remove(link, ec);
}

} // namespace
