// Arbitrary controller replies through the library's operations. The session adopts one end
// of a socket pair; the library's sleep hook plays the controller: whenever a request has
// arrived it takes it and puts the next reply from the input on the line.
//
// Input: one byte choosing the operation, then replies, each a 16-bit little-endian length
// followed by that many bytes. The same bytes are also fed to the frame check and the
// hardware monitor decoder directly.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "VrnFrame.h"
#include "VrnHwMon.h"
#include "Vrnlib.h"

namespace {

class CFuzzSession : public CVrnlibSMART {
public:
    CFuzzSession(const uint8_t* data, size_t size) : m_data(data), m_size(size) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_pair) != 0)
            return;
        // Big enough for any reply the library reads, so the controller never blocks.
        const int room = 1 << 17;
        ::setsockopt(m_pair[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
        VrnInitSession(m_pair[0]);
        VrnSetSleeper(&CFuzzSession::Sleep, this);
    }
    ~CFuzzSession() {
        for (int fd : m_pair)
            if (fd >= 0)
                ::close(fd);
    }
    bool Ok() const { return m_pair[0] >= 0; }

private:
    static void Sleep(void* ctx, int) { static_cast<CFuzzSession*>(ctx)->Serve(); }

    void Serve() {
        unsigned char sink[4096];
        bool request = false;
        for (;;) {
            const ssize_t n = ::recv(m_pair[1], sink, sizeof sink, MSG_DONTWAIT);
            if (n <= 0)
                break;
            request = true;
        }
        if (!request || m_at + 2 > m_size)
            return;
        size_t len = m_data[m_at] | (m_data[m_at + 1] << 8);
        m_at += 2;
        if (len > m_size - m_at)
            len = m_size - m_at;
        if (len > 0 && ::send(m_pair[1], m_data + m_at, len, MSG_DONTWAIT | MSG_NOSIGNAL) < 0)
            return;
        m_at += len;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 1; // after the operation byte
    int m_pair[2] = {-1, -1};
};

void RunOperation(CFuzzSession& s, uint8_t op) {
    sSYSTEM_INFO sys;
    sGUI_RAIDSET raid;
    sGUI_VOLUMESET vol;
    sGUI_PHY_DRV drv;
    _HWMON_INFO hw;
    _HWMON_5010 m;
    sEVET_DATA e;
    unsigned char buf[512];
    std::vector<char> response(VRN_MAX_REPLY);
    int n = 0;
    switch (op % 16) {
    case 0:
        s.VrnGetSysInfo(&sys);
        break;
    case 1:
        s.VrnGetRaidSetInfo(static_cast<char>(op), &raid);
        break;
    case 2:
        s.VrnGetVolSetInfo(1, &vol);
        break;
    case 3:
        s.VrnGetPhysicalDriveInfo(2, &drv);
        break;
    case 4:
        s.VrnGetHWMon(1 + (op >> 4) % 5, &hw);
        break;
    case 5:
        s.VrnGetHWMon5010(&m);
        break;
    case 6:
        // Pages fetched for the new events, then every object read as the monitor does.
        s.m_iPreIndex = op >> 4;
        if (s.VrnGetReqEventPage(static_cast<char>(op & 0x80), &n) == VRN_OK)
            for (int i = n - 1; i >= 0; --i)
                s.VrnGetEventObject(i, &e);
        break;
    case 7:
        s.VrnIdentify();
        break;
    case 8:
        s.VrnHttp("GET / HTTP/1.0\r\n\r\n", 18, response.data(), &n);
        break;
    case 9:
        s.VrnExeSMART((op >> 4) % 2, 0, 0, buf);
        break;
    case 10:
        s.VrnExeSMART(18, 0, 0, buf);
        break;
    case 11:
        s.VrnExeSMART(4 + 4 * ((op >> 4) % 2), 0, 1, nullptr);
        break;
    case 12:
        s.VrnSetTime();
        break;
    case 13:
        s.VrnResetController();
        break;
    case 14:
        s.VrnChkPassword("0000");
        break;
    case 15:
        s.VrnPollEvent(&n);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The codec and the decoder on exactly the bytes given.
    std::vector<unsigned char> exact(data, data + size);
    vrn::FrameIsValid(exact.data(), exact.size());
    _HWMON_INFO hw;
    for (unsigned long kind = 0; kind <= 6; ++kind)
        vrn::DecodeHwMon(kind, exact.data(), static_cast<int>(exact.size()), &hw);

    CFuzzSession session(data, size);
    if (!session.Ok())
        return 0;
    RunOperation(session, data[0]);
    // A second operation on the same session sees whatever the first left on the line.
    RunOperation(session, static_cast<uint8_t>(data[0] + 7));
    return 0;
}
