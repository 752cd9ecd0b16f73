// Start-up of the real agent: the argument checks with their exact messages, the fork, the
// line speed, the sockets and a clean stop.
#include "AgentHarness.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/prctl.h>

using namespace agenttest;

namespace {

const std::string kUsage =
    "Usage: vrnhttp [TCP_PORT] [COM_PORT] [BAUDRATE] \nTCP_PORT value ( 1 ~ 65535 )\nCOM_PORT "
    "value ( 1 ~ 10 )\nBAUDRATE value ( 2400, 4800, 9600, 19200, 38400, 57600, 115200 )\nExample: "
    "vrnhttp 6666 1 115200\nStart the HTTP PROXY SERVER for TCP_PORT = 6666, COM_PORT = 1 and "
    "BAUDRATE = 115200bps\n\n";

const Bytes kSysInfo = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24};
const Bytes kPortQuery = {0x5E, 0x01, 0x61, 0x01, 0x00, 0xF0, 0xF1};

TEST(AgentStartup, RejectedCommandLinesStartNothing) {
    CPtyController line;
    ASSERT_TRUE(line.Ok());
    const std::string addr = UniqueLoopback();
    const int port = FreePort(addr, SOCK_STREAM);
    const std::string p = std::to_string(port);
    const std::vector<std::string> head = {"-f", "-b", addr, "-d", line.SlavePath()};
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        std::string err;
    } cases[] = {
        {"two arguments", {p, "1"}, kUsage, ""},
        {"no arguments", {}, kUsage, ""},
        {"four arguments", {p, "1", "115200", "1"}, kUsage, ""},
        {"TCP port too large", {"65536", "1", "115200"}, "", "Invalid TCP Port\n: Success\n"},
        {"TCP port negative", {"-1", "1", "115200"}, "", "Invalid TCP Port\n: Success\n"},
        {"COM port 10 (the usage text says 1 ~ 10)",
         {p, "10", "115200"},
         "",
         "Invalid Serial Port Number\n: Success\n"},
        {"COM port 0", {p, "0", "115200"}, "", "Invalid Serial Port Number\n: Success\n"},
        {"baud rate 300", {p, "1", "300"}, "", "Invalid BaudRate\n: Success\n"},
        {"first failing check speaks", {"70000", "10", "300"}, "", "Invalid TCP Port\n: Success\n"},
        {"bad bind address",
         {"-b", "127.0.0", p, "1", "115200"},
         "",
         "vrnhttp: -b takes a dotted IPv4 address, not 127.0.0\n"},
        {"bad relay port",
         {"-u", "0", p, "1", "115200"},
         "",
         "vrnhttp: -u takes a UDP port ( 1 ~ 65535 ), not 0\n"},
        {"device outside /dev",
         {"-d", "/tmp", p, "1", "115200"},
         "",
         "vrnhttp: serial device /tmp is not below /dev\n"},
        {"missing device",
         {"-d", "/dev/no-such-tty", p, "1", "115200"},
         "",
         "vrnhttp: cannot open serial device /dev/no-such-tty: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {AgentPath()};
        args.insert(args.end(), head.begin(), head.end());
        args.insert(args.end(), c.args.begin(), c.args.end());
        CProcess agent;
        ASSERT_TRUE(agent.Start(args));
        // In the foreground a start-up failure is reported with status 1.
        EXPECT_EQ(1, agent.WaitExit(3000));
        EXPECT_EQ(c.out, agent.Stdout());
        EXPECT_EQ(c.err, agent.Stderr());
        EXPECT_FALSE(SocketListed("tcp", addr, port));
        EXPECT_TRUE(line.Read(0).empty());
    }
    // Not a terminal: the session cannot be opened; the system's reason follows the message.
    CProcess agent;
    ASSERT_TRUE(agent.Start({AgentPath(), "-f", "-b", addr, "-d", "/dev/null", p, "1", "115200"}));
    EXPECT_EQ(1, agent.WaitExit(3000));
    EXPECT_EQ(0u, agent.Stderr().rfind("Failed to VrnInitSession(...)\n: ", 0)) << agent.Stderr();
    EXPECT_FALSE(SocketListed("tcp", addr, port));
}

// Agents orphaned by their parent come to this test process (a child subreaper).
std::vector<pid_t> AdoptedChildren(pid_t except) {
    std::vector<pid_t> pids;
    DIR* d = opendir("/proc/self/task");
    while (dirent* e = d ? readdir(d) : nullptr) {
        if (e->d_name[0] == '.')
            continue;
        std::istringstream list(
            ReadFile(std::string("/proc/self/task/") + e->d_name + "/children"));
        pid_t pid;
        while (list >> pid) {
            const std::string cmd = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
            if (pid != except && cmd.rfind(AgentPath(), 0) == 0)
                pids.push_back(pid);
        }
    }
    if (d)
        closedir(d);
    return pids;
}

pid_t WaitForAdopted(pid_t except, int ms) {
    const int64_t deadline = NowMs() + ms;
    while (NowMs() < deadline) {
        std::vector<pid_t> pids = AdoptedChildren(except);
        if (!pids.empty())
            return pids.front();
        SleepMs(10);
    }
    return -1;
}

int WaitPidStatus(pid_t pid, int ms) {
    const int64_t deadline = NowMs() + ms;
    while (NowMs() < deadline) {
        int st = 0;
        if (waitpid(pid, &st, WNOHANG) == pid)
            return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        SleepMs(10);
    }
    return -1;
}

TEST(AgentStartup, WithoutForegroundTheParentExitsAtOnceAndTheChildServes) {
    ASSERT_EQ(0, prctl(PR_SET_CHILD_SUBREAPER, 1));
    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    const std::string addr = UniqueLoopback();
    const int tcpPort = FreePort(addr, SOCK_STREAM);
    const int relayPort = FreePort(addr, SOCK_DGRAM);

    CProcess parent;
    const int64_t t0 = NowMs();
    ASSERT_TRUE(parent.Start({AgentPath(), "-d", sim.PtyPath(), "-b", addr, "-u",
                              std::to_string(relayPort), std::to_string(tcpPort), "1", "115200"}));
    const pid_t parentPid = parent.Pid();
    EXPECT_EQ(0, parent.WaitExit(2000));
    EXPECT_LT(NowMs() - t0, 1000);
    const pid_t child = WaitForAdopted(parentPid, 3000);
    ASSERT_GT(child, 0);
    const int64_t deadline = NowMs() + 5000;
    while (NowMs() < deadline &&
           !(SocketListed("tcp", addr, tcpPort) && SocketListed("udp", addr, relayPort)))
        SleepMs(10);
    EXPECT_EQ(tcpPort, AskTcpPort(addr, relayPort));
    EXPECT_EQ(262u, UdpAsk(addr, relayPort, kSysInfo, 3000).size());
    kill(child, SIGTERM);
    EXPECT_EQ(0, WaitPidStatus(child, 5000));
    EXPECT_TRUE(parent.Stdout().empty());
    EXPECT_TRUE(SanitizerClean(parent.Stderr())) << parent.Stderr();

    // The checks run in the child, after the parent has already reported success.
    CProcess bad;
    ASSERT_TRUE(bad.Start(
        {AgentPath(), "-d", sim.PtyPath(), "-b", addr, std::to_string(tcpPort), "1", "300"}));
    const pid_t badParent = bad.Pid();
    EXPECT_EQ(0, bad.WaitExit(2000));
    const pid_t badChild = WaitForAdopted(badParent, 1000);
    if (badChild > 0) {
        EXPECT_EQ(0, WaitPidStatus(badChild, 3000));
    }
    // The child shares the parent's standard error.
    const int64_t until = NowMs() + 3000;
    while (NowMs() < until && bad.Stderr().empty())
        SleepMs(10);
    EXPECT_EQ("Invalid BaudRate\n: Success\n", bad.Stderr());

    // The usage rule is decided before any fork, with status 0 as always.
    CProcess usage;
    ASSERT_TRUE(usage.Start({AgentPath(), std::to_string(tcpPort), "1"}));
    EXPECT_EQ(0, usage.WaitExit(2000));
    EXPECT_EQ(kUsage, usage.Stdout());
    EXPECT_TRUE(AdoptedChildren(usage.Pid()).empty());
}

TEST(AgentStartup, BaudRateSetsTheLineSpeed) {
    const struct {
        const char* rate;
        speed_t speed;
    } cases[] = {
        {"1200", B1200}, {"2400", B2400}, {"9600", B9600}, {"57600", B57600}, {"115200", B115200}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        CPtyController line;
        ASSERT_TRUE(line.Ok());
        SAgent agent;
        ASSERT_TRUE(agent.Start(line.SlavePath(), {}, c.rate));
        EXPECT_EQ(c.speed, line.OutputSpeed());
        EXPECT_EQ(0, agent.proc.Stop());
    }
}

TEST(AgentStartup, PortQueryReportsTheListeningPort) {
    CPtyController line;
    ASSERT_TRUE(line.Ok());
    {
        // TCP_PORT 0: the system chooses, and stations learn the real port.
        SAgent agent;
        ASSERT_TRUE(agent.Start(line.SlavePath(), {}, "115200", 0));
        const int port = AskTcpPort(agent.addr, agent.relayPort);
        ASSERT_GT(port, 0);
        EXPECT_TRUE(SocketListed("tcp", agent.addr, port));
        std::thread controller([&] {
            line.ReadFrames(1, 3000);
            line.Write(Frame(ToBytes("HTTP/1.0 200 OK\r\n\r\nzero")));
        });
        SRawResult r = RawHttp(agent.addr, port, GetRequest("/"));
        controller.join();
        EXPECT_EQ("HTTP/1.0 200 OK\r\n\r\nzero", ToString(r.received));
        EXPECT_EQ(0, agent.proc.Stop());
    }
    {
        SAgent agent;
        // The golden answer needs port 6666 itself, taken on this test's own address.
        int probe = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Address(agent.addr, 6666);
        const bool free = bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(probe);
        if (!free)
            GTEST_SKIP() << "6666 is taken on " << agent.addr;
        ASSERT_TRUE(agent.Start(line.SlavePath(), {}, "115200", 6666));
        EXPECT_EQ(Bytes({0x5E, 0x01, 0x61, 0x02, 0x00, 0x0A, 0x1A, 0x26}),
                  UdpAsk(agent.addr, agent.relayPort, kPortQuery, 2000));
        EXPECT_EQ(0, agent.proc.Stop());
        EXPECT_TRUE(line.Read(0).empty()) << "the port query never reaches the controller";
    }
}

TEST(AgentStartup, TakenPortsAreReported) {
    CPtyController line;
    ASSERT_TRUE(line.Ok());
    const std::string addr = UniqueLoopback();
    {
        // The HTTP port is taken: the agent cannot serve and says why.
        int holder = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Address(addr, 0);
        socklen_t len = sizeof a;
        ASSERT_EQ(0, bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a));
        ASSERT_EQ(0, listen(holder, 1));
        getsockname(holder, reinterpret_cast<sockaddr*>(&a), &len);
        CProcess agent;
        ASSERT_TRUE(agent.Start({AgentPath(), "-f", "-b", addr, "-d", line.SlavePath(),
                                 std::to_string(ntohs(a.sin_port)), "1", "115200"}));
        EXPECT_EQ(1, agent.WaitExit(3000));
        EXPECT_EQ("Failed to bind socket\n: Address already in use\n", agent.Stderr());
        close(holder);
    }
    {
        // The relay port is taken: the relay gives up, the HTTP proxy serves on.
        int holder = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = Address(addr, 0);
        socklen_t len = sizeof a;
        ASSERT_EQ(0, bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a));
        getsockname(holder, reinterpret_cast<sockaddr*>(&a), &len);
        SAgent agent;
        agent.addr = addr;
        ASSERT_TRUE(agent.Start(line.SlavePath(), {}, "115200", -1, ntohs(a.sin_port)));
        const int64_t deadline = NowMs() + 3000;
        while (NowMs() < deadline && agent.proc.Stderr().empty())
            SleepMs(10);
        EXPECT_EQ("Failed to bind monitor socket\n: Address already in use\n", agent.proc.Stderr());
        std::thread controller([&] {
            line.ReadFrames(1, 3000);
            line.Write(Frame(ToBytes("still here")));
        });
        SRawResult r = RawHttp(agent.addr, agent.tcpPort, GetRequest("/"));
        controller.join();
        EXPECT_EQ("still here", ToString(r.received));
        EXPECT_EQ(0, agent.proc.Stop());
        close(holder);
    }
}

TEST(AgentStartup, TermSignalStopsCleanlyAndFreesThePorts) {
    CPtyController line;
    ASSERT_TRUE(line.Ok());
    const struct {
        const char* name;
        bool idleBrowser;
    } cases[] = {{"idle", false}, {"with a browser half-way through its request", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SAgent agent;
        ASSERT_TRUE(agent.Start(line.SlavePath()));
        int browser = -1;
        if (c.idleBrowser) {
            browser = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a = Address(agent.addr, agent.tcpPort);
            ASSERT_EQ(0, connect(browser, reinterpret_cast<sockaddr*>(&a), sizeof a));
            ASSERT_EQ(1, send(browser, "G", 1, MSG_NOSIGNAL));
            SleepMs(150);
        }
        const int64_t t0 = NowMs();
        EXPECT_EQ(0, agent.proc.Stop());
        EXPECT_LT(NowMs() - t0, 2000);
        EXPECT_EQ("", agent.proc.Stderr());
        if (browser >= 0) {
            // The half-received request is not served.
            char b;
            EXPECT_EQ(0, recv(browser, &b, 1, 0));
            close(browser);
        }
        EXPECT_TRUE(line.Read(100).empty());
        // A new agent could bind both again (connections it closed may linger in TIME_WAIT,
        // which the listening socket's address reuse allows).
        for (int type : {SOCK_STREAM, SOCK_DGRAM}) {
            int fd = socket(AF_INET, type, 0);
            const int on = 1;
            if (type == SOCK_STREAM)
                setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            sockaddr_in a =
                Address(agent.addr, type == SOCK_STREAM ? agent.tcpPort : agent.relayPort);
            EXPECT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
            close(fd);
        }
    }
}

TEST(AgentStartup, DeviceGivenThroughALinkIsFollowed) {
    const std::string link =
        (std::filesystem::temp_directory_path() / ("vrnagent-link-" + std::to_string(getpid())))
            .string();
    CSimProcess::Options o;
    o.extraArgs = {"--link", link};
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    SAgent agent;
    ASSERT_TRUE(agent.Start(link));
    Bytes r = UdpAsk(agent.addr, agent.relayPort, kSysInfo, 3000);
    ASSERT_EQ(262u, r.size());
    EXPECT_EQ(0, std::memcmp(r.data() + 5, "Varno Storage Systems", 21));
    EXPECT_EQ(0, agent.proc.Stop());
}

} // namespace
