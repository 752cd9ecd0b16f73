// The metrics endpoint: its request reader, the page's labels and series, and the server
// against real sockets on loopback (answers, refusals, limits, time-outs).
#include "HeadlessOptions.h"
#include "MetricsPage.h"
#include "MetricsRequest.h"
#include "MetricsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(MetricsRequestTest, Verdicts) {
    const struct {
        const char* name;
        std::string bytes;
        std::size_t limit;
        EMetricsRequest want;
    } cases[] = {
        {"curl's request", "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1:9\r\nAccept: */*\r\n\r\n",
         8192, EMetricsRequest::Metrics},
        {"bare LF line ends, HTTP/1.0", "GET /metrics HTTP/1.0\n\n", 8192,
         EMetricsRequest::Metrics},
        {"a query string", "GET /metrics?name[]=x HTTP/1.1\r\n\r\n", 8192,
         EMetricsRequest::Metrics},
        {"HEAD", "HEAD /metrics HTTP/1.1\r\n\r\n", 8192, EMetricsRequest::MetricsHead},
        {"header not ended yet", "GET /metrics HTTP/1.1\r\nHost: x\r\n", 8192,
         EMetricsRequest::Incomplete},
        {"request line not ended yet", "GET /metr", 8192, EMetricsRequest::Incomplete},
        {"nothing yet", "", 8192, EMetricsRequest::Incomplete},
        {"another path", "GET / HTTP/1.1\r\n\r\n", 8192, EMetricsRequest::NotFound},
        {"a longer path", "GET /metrics/x HTTP/1.1\r\n\r\n", 8192, EMetricsRequest::NotFound},
        {"POST", "POST /metrics HTTP/1.1\r\n\r\n", 8192, EMetricsRequest::BadMethod},
        {"lower-case method", "get /metrics HTTP/1.1\r\n\r\n", 8192, EMetricsRequest::Malformed},
        {"HTTP/2 preface", "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", 8192, EMetricsRequest::Malformed},
        {"HTTP/2.0 with a path", "GET /metrics HTTP/2.0\r\n\r\n", 8192,
         EMetricsRequest::BadVersion},
        // Refused at the first line, without waiting for a header that may never end.
        {"TLS hello", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\n", 12), 8192,
         EMetricsRequest::Malformed},
        {"no version", "GET /metrics\r\n", 8192, EMetricsRequest::Malformed},
        {"two spaces", "GET  /metrics HTTP/1.1\r\n", 8192, EMetricsRequest::Malformed},
        {"absolute form", "GET http://x/metrics HTTP/1.1\r\n", 8192, EMetricsRequest::Malformed},
        {"control byte in the target", std::string("GET /metr\x01ics HTTP/1.1\r\n"), 8192,
         EMetricsRequest::Malformed},
        {"field without colon", "GET /metrics HTTP/1.1\r\nHost\r\n\r\n", 8192,
         EMetricsRequest::Malformed},
        {"folded field", "GET /metrics HTTP/1.1\r\nA: b\r\n  c\r\n\r\n", 8192,
         EMetricsRequest::Malformed},
        {"CR inside a field", "GET /metrics HTTP/1.1\r\nA: b\rc\r\n\r\n", 8192,
         EMetricsRequest::Malformed},
        {"exactly the limit", "GET /metrics HTTP/1.1\r\n\r\n", 25, EMetricsRequest::Metrics},
        {"one byte over the limit", "GET /metrics HTTP/1.1\r\n\r\n", 24, EMetricsRequest::TooLarge},
        {"endless request line", std::string(100, 'G'), 64, EMetricsRequest::TooLarge},
        {"endless fields",
         "GET /metrics HTTP/1.1\r\n" + std::string(60, 'a') + ": b\r\n" + std::string(60, 'a'), 100,
         EMetricsRequest::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadMetricsRequest(c.bytes, c.limit), c.want);
    }
}

TEST(MetricsPageTest, LabelValues) {
    const struct {
        std::string text;
        std::string want;
    } cases[] = {
        {"VNS0100001", "VNS0100001"}, {std::string("ARC-1\0junk", 10), "ARC-1"},
        {"SN 42   ", "SN 42"},        {"a\"b\\c\nd", "a\\\"b\\\\c\\nd"},
        {"\xe9t\xff\x01", "?t??"},    {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MetricsLabelValue(c.text), c.want) << c.text;
}

bool HasLine(const std::string& page, const std::string& line) {
    return ("\n" + page).find("\n" + line + "\n") != std::string::npos;
}

// Series that have no value yet are left out rather than shown as 0: a poll that never ended
// is no successful poll of length 0.
TEST(MetricsPageTest, SeriesWithoutAValueYetAreLeftOut) {
    SMetricsSnapshot s;
    SAgentMetrics fresh;
    fresh.address = "127.0.0.2";
    fresh.serial = "S1";
    fresh.model = "M1";
    fresh.state = 1;
    SAgentMetrics polled = fresh;
    polled.address = "127.0.0.3";
    polled.polls = 3;
    polled.lastPollStatus = 0x20;
    polled.lastPollSeconds = 1.5;
    polled.state = 4;
    s.agents = {fresh, polled};
    s.alarmsError = 2;
    s.deliveries.mailsFailed = 1;
    const std::string page = RenderMetrics(s);
    const std::string a = R"({address="127.0.0.2",serial="S1",model="M1"})";
    const std::string b = R"({address="127.0.0.3",serial="S1",model="M1"})";
    EXPECT_TRUE(HasLine(page, "quillht_agents 2")) << page;
    EXPECT_TRUE(HasLine(page, "quillht_agent_state" + b + " 4")) << page;
    EXPECT_TRUE(HasLine(page, "quillht_agent_last_poll_success" + b + " 0")) << page;
    EXPECT_TRUE(HasLine(page, "quillht_agent_last_poll_status" + b + " 32")) << page;
    EXPECT_TRUE(HasLine(page, "quillht_agent_last_poll_duration_seconds" + b + " 1.500000"));
    EXPECT_EQ(page.find("quillht_agent_last_poll_success" + a), std::string::npos) << page;
    EXPECT_EQ(page.find("quillht_agent_last_poll_duration_seconds" + a), std::string::npos);
    EXPECT_TRUE(HasLine(page, "quillht_agent_polls_total" + a + " 0")) << page;
    EXPECT_TRUE(HasLine(page, R"(quillht_alarms_total{level="error"} 2)")) << page;
    EXPECT_TRUE(HasLine(page, R"(quillht_mails_total{result="failed"} 1)")) << page;
    EXPECT_EQ(page.find("\nquillht_last_discovery_duration_seconds "), std::string::npos);
    s.discoveries = 1;
    s.lastDiscoverySeconds = 0.25;
    EXPECT_TRUE(HasLine(RenderMetrics(s), "quillht_last_discovery_duration_seconds 0.250000"));
}

class CNullSink final : public IAlarmSink {
public:
    void NotifyAlarm(int, const std::string&, std::stop_token) override { ++notified; }
    void ReportSystemEvent(int, std::uint32_t, const std::string&) override { ++reported; }
    bool WriteLogLine(std::string_view) override { return true; }
    int notified = 0;
    int reported = 0;
};

TEST(MetricsPageTest, AlarmCounterCountsByLevelAndPassesEverythingOn) {
    CNullSink next;
    CAlarmCounter counter(next);
    for (const int type : {SYSLOG_ERROR, SYSLOG_ERROR, SYSLOG_WARNING, 3, SYSLOG_INFORMATION})
        counter.ReportSystemEvent(type, 0, "x");
    counter.NotifyAlarm(1, "x", {});
    EXPECT_EQ(counter.Count(SYSLOG_ERROR), 2u);
    EXPECT_EQ(counter.Count(SYSLOG_WARNING), 1u);
    EXPECT_EQ(counter.Count(SYSLOG_INFORMATION), 1u);
    EXPECT_EQ(next.reported, 5);
    EXPECT_EQ(next.notified, 1);
}

TEST(MetricsOptionsTest, AddressAndHeadlessOnly) {
    const struct {
        std::vector<const char*> args;
        ECommandLine want;
        int port;
    } cases[] = {
        {{"--headless", "--metrics", "127.0.0.1:9100"}, ECommandLine::Run, 9100},
        {{"--headless", "--metrics", "0.0.0.0:0"}, ECommandLine::Run, 0},
        {{"--metrics", "127.0.0.1:9100"}, ECommandLine::Error, 0},
        {{"--headless", "--metrics", "127.0.0.1"}, ECommandLine::Error, 0},
        {{"--headless", "--metrics", "127.0.0.1:65536"}, ECommandLine::Error, 0},
        {{"--headless", "--metrics", "127.0.0.1:-1"}, ECommandLine::Error, 0},
        {{"--headless", "--metrics", "localhost:9100"}, ECommandLine::Error, 0},
        {{"--headless", "--metrics", ":9100"}, ECommandLine::Error, 0},
        {{"--headless", "--metrics"}, ECommandLine::Error, 0},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"QuillHT"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        SHeadlessOptions options;
        std::string error;
        EXPECT_EQ(ParseCommandLine(static_cast<int>(argv.size()), argv.data(), options, error),
                  c.want)
            << c.args.back();
        if (c.want == ECommandLine::Run) {
            EXPECT_TRUE(options.metrics);
            EXPECT_EQ(options.metricsPort, c.port);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

// A client on loopback.
class CClient {
public:
    explicit CClient(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~CClient() { ::close(m_fd); }
    bool Connected() const { return m_connected; }
    bool Send(const std::string& bytes) {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Everything until the server closes or `limit` passes.
    std::string ReadAll(std::chrono::milliseconds limit = 3000ms) {
        std::string got;
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            char buffer[65536];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int m_fd;
    bool m_connected = false;
};

std::string StatusLine(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n"));
}

struct SServerRig {
    explicit SServerRig(SMetricsServerLimits limits = {})
        : server(
              [this] {
                  ++pages;
                  return std::string("quillht_agents 0\n");
              },
              limits) {
        std::string error;
        started = server.Start(htonl(INADDR_LOOPBACK), 0, error);
    }
    std::atomic<int> pages{0};
    CMetricsServer server;
    bool started = false;
};

TEST(MetricsServerTest, AnswersAndRefusals) {
    SServerRig rig;
    ASSERT_TRUE(rig.started);
    const struct {
        std::string request;
        const char* status;
        bool body; // the page is in the answer
    } cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK", true},
        {"HEAD /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", false},
        {"GET /secret HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", false},
        {"DELETE /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", false},
        {"\x16\x03\x01 hello\r\n", "HTTP/1.1 400 Bad Request", false},
        {"GET /metrics HTTP/1.1\r\nX: " + std::string(20000, 'y') + "\r\n\r\n",
         "HTTP/1.1 431 Request Header Fields Too Large", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(StatusLine(c.request).substr(0, 40));
        CClient client(rig.server.Port());
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send(c.request));
        const std::string answer = client.ReadAll();
        EXPECT_EQ(StatusLine(answer), c.status);
        EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
        EXPECT_EQ(answer.find("quillht_agents 0\n") != std::string::npos, c.body) << answer;
    }
    EXPECT_EQ(rig.pages, 2);
}

// A client that connects and sends nothing (or too little) holds a slot only until the
// request time-out, gets 408, and the server keeps serving others meanwhile.
TEST(MetricsServerTest, SlowClientsAreRefusedAndDoNotBlockOthers) {
    SMetricsServerLimits limits;
    limits.maxConnections = 2;
    limits.requestTimeout = 300ms;
    SServerRig rig(limits);
    ASSERT_TRUE(rig.started);
    const auto start = Clock::now();
    CClient silent(rig.server.Port());
    CClient partial(rig.server.Port());
    ASSERT_TRUE(partial.Send("GET /metrics HTTP/1.1\r\n"));
    // Both slots taken: a third is turned away at once, not queued.
    {
        CClient third(rig.server.Port());
        ASSERT_TRUE(third.Send("GET /metrics HTTP/1.1\r\n\r\n"));
        EXPECT_EQ(StatusLine(third.ReadAll(1000ms)), "HTTP/1.1 503 Service Unavailable");
        EXPECT_LT(Clock::now() - start, 250ms);
    }
    EXPECT_EQ(StatusLine(silent.ReadAll()), "HTTP/1.1 408 Request Timeout");
    EXPECT_EQ(StatusLine(partial.ReadAll()), "HTTP/1.1 408 Request Timeout");
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 2000ms);
    // The slots are free again.
    CClient after(rig.server.Port());
    ASSERT_TRUE(after.Send("GET /metrics HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(StatusLine(after.ReadAll()), "HTTP/1.1 200 OK");
}

// A page larger than the socket buffers, to a client that reads nothing: the answer is
// dropped after the write time-out, and Stop() never waits on such a client.
TEST(MetricsServerTest, ClientThatDoesNotReadIsDroppedAndStopIsPrompt) {
    SMetricsServerLimits limits;
    limits.writeTimeout = 300ms;
    CMetricsServer server([] { return std::string(32 << 20, '#'); }, limits);
    std::string error;
    ASSERT_TRUE(server.Start(htonl(INADDR_LOOPBACK), 0, error)) << error;
    CClient stuck(server.Port());
    ASSERT_TRUE(stuck.Send("GET /metrics HTTP/1.1\r\n\r\n"));
    std::this_thread::sleep_for(600ms);
    // Dropped: what is left to read ends well short of the page.
    const std::string got = stuck.ReadAll(2000ms);
    EXPECT_EQ(StatusLine(got), "HTTP/1.1 200 OK");
    EXPECT_LT(got.size(), std::size_t{32 << 20});
    CClient idle(server.Port());
    ASSERT_TRUE(idle.Connected());
    const auto start = Clock::now();
    server.Stop();
    EXPECT_LT(Clock::now() - start, 500ms);
}

TEST(MetricsServerTest, BusyPortIsAnErrorWithItsReason) {
    SServerRig first;
    ASSERT_TRUE(first.started);
    CMetricsServer second([] { return std::string(); });
    std::string error;
    EXPECT_FALSE(second.Start(htonl(INADDR_LOOPBACK), first.server.Port(), error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1:" + std::to_string(first.server.Port())),
              std::string::npos)
        << error;
}

} // namespace
