// vrnsim as a process: large replies over the pseudo-terminal, pacing, time-scaled tasks,
// the link, clean shutdown, bad scenarios and the ctl client's exit codes.
#include "SimProcess.h"
#include "SimWire.h"
#include "TestProcess.h"
#include "VrnTestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using namespace simwire;

namespace {

const std::string kSim = VRN_BUILD_DIR "/sim/vrnsim";

struct SRun {
    int status = -1; // exit status (128 + signal when it had to be stopped)
    std::string out;
    std::string err;
};

// Runs vrnsim to its end (bounded by 10 s), collecting both outputs.
SRun RunSim(const std::vector<std::string>& args) {
    std::vector<std::string> all{kSim};
    all.insert(all.end(), args.begin(), args.end());
    SRun r;
    r.status = vrntest::RunProgram(all, &r.out, 10000, &r.err);
    return r;
}

std::string WriteTemp(const std::string& name, const std::string& text) {
    std::string path = std::filesystem::temp_directory_path() /
                       ("vrnsim-" + std::to_string(getpid()) + "-" + name);
    std::ofstream(path) << text;
    return path;
}

// Removes a scratch file however the test ends.
struct SScratch {
    std::string path;
    ~SScratch() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

bool ValidFrame(const Bytes& r) {
    return r.size() >= 6 && Frame(Payload(r)) == r;
}

Bytes Piece(const std::string& s) {
    Bytes p{0x16};
    p.insert(p.end(), s.begin(), s.end());
    return Frame(p);
}

TEST(SimProcess, ReplyOfTenKilobytesCrossesThePty) {
    // Learn the header size from a HEAD request, then size a page so that the GET reply
    // frame is exactly 10240 bytes.
    SScratch probeFile{
        WriteTemp("probe.json", R"({"webPages": {"/fill": {"body": "x", "repeat": 10000}}})")};
    const std::string& probe = probeFile.path;
    size_t header = 0;
    {
        CSimProcess::Options o;
        o.scenario = probe;
        CSimProcess sim(o);
        ASSERT_TRUE(sim.Ready());
        CSerial line(sim.PtyPath());
        Bytes r = line.Exchange(Piece("HEAD /fill HTTP/1.0\r\n\r\n"));
        ASSERT_TRUE(ValidFrame(r));
        header = r.size() - 6;
    }
    size_t body = 10240 - 6 - header;
    ASSERT_GE(body, 10000u); // same number of Content-Length digits
    SScratch fill{WriteTemp("fill.json", R"({"webPages": {"/fill": {"body": "y", "repeat": )" +
                                             std::to_string(body) + "}}}")};
    const std::string& sc = fill.path;
    CSimProcess::Options o;
    o.scenario = sc;
    o.udp = true;
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    CSerial line(sim.PtyPath());
    // Read the way the library does: stop at the first 100 ms of quiet.
    Bytes r = line.Exchange(Piece("GET /fill HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(10240u, r.size());
    EXPECT_TRUE(ValidFrame(r));
    EXPECT_EQ(std::string(200, 'y'), std::string(r.end() - 201, r.end() - 1));
    // An agent never relays a reply of 10240 bytes or more.
    CUdp udp(sim.UdpAddr(), sim.UdpPort());
    EXPECT_TRUE(udp.Exchange(Piece("GET /fill HTTP/1.0\r\n\r\n"), 500).empty());
    EXPECT_NE(std::string::npos, sim.Ctl("stats").find(" unsent=1"));
    EXPECT_FALSE(udp.Exchange(Piece("GET / HTTP/1.0\r\n\r\n")).empty());
    // The built-in event log page is larger than one reply frame may be; the pty still
    // delivers all of it, and the control channel stays responsive meanwhile.
    line.Drain();
    ASSERT_TRUE(line.Send(Piece("GET /eventlog.html HTTP/1.0\r\n\r\n")));
    EXPECT_EQ("ok 4", sim.Ctl("frames"));
    Bytes big = line.Read();
    EXPECT_GT(big.size(), 10240u);
    EXPECT_TRUE(ValidFrame(big));
}

TEST(SimProcess, PacedRepliesTakeTheirLineTime) {
    CSimProcess::Options o;
    o.extraArgs = {"--pace"};
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    CSerial line(sim.PtyPath());
    line.Drain();
    int64_t t0 = NowMs();
    ASSERT_TRUE(line.Send(Frame({0x1A, 0x00})));
    Bytes r = line.Read(2000, 60);
    int64_t took = NowMs() - t0 - 60;
    EXPECT_EQ(518u, r.size());
    EXPECT_TRUE(ValidFrame(r));
    EXPECT_GE(took, 518 * 10 * 1000 / 115200 - 5); // about 45 ms on the line
    EXPECT_LT(took, 1000);
}

uint32_t Le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(SimProcess, VolumeInitialisationRunsOnTheScaledClock) {
    CSimProcess::Options o;
    o.extraArgs = {"--time-scale", "0.05"}; // 30 s foreground initialisation -> 1.5 s
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    CSerial line(sim.PtyPath());
    Bytes raid = {0x50, 0xF0, 0, 0, 0};
    raid.resize(21, 0);
    ASSERT_EQ(Frame({'A'}), line.Exchange(Frame(raid)));
    Bytes vol = {0x60, 1, 'V', 'o', 'l', 'X'};
    vol.resize(18, 0);
    for (uint8_t b : {0x40, 0x42, 0x0F, 0x00, 0, 0, 0, 0, 3, 4, 0, 0, 3, 1, 1, 4, 1, 0})
        vol.push_back(b);
    ASSERT_EQ(36u, vol.size());
    ASSERT_EQ(Frame({'A'}), line.Exchange(Frame(vol)));
    int64_t t0 = NowMs();
    uint32_t lastProgress = 0;
    int readings = 0;
    bool done = false;
    while (NowMs() - t0 < 5000) {
        Bytes r = line.Exchange(Frame({0x21, 2}));
        ASSERT_EQ(70u, r.size());
        Bytes rec = Payload(r);
        uint32_t status = Le32(rec, 40), progress = Le32(rec, 44);
        if (!(status & 1)) {
            done = true;
            break;
        }
        EXPECT_GE(progress, lastProgress);
        EXPECT_LT(progress, 1000u);
        lastProgress = progress;
        ++readings;
    }
    int64_t took = NowMs() - t0;
    EXPECT_TRUE(done);
    EXPECT_GE(readings, 3);
    EXPECT_GT(lastProgress, 300u);
    EXPECT_GE(took, 1000);
    EXPECT_LT(took, 3500);
    // The completion is in the log: the newest record is Complete Init of volume set 2.
    Bytes page = Payload(line.Exchange(Frame({0x1A, 0})));
    EXPECT_EQ(Bytes({2, 4, 2}), Bytes(page.begin() + 480, page.begin() + 483));
}

TEST(SimProcess, LineSurvivesClientsAndDropsStalePartialFrames) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    for (int i = 0; i < 3; ++i) {
        CSerial line(sim.PtyPath());
        ASSERT_TRUE(line.Ok());
        EXPECT_EQ(7u, line.Exchange(Frame({0x19})).size()) << "client " << i;
    }
    CSerial line(sim.PtyPath());
    ASSERT_TRUE(line.Send({0x5E, 0x01, 0x61, 0x02, 0x00}));
    std::this_thread::sleep_for(std::chrono::milliseconds(650));
    EXPECT_EQ(262u, line.Exchange(Frame({0x23})).size());
    EXPECT_NE(std::string::npos, sim.Ctl("stats").find("abandoned=1"));
}

TEST(SimProcess, StopsCleanlyAndRemovesLinkAndSocket) {
    std::string dir =
        std::filesystem::temp_directory_path() / ("vrnsim-link-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string link = dir + "/ttyVRN0";
    std::filesystem::create_symlink("/nonexistent", link); // a stale link is replaced
    std::string ctl;
    {
        CSimProcess::Options o;
        o.extraArgs = {"--link", link};
        CSimProcess sim(o);
        ASSERT_TRUE(sim.Ready());
        ctl = sim.CtlPath();
        EXPECT_EQ(sim.PtyPath(), std::filesystem::read_symlink(link).string());
        CSerial viaLink(link);
        EXPECT_EQ(7u, viaLink.Exchange(Frame({0x19})).size());
        EXPECT_TRUE(std::filesystem::exists(ctl));
        kill(sim.Pid(), SIGTERM);
        int st = 0;
        for (int i = 0; i < 200 && waitpid(sim.Pid(), &st, WNOHANG) != sim.Pid(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(WIFEXITED(st));
        EXPECT_EQ(0, WEXITSTATUS(st));
        EXPECT_FALSE(std::filesystem::is_symlink(link));
        EXPECT_FALSE(std::filesystem::exists(ctl));
    }
    // A path that is not a link is never replaced.
    std::ofstream(link) << "keep";
    SRun r = RunSim({"--pty", "--link", link});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("not a symbolic link"));
    EXPECT_TRUE(std::filesystem::is_regular_file(link));
    std::filesystem::remove_all(dir);
}

TEST(SimProcess, CommandLineErrorsAndCtlExitCodes) {
    SScratch badFile{WriteTemp("bad.json", R"({"system": {"ideChannels": 99}})")};
    const std::string& bad = badFile.path;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* errText;
    };
    const Case cases[] = {
        {{"--scenario", bad, "--pty"}, 2, "system.ideChannels"},
        {{"--scenario", "/nonexistent/x.json", "--pty"}, 2, "cannot read"},
        {{}, 2, "--pty and/or --udp"},
        {{"--udp", "127.0.0.1"}, 2, "ADDR:PORT"},
        {{"--pty", "--time-scale", "0"}, 2, "positive"},
        {{"--pty", "--bogus"}, 2, "unknown argument"},
        {{"ctl", "/nonexistent/ctl", "frames"}, 2, "cannot connect"},
        {{"--help"}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.back());
        SRun r = RunSim(c.args);
        EXPECT_EQ(c.status, r.status);
        EXPECT_NE(std::string::npos, r.err.find(c.errText)) << r.err;
    }
    SRun help = RunSim({"--help"});
    for (const char* word :
         {"fault split GAP_MS [AT]", "event add", "drive N fail|ok|remove|insert", "--time-scale"})
        EXPECT_NE(std::string::npos, help.out.find(word)) << word;

    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    SRun ok = RunSim({"ctl", sim.CtlPath(), "event", "add", "2", "12", "0", "Vol0"});
    EXPECT_EQ(0, ok.status);
    EXPECT_EQ("ok\n", ok.out);
    SRun err = RunSim({"ctl", sim.CtlPath(), "fan", "9", "stop"});
    EXPECT_EQ(1, err.status);
    EXPECT_EQ("err", err.out.substr(0, 3));
    EXPECT_EQ("ok 6", sim.Ctl("event-index"));
}

} // namespace

namespace {

TEST(SimProcess, StateLineArrivesWholeEvenWhenLarge) {
    // Ten pages of 60000 bytes: far more than a socket buffer holds.
    std::string pages;
    for (char c = 'a'; c < 'k'; ++c)
        pages += std::string(pages.empty() ? "" : ",") + "\"/" + c +
                 R"(": {"body": "0123456789", "repeat": 6000})";
    SScratch big{WriteTemp("big.json", "{\"webPages\": {" + pages + "}}")};
    CSimProcess::Options o;
    o.scenario = big.path;
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    ASSERT_EQ("", sim.Ctl("fan 1 stop").substr(2));
    std::string state = sim.Ctl("state");
    EXPECT_GT(state.size(), 600000u);
    EXPECT_EQ("ok {", state.substr(0, 4));
    EXPECT_EQ('}', state.back());
    EXPECT_NE(std::string::npos, state.find(R"("fanStopped":[true,false])"));
}

} // namespace
