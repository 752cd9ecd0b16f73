#include "SimFleet.h"

#include "SimServe.h"
#include "SimServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vrnsim {

namespace {

constexpr int kHostsPerBlock = 254;
constexpr int64_t kTickUs = 1'000'000;
constexpr int kReadBurst = 64;
constexpr size_t kMaxPollGaps = 4u << 20;
constexpr uint8_t kPollEventCode = 0x19;
constexpr uint8_t kIdentifyCode = 0x13;

bool ParseV4(const std::string& s, uint32_t& hostOrder) {
    in_addr a{};
    if (inet_pton(AF_INET, s.c_str(), &a) != 1)
        return false;
    hostOrder = ntohl(a.s_addr);
    return true;
}

std::string V4Text(uint32_t hostOrder) {
    in_addr a{htonl(hostOrder)};
    char buf[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    std::string s;
    while (in >> s)
        w.push_back(s);
    return w;
}

// The rest of the line after its first n words, blanks inside kept (passwords, event texts).
std::string After(const std::string& line, size_t n) {
    size_t at = 0;
    for (size_t i = 0; i < n; ++i) {
        at = line.find_first_not_of(' ', at);
        at = line.find(' ', at);
        if (at == std::string::npos)
            return "";
    }
    size_t start = line.find_first_not_of(' ', at);
    return start == std::string::npos ? "" : line.substr(start);
}

std::string Ms(int64_t us) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(us) / 1000.0);
    return buf;
}

// Raises the descriptor limit to what `need` descriptors take, as far as the hard limit allows.
bool EnsureDescriptors(size_t need, std::string& err) {
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return true;
    if (rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur >= need)
        return true;
    if (rl.rlim_max != RLIM_INFINITY && rl.rlim_max < need) {
        err = "a fleet this size needs " + std::to_string(need) +
              " descriptors; the hard limit is " + std::to_string(rl.rlim_max);
        return false;
    }
    rl.rlim_cur = need;
    if (setrlimit(RLIMIT_NOFILE, &rl) != 0) {
        err = std::string("cannot raise the descriptor limit: ") + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

bool FleetAddress(const std::string& base, int k, std::string& out) {
    uint32_t b = 0;
    if (k < 0 || !ParseV4(base, b))
        return false;
    uint32_t third = ((b >> 8) & 0xFF) + static_cast<uint32_t>(k / kHostsPerBlock);
    if (third > 255)
        return false;
    uint32_t host = 1 + static_cast<uint32_t>(k % kHostsPerBlock);
    out = V4Text((b & 0xFFFF0000u) | third << 8 | host);
    return true;
}

int FleetIndex(const std::string& base, const std::string& addr) {
    uint32_t b = 0, a = 0;
    if (!ParseV4(base, b) || !ParseV4(addr, a) || (a & 0xFFFF0000u) != (b & 0xFFFF0000u))
        return -1;
    int third = static_cast<int>((a >> 8) & 0xFF) - static_cast<int>((b >> 8) & 0xFF);
    int host = static_cast<int>(a & 0xFF);
    if (third < 0 || host < 1 || host > kHostsPerBlock)
        return -1;
    return third * kHostsPerBlock + host - 1;
}

CSimFleet::CSimFleet(const SScenario& sc, SFleetOptions opt)
    : m_opt(std::move(opt)),
      m_ctl([this](const std::string& line, int64_t nowUs) { return Execute(line, nowUs); }) {
    int64_t nowMs = MonotonicUs() / 1000;
    m_agents.reserve(static_cast<size_t>(std::max(0, m_opt.count)));
    for (int k = 0; k < m_opt.count; ++k) {
        // Each controller tells itself apart by its serial number and MAC address.
        SScenario own = sc;
        char serial[17];
        std::snprintf(serial, sizeof serial, "VRNF%08d", k + 1);
        own.sys.serial = serial;
        own.sys.mac[4] = static_cast<uint8_t>((k + 1) >> 8);
        own.sys.mac[5] = static_cast<uint8_t>(k + 1);
        m_agents.push_back(std::make_unique<SAgent>(std::move(own), m_opt.timeScale, nowMs,
                                                    m_opt.seed + static_cast<uint32_t>(k)));
    }
}

CSimFleet::~CSimFleet() {
    for (uint32_t k = 0; k < m_agents.size(); ++k)
        Unbind(k);
    if (m_epoll >= 0)
        close(m_epoll);
}

std::string CSimFleet::Address(size_t k) const {
    std::string a;
    FleetAddress(m_opt.base, static_cast<int>(k), a);
    return a;
}

bool CSimFleet::Start(std::string& err) {
    if (m_opt.count < 1) {
        err = "a fleet needs at least one agent";
        return false;
    }
    std::string last;
    if (!FleetAddress(m_opt.base, m_opt.count - 1, last)) {
        err = std::to_string(m_opt.count) + " agents do not fit in " + m_opt.base + "/16";
        return false;
    }
    if (!EnsureDescriptors(m_agents.size() + 64, err))
        return false;
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0) {
        err = std::string("epoll: ") + std::strerror(errno);
        return false;
    }
    for (uint32_t k = 0; k < m_agents.size(); ++k)
        if (!Bind(k, err))
            return false;
    if (!m_opt.ctlPath.empty() && !m_ctl.Open(m_opt.ctlPath, err))
        return false;
    return true;
}

bool CSimFleet::Bind(uint32_t k, std::string& err) {
    SAgent& a = *m_agents[k];
    if (a.fd >= 0)
        return true;
    std::string text = Address(k);
    a.addr.sin_family = AF_INET;
    a.addr.sin_port = htons(static_cast<uint16_t>(m_opt.port));
    inet_pton(AF_INET, text.c_str(), &a.addr.sin_addr);
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a.addr), sizeof a.addr) != 0) {
        err = "cannot bind UDP " + text + ":" + std::to_string(m_opt.port) + ": " +
              std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u32 = k;
    if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
        err = std::string("epoll: ") + std::strerror(errno);
        close(fd);
        return false;
    }
    a.fd = fd;
    return true;
}

void CSimFleet::Unbind(uint32_t k) {
    SAgent& a = *m_agents[k];
    if (a.fd < 0)
        return;
    if (m_epoll >= 0)
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, a.fd, nullptr);
    close(a.fd);
    a.fd = -1;
}

void CSimFleet::Note(SAgent& a, const Bytes& frame, int64_t nowUs) {
    if (frame.size() < 7)
        return;
    if (frame[5] == kIdentifyCode && a.firstIdentifyUs < 0)
        a.firstIdentifyUs = nowUs;
    if (frame[5] != kPollEventCode)
        return;
    if (a.firstPollUs < 0)
        a.firstPollUs = nowUs;
    if (a.lastPollUs >= 0) {
        if (m_pollGaps.size() < kMaxPollGaps)
            m_pollGaps.push_back(static_cast<uint32_t>(
                std::min<int64_t>(nowUs - a.lastPollUs, static_cast<int64_t>(UINT32_MAX))));
        else
            ++m_pollGapsLost;
    }
    a.lastPollUs = nowUs;
    ++a.polls;
}

void CSimFleet::ReadAgent(uint32_t k, int64_t nowUs) {
    SAgent& a = *m_agents[k];
    uint8_t buf[kUdpReceiveMax];
    for (int i = 0; i < kReadBurst && a.fd >= 0; ++i) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(a.fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0)
            return;
        std::span<const uint8_t> d(buf, static_cast<size_t>(n));
        switch (ClassifyDatagram(d)) {
        case EDatagram::Drop:
            ++a.counters.udpDropped;
            continue;
        case EDatagram::PortQuery: {
            Bytes reply = PortReply(m_opt.httpPort);
            sendto(a.fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                   sizeof from);
            continue;
        }
        case EDatagram::Unanswered:
            continue;
        case EDatagram::Relay:
            break;
        }
        auto before = a.line.Stats();
        std::vector<Bytes> frames;
        a.line.Feed(d, nowUs / 1000, frames);
        auto after = a.line.Stats();
        a.counters.bytes += d.size();
        a.counters.junkBytes += after.junkBytes - before.junkBytes;
        a.counters.abandoned += after.abandoned - before.abandoned;
        if (a.line.Pending() > 0)
            m_partial.insert(k);
        else
            m_partial.erase(k);
        for (const Bytes& f : frames) {
            Note(a, f, nowUs);
            SReplyPlan plan;
            if (!PlanReply(a.model, a.faults, a.counters, f, true, nowUs, plan))
                continue;
            int64_t due = nowUs + plan.delayMs * 1000;
            m_out.push({due, m_seq++, k, from, std::move(plan.first)});
            if (!plan.second.empty())
                m_out.push({due + plan.gapMs * 1000, m_seq++, k, from, std::move(plan.second)});
        }
    }
}

void CSimFleet::SendDue(int64_t nowUs) {
    while (!m_out.empty() && m_out.top().dueUs <= nowUs) {
        const SOutgoing& o = m_out.top();
        const SAgent& a = *m_agents[o.agent];
        if (a.fd >= 0) // an agent taken down meanwhile sends nothing more
            sendto(a.fd, o.data.data(), o.data.size(), 0, reinterpret_cast<const sockaddr*>(&o.to),
                   sizeof o.to);
        m_out.pop();
    }
}

void CSimFleet::ExpirePartial(int64_t nowUs) {
    for (auto it = m_partial.begin(); it != m_partial.end();) {
        SAgent& a = *m_agents[*it];
        auto before = a.line.Stats().abandoned;
        a.line.Expire(nowUs / 1000);
        a.counters.abandoned += a.line.Stats().abandoned - before;
        it = a.line.Pending() > 0 ? std::next(it) : m_partial.erase(it);
    }
}

int CSimFleet::PollTimeoutMs(int64_t nowUs) const {
    int64_t wait = std::max<int64_t>(0, m_nextTickUs - nowUs);
    auto consider = [&](int64_t dueUs) {
        wait = std::min(wait, std::max<int64_t>(0, dueUs - nowUs));
    };
    if (!m_out.empty())
        consider(m_out.top().dueUs);
    for (uint32_t k : m_partial) {
        int64_t ms = m_agents[k]->line.MsUntilExpiry(nowUs / 1000);
        if (ms >= 0)
            consider(nowUs + ms * 1000 + 1000);
    }
    if (int64_t due = m_ctl.NextDueUs(); due >= 0)
        consider(due);
    return static_cast<int>((wait + 999) / 1000);
}

void CSimFleet::Run(const volatile std::sig_atomic_t* stop) {
    epoll_event events[256];
    while (!*stop) {
        int64_t nowUs = MonotonicUs();
        std::vector<pollfd> fds{{m_epoll, POLLIN, 0}};
        m_ctl.AddPollFds(fds);
        int rc = poll(fds.data(), fds.size(), PollTimeoutMs(nowUs));
        if (rc < 0 && errno != EINTR)
            break;
        nowUs = MonotonicUs();
        if (rc > 0 && (fds[0].revents & POLLIN)) {
            int n = epoll_wait(m_epoll, events, static_cast<int>(std::size(events)), 0);
            for (int i = 0; i < n; ++i)
                ReadAgent(events[i].data.u32, nowUs);
        }
        m_ctl.Service(fds.data() + 1, fds.size() - 1, nowUs);
        ExpirePartial(nowUs);
        if (nowUs >= m_nextTickUs) {
            // Initialisations and checks finish on time even on agents nobody asks.
            for (auto& a : m_agents)
                a->model.Tick(nowUs / 1000);
            m_nextTickUs = nowUs + kTickUs;
        }
        SendDue(nowUs);
    }
}

std::string CSimFleet::HelpText() {
    return "  agents                      how many, the first and the last address\n"
           "  agent K|ADDR COMMAND ...    a controller command on agent K (from 0) or at ADDR\n"
           "  agent K|ADDR down|up        close its socket (a stopped agent) or open it again\n"
           "  all COMMAND ...             a controller command on every agent\n"
           "  polls [reset]               gaps between one agent's successive event-index\n"
           "                              polls over all agents: count, min, p50, p90, p99, max "
           "ms\n"
           "  seen [reset]                agents asked to identify and polled so far, with the\n"
           "                              first and last such moments (monotonic clock, ms)\n"
           "  frames                      request frames over all agents\n"
           "Controller commands:\n" +
           CSimControl::HelpText();
}

std::string CSimFleet::Execute(const std::string& line, int64_t nowUs) {
    std::vector<std::string> w = Words(line);
    if (w.empty())
        return "err empty request";
    const std::string& c = w[0];
    if (c == "agents" && w.size() == 1)
        return "ok " + std::to_string(m_agents.size()) + " " + Address(0) + " " +
               Address(m_agents.size() - 1);
    if (c == "frames" && w.size() == 1) {
        uint64_t sum = 0;
        for (const auto& a : m_agents)
            sum += a->counters.frames;
        return "ok " + std::to_string(sum);
    }
    if (c == "polls" || c == "seen") {
        if (w.size() == 2 && w[1] == "reset") {
            for (auto& a : m_agents) {
                if (c == "polls") {
                    a->lastPollUs = -1;
                    a->polls = 0;
                } else {
                    a->firstIdentifyUs = -1;
                    a->firstPollUs = -1;
                }
            }
            if (c == "polls") {
                m_pollGaps.clear();
                m_pollGapsLost = 0;
            }
            return "ok";
        }
        if (w.size() == 1)
            return c == "polls" ? PollStats() : SeenStats();
        return "err " + c + " takes nothing or `reset`";
    }
    if (c == "agent" && w.size() >= 3)
        return AgentCommand(w, line, nowUs);
    if (c == "all" && w.size() >= 2) {
        std::string rest = After(line, 1);
        for (size_t k = 0; k < m_agents.size(); ++k) {
            SAgent& a = *m_agents[k];
            std::string r = CSimControl(a.model, a.faults, a.counters).Execute(rest, nowUs / 1000);
            if (r.rfind("ok", 0) != 0)
                return "err agent " + std::to_string(k) + ": " + r;
        }
        return "ok " + std::to_string(m_agents.size());
    }
    return "err unknown fleet command: " + c + " (agents, agent, all, polls, seen, frames)";
}

std::string CSimFleet::AgentCommand(const std::vector<std::string>& w, const std::string& line,
                                    int64_t nowUs) {
    int k = -1;
    if (w[1].find('.') != std::string::npos) {
        k = FleetIndex(m_opt.base, w[1]);
    } else {
        auto [p, ec] = std::from_chars(w[1].data(), w[1].data() + w[1].size(), k);
        if (ec != std::errc() || p != w[1].data() + w[1].size())
            k = -1;
    }
    if (k < 0 || static_cast<size_t>(k) >= m_agents.size())
        return "err no agent " + w[1] + " (0.." + std::to_string(m_agents.size() - 1) + ")";
    uint32_t idx = static_cast<uint32_t>(k);
    if (w.size() == 3 && w[2] == "down") {
        Unbind(idx);
        return "ok";
    }
    if (w.size() == 3 && w[2] == "up") {
        std::string err;
        return Bind(idx, err) ? "ok" : "err " + err;
    }
    SAgent& a = *m_agents[idx];
    return CSimControl(a.model, a.faults, a.counters).Execute(After(line, 2), nowUs / 1000);
}

std::string CSimFleet::PollStats() const {
    size_t polled = 0;
    uint64_t fewest = UINT64_MAX, most = 0;
    for (const auto& a : m_agents) {
        polled += a->polls > 0;
        fewest = std::min(fewest, a->polls);
        most = std::max(most, a->polls);
    }
    std::string r = "ok agents=" + std::to_string(m_agents.size()) +
                    " polled=" + std::to_string(polled) + " fewest=" + std::to_string(fewest) +
                    " most=" + std::to_string(most) + " gaps=" + std::to_string(m_pollGaps.size());
    if (m_pollGapsLost)
        r += " unrecorded=" + std::to_string(m_pollGapsLost);
    if (m_pollGaps.empty())
        return r;
    std::vector<uint32_t> g = m_pollGaps;
    std::sort(g.begin(), g.end());
    // Nearest rank: the smallest gap that at least p of all gaps do not exceed.
    auto rank = [&](double p) {
        size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(g.size())));
        return static_cast<int64_t>(g[std::clamp<size_t>(i, 1, g.size()) - 1]);
    };
    r += " min=" + Ms(g.front()) + " p50=" + Ms(rank(0.5)) + " p90=" + Ms(rank(0.9)) +
         " p99=" + Ms(rank(0.99)) + " max=" + Ms(g.back());
    return r;
}

std::string CSimFleet::SeenStats() const {
    size_t identified = 0, polled = 0;
    int64_t firstId = -1, lastId = -1, firstPoll = -1, lastPoll = -1;
    auto span = [](int64_t t, int64_t& lo, int64_t& hi) {
        if (t < 0)
            return;
        lo = lo < 0 ? t : std::min(lo, t);
        hi = std::max(hi, t);
    };
    for (const auto& a : m_agents) {
        identified += a->firstIdentifyUs >= 0;
        polled += a->firstPollUs >= 0;
        span(a->firstIdentifyUs, firstId, lastId);
        span(a->firstPollUs, firstPoll, lastPoll);
    }
    std::string r = "ok agents=" + std::to_string(m_agents.size()) +
                    " identified=" + std::to_string(identified) +
                    " polled=" + std::to_string(polled);
    if (firstId >= 0)
        r += " first-identify=" + Ms(firstId) + " last-identify=" + Ms(lastId);
    if (firstPoll >= 0)
        r += " first-poll=" + Ms(firstPoll) + " last-poll=" + Ms(lastPoll);
    return r;
}

} // namespace vrnsim
