// Serial transport: the session's port descriptor, configured raw with VMIN = VTIME = 0,
// so a read returns at once with whatever has arrived. A reply has no end marker the line
// could rely on, so the read takes a reply to be over at the first quiet poll.
#include <cerrno>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "VrnTransport.h"

namespace {

constexpr int FIRST_WAIT_MS = 50;
constexpr int POLL_INTERVAL_MS = 100;
constexpr int MAX_EMPTY_POLLS = 301; // about 30 s of silence before giving up
constexpr int WRITE_STALL_MS = 1000; // a non-blocking descriptor that stays full this long fails

// What one non-waiting read of the port gave.
enum class EPoll { Data, Empty, Failed };

// A poll with zero time-out first, so that an adopted descriptor that was left blocking or
// canonical never stalls the session; on a port configured by the library this is the same
// as the plain read.
EPoll ReadNow(int fd, unsigned char* buf, int cap, int* got) {
    *got = 0;
    pollfd p = {fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return EPoll::Failed;
    if (ready == 0)
        return EPoll::Empty;
    if (p.revents & POLLNVAL)
        return EPoll::Failed;
    ssize_t n;
    do {
        n = ::read(fd, buf, static_cast<size_t>(cap));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? EPoll::Empty : EPoll::Failed;
    if (n == 0)
        return EPoll::Empty;
    *got = static_cast<int>(n);
    return EPoll::Data;
}

speed_t SpeedOf(unsigned char code) {
    static constexpr speed_t speeds[8] = {B1200,  B2400,  B4800,  B9600,
                                          B19200, B38400, B57600, B115200};
    return speeds[code & 7];
}

} // namespace

namespace vrn {

bool LineAttrValid(const sCOM_ATTR& attr) {
    return attr.comBaudRate <= 7 && attr.comDataBits <= 1 && attr.comStopBits <= 1 &&
           attr.comParity <= 2 && attr.comFlowControl <= 2;
}

bool ConfigureLine(int fd, const sCOM_ATTR& attr) {
    if (!LineAttrValid(attr))
        return false;
    // Start from a cleared record rather than whatever the port was left with, so that no
    // earlier user's line discipline, control characters or flags leak into the session.
    termios current;
    if (::tcgetattr(fd, &current) != 0)
        return false;
    termios tio = {};
    tio.c_cflag = CREAD | CLOCAL | (attr.comDataBits == 1 ? CS8 : CS7);
    if (attr.comStopBits == 1)
        tio.c_cflag |= CSTOPB;
    if (attr.comParity != 0)
        tio.c_cflag |= PARENB | (attr.comParity == 1 ? PARODD : 0);
    if (attr.comFlowControl == 2)
        tio.c_cflag |= CRTSCTS;
    tio.c_iflag = IGNPAR;
    if (attr.comFlowControl == 1)
        tio.c_iflag |= IXON | IXOFF;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, SpeedOf(attr.comBaudRate)) != 0 ||
        ::cfsetospeed(&tio, SpeedOf(attr.comBaudRate)) != 0)
        return false;
    ::tcflush(fd, TCIFLUSH);
    // tcsetattr succeeds when any part of the change took, and some drivers (a
    // pseudo-terminal for one) silently keep 8 bits without parity: read the settings back,
    // and put the earlier ones back when the line does not run as asked.
    termios now;
    constexpr tcflag_t kept = CSIZE | CSTOPB | PARENB | PARODD;
    if (::tcsetattr(fd, TCSANOW, &tio) == 0 && ::tcgetattr(fd, &now) == 0 &&
        (now.c_cflag & kept) == (tio.c_cflag & kept) &&
        ::cfgetospeed(&now) == ::cfgetospeed(&tio) && ::cfgetispeed(&now) == ::cfgetispeed(&tio))
        return true;
    ::tcsetattr(fd, TCSANOW, &current);
    return false;
}

} // namespace vrn

int LinuxWriteCom(const unsigned char* data, int len, CVrnlib* session) {
    if (session == nullptr || data == nullptr || len <= 0 || session->m_hComm == -1)
        return 0;
    const int fd = session->m_hComm;
    // One write normally takes the whole frame; finishing a short write keeps a frame from
    // going out truncated.
    int done = 0;
    while (done < len) {
        const ssize_t n = ::write(fd, data + done, static_cast<size_t>(len - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p = {fd, POLLOUT, 0};
            if (::poll(&p, 1, WRITE_STALL_MS) > 0)
                continue;
        }
        break;
    }
    return done;
}

int LinuxReadCom(unsigned char* buf, int cap, CVrnlib* session) {
    if (session == nullptr || buf == nullptr || cap <= 0 || session->m_hComm == -1)
        return 0;
    const int fd = session->m_hComm;
    int filled = 0;
    bool started = false;
    int emptyPolls = 0;
    session->VrnSleep(FIRST_WAIT_MS);
    for (;;) {
        if (filled >= cap)
            return filled;
        int got = 0;
        switch (ReadNow(fd, buf + filled, cap - filled, &got)) {
        case EPoll::Data:
            filled += got;
            started = true;
            session->VrnSleep(POLL_INTERVAL_MS);
            continue;
        case EPoll::Failed:
            return filled;
        case EPoll::Empty:
            if (started)
                return filled;
            if (++emptyPolls >= MAX_EMPTY_POLLS)
                return 0;
            session->VrnSleep(POLL_INTERVAL_MS);
            continue;
        }
    }
}

class CVrnSerialTransport final : public CVrnTransport {
public:
    int Write(CVrnlib& session, const unsigned char* data, int len) const override {
        return LinuxWriteCom(data, len, &session);
    }
    int Read(CVrnlib& session, unsigned char* buf, int cap) const override {
        return LinuxReadCom(buf, cap, &session);
    }
    void DropStale(CVrnlib& session) const override {
        const int fd = session.m_hComm;
        if (fd == -1)
            return;
        ::tcflush(fd, TCIFLUSH);
        // Bytes can still sit in the line discipline after the flush on some drivers;
        // read away what is there now, bounded so a chattering line cannot hold us.
        unsigned char sink[512];
        for (int i = 0; i < 64; ++i) {
            int got = 0;
            if (ReadNow(fd, sink, sizeof sink, &got) != EPoll::Data)
                break;
        }
    }
};

const CVrnTransport& VrnSerialTransport() {
    static const CVrnSerialTransport transport;
    return transport;
}
