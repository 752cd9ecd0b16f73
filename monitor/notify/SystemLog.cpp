#include "SystemLog.h"

#include "TextSafety.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Closes the descriptor at the end of the scope.
class CSocket {
public:
    explicit CSocket(int fd) : m_fd(fd) {}
    ~CSocket() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

bool ConnectUnix(int fd, const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        return false;
    }
    std::memcpy(addr.sun_path, path.data(), path.size());
    return connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

} // namespace

int SyslogSeverity(int eventType) {
    switch (eventType) {
    case EVENTLOG_ERROR_TYPE:
        return 3; // LOG_ERR
    case EVENTLOG_WARNING_TYPE:
        return 4; // LOG_WARNING
    default:
        return 6; // LOG_INFO
    }
}

std::string FormatSyslogRecord(int eventType, std::uint32_t eventId, std::string_view text,
                               const std::tm& local, int pid) {
    // Month names in English whatever the locale: the format is fixed.
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int month = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
    constexpr int kFacilityUser = 1;
    char head[96];
    std::snprintf(head, sizeof head, "<%d>%s %2d %02d:%02d:%02d %s[%d]: [0x%08X] ",
                  kFacilityUser * 8 + SyslogSeverity(eventType), kMonths[month], local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec, kSyslogIdentifier, pid,
                  static_cast<unsigned>(eventId));
    return head + OneLineText(text.substr(0, kSyslogTextMax));
}

bool SendSyslogRecord(const std::string& path, std::string_view record) {
    {
        CSocket fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (fd.Get() < 0) {
            return false;
        }
        if (ConnectUnix(fd.Get(), path)) {
            return send(fd.Get(), record.data(), record.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(record.size());
        }
        if (errno != EPROTOTYPE) {
            return false;
        }
    }
    // A stream socket takes records ended by a zero byte.
    CSocket fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0 || !ConnectUnix(fd.Get(), path)) {
        return false;
    }
    std::string framed(record);
    framed.push_back('\0');
    std::string_view left(framed);
    while (!left.empty()) {
        const ssize_t sent = send(fd.Get(), left.data(), left.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        left.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}
