#include "SimServer.h"

#include "SimServe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace vrnsim {

namespace {

constexpr size_t kPaceChunk = 16;
// Replies nobody reads pile up on the line; past this much the newest are thrown away.
constexpr size_t kPtyQueueLimit = 4 << 20;

int64_t LineTimeUs(size_t bytes) {
    return static_cast<int64_t>(bytes) * 1'000'000 / 11'520;
}

void SetNonBlocking(int fd) {
    int fl = fcntl(fd, F_GETFL);
    if (fl >= 0)
        fcntl(fd, F_SETFL, fl | O_NONBLOCK);
}

} // namespace

int64_t MonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

CSimServer::CSimServer(CSimModel& model, CFaults& faults, SServerOptions opt)
    : m_model(model), m_faults(faults), m_opt(std::move(opt)), m_control(model, faults, m_counters),
      m_ctl([this](const std::string& line, int64_t nowUs) {
          return m_control.Execute(line, nowUs / 1000);
      }) {}

CSimServer::~CSimServer() {
    if (m_linkMade)
        unlink(m_opt.link.c_str());
    if (m_udp >= 0)
        close(m_udp);
    if (m_slave >= 0)
        close(m_slave);
    if (m_master >= 0)
        close(m_master);
}

bool CSimServer::Start(std::string& err) {
    if (m_opt.pty && !OpenPty(err))
        return false;
    if (m_opt.udp && !OpenUdp(err))
        return false;
    if (!m_opt.ctlPath.empty() && !m_ctl.Open(m_opt.ctlPath, err))
        return false;
    return true;
}

bool CSimServer::OpenPty(std::string& err) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        err = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        err = "cannot name the pseudo-terminal";
        return false;
    }
    m_ptyPath = name;
    // Our own slave descriptor keeps the line up while clients come and go, and makes the
    // line raw from the start for clients that adopt a descriptor without configuring it.
    m_slave = open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0) {
        err = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return false;
    }
    termios t{};
    tcgetattr(m_slave, &t);
    cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(m_slave, TCSANOW, &t);
    SetNonBlocking(m_master);
    if (!m_opt.link.empty()) {
        struct stat st {};
        if (lstat(m_opt.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                err = m_opt.link + " exists and is not a symbolic link";
                return false;
            }
            unlink(m_opt.link.c_str());
        }
        if (symlink(name, m_opt.link.c_str()) != 0) {
            err = "cannot link " + m_opt.link + ": " + std::strerror(errno);
            return false;
        }
        m_linkMade = true;
    }
    return true;
}

bool CSimServer::OpenUdp(std::string& err) {
    m_udp = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(m_opt.udpPort));
    if (m_udp < 0 || inet_pton(AF_INET, m_opt.udpAddr.c_str(), &a.sin_addr) != 1) {
        err = "bad UDP address " + m_opt.udpAddr;
        return false;
    }
    if (bind(m_udp, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        err = "cannot bind UDP " + m_opt.udpAddr + ":" + std::to_string(m_opt.udpPort) + ": " +
              std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof m_udpBound;
    getsockname(m_udp, reinterpret_cast<sockaddr*>(&m_udpBound), &len);
    return true;
}

std::string CSimServer::UdpBound() const {
    char ip[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &m_udpBound.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(m_udpBound.sin_port));
}

void CSimServer::Collect(CFrameCollector& line, std::span<const uint8_t> data, int64_t nowUs,
                         EOrigin origin, const sockaddr_in* from) {
    auto before = line.Stats();
    std::vector<Bytes> frames;
    line.Feed(data, nowUs / 1000, frames);
    auto after = line.Stats();
    m_counters.bytes += data.size();
    m_counters.junkBytes += after.junkBytes - before.junkBytes;
    m_counters.abandoned += after.abandoned - before.abandoned;
    for (const Bytes& f : frames)
        Serve(f, origin, from, nowUs);
}

void CSimServer::ExpireLines(int64_t nowUs) {
    for (CFrameCollector* line : {&m_serialLine, &m_udpLine}) {
        auto before = line->Stats().abandoned;
        line->Expire(nowUs / 1000);
        m_counters.abandoned += line->Stats().abandoned - before;
    }
}

void CSimServer::Serve(const Bytes& frame, EOrigin origin, const sockaddr_in* from, int64_t nowUs) {
    SReplyPlan plan;
    if (!PlanReply(m_model, m_faults, m_counters, frame, origin == EOrigin::Udp, nowUs, plan))
        return;
    if (origin == EOrigin::Pty)
        QueuePty(plan, nowUs);
    else if (from)
        QueueUdp(plan, *from, nowUs);
}

void CSimServer::QueuePty(const SReplyPlan& plan, int64_t nowUs) {
    size_t queued = 0;
    for (const SChunk& c : m_ptyOut)
        queued += c.data.size() - c.off;
    if (queued + plan.first.size() + plan.second.size() > kPtyQueueLimit) {
        ++m_counters.unsent;
        return;
    }
    // With --pace a burst leaves in small chunks, each after the line time (115200 baud,
    // 10 bits a byte) of the chunk before it. Returns the size of the burst's last chunk.
    auto add = [&](const Bytes& burst, bool armed, int64_t notBeforeUs, int64_t gapUs) {
        size_t step = m_opt.pace ? kPaceChunk : std::max<size_t>(burst.size(), 1);
        size_t prev = 0;
        for (size_t at = 0; at < burst.size(); at += step) {
            Bytes part(burst.begin() + static_cast<std::ptrdiff_t>(at),
                       burst.begin() +
                           static_cast<std::ptrdiff_t>(std::min(burst.size(), at + step)));
            if (at == 0)
                m_ptyOut.push_back({part, 0, notBeforeUs, gapUs, armed});
            else
                m_ptyOut.push_back({part, 0, 0, LineTimeUs(prev), false});
            prev = part.size();
        }
        return prev;
    };
    size_t last = add(plan.first, true, nowUs + plan.delayMs * 1000, 0);
    if (!plan.second.empty())
        add(plan.second, false, 0, plan.gapMs * 1000 + (m_opt.pace ? LineTimeUs(last) : 0));
}

void CSimServer::QueueUdp(const SReplyPlan& plan, const sockaddr_in& to, int64_t nowUs) {
    int64_t due = nowUs + plan.delayMs * 1000;
    m_udpOut.push_back({due, to, plan.first});
    if (!plan.second.empty())
        m_udpOut.push_back({due + plan.gapMs * 1000, to, plan.second});
}

void CSimServer::ReadPty(int64_t nowUs) {
    uint8_t buf[4096];
    for (;;) {
        ssize_t n = read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        Collect(m_serialLine, std::span<const uint8_t>(buf, static_cast<size_t>(n)), nowUs,
                EOrigin::Pty, nullptr);
    }
}

void CSimServer::WritePty(int64_t nowUs) {
    while (!m_ptyOut.empty()) {
        SChunk& c = m_ptyOut.front();
        if (!c.armed) {
            c.notBeforeUs = nowUs + c.gapUs;
            c.armed = true;
        }
        if (c.notBeforeUs > nowUs)
            return;
        ssize_t n = write(m_master, c.data.data() + c.off, c.data.size() - c.off);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                return;
            m_ptyOut.clear(); // the line is gone; nothing more can be delivered
            return;
        }
        c.off += static_cast<size_t>(n);
        if (c.off < c.data.size())
            return;
        m_ptyOut.pop_front();
        // The next chunk's gap counts from the moment this one left.
        if (!m_ptyOut.empty() && !m_ptyOut.front().armed) {
            m_ptyOut.front().notBeforeUs = nowUs + m_ptyOut.front().gapUs;
            m_ptyOut.front().armed = true;
        }
    }
}

void CSimServer::ReadUdp(int64_t nowUs) {
    uint8_t buf[kUdpReceiveMax];
    for (int i = 0; i < 64; ++i) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(m_udp, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0)
            return;
        std::span<const uint8_t> d(buf, static_cast<size_t>(n));
        switch (ClassifyDatagram(d)) {
        case EDatagram::Drop:
            ++m_counters.udpDropped;
            continue;
        case EDatagram::PortQuery: {
            Bytes reply = PortReply(m_opt.httpPort);
            sendto(m_udp, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                   sizeof from);
            continue;
        }
        case EDatagram::Unanswered:
            continue;
        case EDatagram::Relay:
            break;
        }
        Collect(m_udpLine, d, nowUs, EOrigin::Udp, &from);
    }
}

void CSimServer::SendDueDatagrams(int64_t nowUs) {
    for (size_t i = 0; i < m_udpOut.size();) {
        if (m_udpOut[i].dueUs <= nowUs) {
            const SDatagram& d = m_udpOut[i];
            sendto(m_udp, d.data.data(), d.data.size(), 0, reinterpret_cast<const sockaddr*>(&d.to),
                   sizeof d.to);
            m_udpOut.erase(m_udpOut.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

int CSimServer::PollTimeoutMs(int64_t nowUs) const {
    int64_t wait = 100'000; // model tasks move on even when nobody asks
    auto consider = [&](int64_t dueUs) {
        wait = std::min(wait, std::max<int64_t>(0, dueUs - nowUs));
    };
    if (!m_ptyOut.empty() && m_ptyOut.front().armed)
        consider(m_ptyOut.front().notBeforeUs);
    for (const SDatagram& d : m_udpOut)
        consider(d.dueUs);
    for (const CFrameCollector* line : {&m_serialLine, &m_udpLine}) {
        int64_t ms = line->MsUntilExpiry(nowUs / 1000);
        if (ms >= 0)
            consider(nowUs + ms * 1000 + 1000);
    }
    if (int64_t due = m_ctl.NextDueUs(); due >= 0)
        consider(due);
    return static_cast<int>((wait + 999) / 1000);
}

void CSimServer::Run(const volatile std::sig_atomic_t* stop) {
    while (!*stop) {
        int64_t nowUs = MonotonicUs();
        std::vector<pollfd> fds;
        int iMaster = -1, iUdp = -1;
        if (m_master >= 0) {
            iMaster = static_cast<int>(fds.size());
            short ev = POLLIN;
            if (!m_ptyOut.empty() &&
                (!m_ptyOut.front().armed || m_ptyOut.front().notBeforeUs <= nowUs))
                ev |= POLLOUT;
            fds.push_back({m_master, ev, 0});
        }
        if (m_udp >= 0) {
            iUdp = static_cast<int>(fds.size());
            fds.push_back({m_udp, POLLIN, 0});
        }
        size_t iCtl = fds.size();
        m_ctl.AddPollFds(fds);
        int rc = poll(fds.data(), fds.size(), PollTimeoutMs(nowUs));
        if (rc < 0 && errno != EINTR)
            break;
        nowUs = MonotonicUs();
        if (rc > 0) {
            if (iMaster >= 0 && (fds[iMaster].revents & POLLIN))
                ReadPty(nowUs);
            if (iUdp >= 0 && (fds[iUdp].revents & POLLIN))
                ReadUdp(nowUs);
        }
        m_ctl.Service(fds.data() + iCtl, fds.size() - iCtl, nowUs);
        ExpireLines(nowUs);
        m_model.Tick(nowUs / 1000);
        if (m_master >= 0)
            WritePty(nowUs);
        if (m_udp >= 0)
            SendDueDatagrams(nowUs);
    }
}

} // namespace vrnsim
