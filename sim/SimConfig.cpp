// Configuration, identification and password commands of the controller.
#include "SimModel.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace vrnsim {

namespace {

constexpr char kSerialCode[] = "MeRiDoNaLtUbIxE "; // 15 letters and a blank
constexpr char kSettingCode[] = "ToPiLuNe";

bool CodeMatches(std::span<const uint8_t> f, uint8_t lengthByte, const char* code, size_t len) {
    return f[6] == lengthByte && std::memcmp(f.data() + 7, code, len) == 0;
}

// Text fields arrive padded; the controller keeps what it got up to the first zero byte.
std::string FieldText(std::span<const uint8_t> f, size_t at, size_t width) {
    std::string s(reinterpret_cast<const char*>(f.data() + at), width);
    size_t nul = s.find('\0');
    if (nul != std::string::npos)
        s.resize(nul);
    return s;
}

} // namespace

Bytes CSimModel::CmdAccessCoded(std::span<const uint8_t> f) {
    SSystem& s = m_sc.sys;
    switch (f[5]) {
    case 0x10:
        if (f.size() < 40)
            return BuildAnswer(kAnsRefuse);
        if (!CodeMatches(f, 0x0F, kSerialCode, 16))
            return BuildAnswer(kAnsDenied);
        s.serial = FieldText(f, 23, 16);
        return BuildAnswer(kAnsAccept);
    case 0x11:
    case 0x12:
    case 0x17:
    case 0x1D: {
        const size_t need = f[5] == 0x11 ? 64 : f[5] == 0x12 ? 32 : f[5] == 0x17 ? 30 : 22;
        if (f.size() < need)
            return BuildAnswer(kAnsRefuse);
        if (!CodeMatches(f, 0x08, kSettingCode, 8))
            return BuildAnswer(kAnsDenied);
        if (f[5] == 0x11) {
            s.vendor = FieldText(f, 23, 40);
        } else if (f[5] == 0x12) {
            s.model = FieldText(f, 23, 8);
        } else if (f[5] == 0x17) {
            std::copy(f.begin() + 23, f.begin() + 29, s.mac.begin());
        } else {
            // Year byte: calendar year - 1852, modulo 256.
            struct tm tm {};
            tm.tm_year = 1852 + f[15] - 1900;
            tm.tm_mon = f[16] - 1;
            tm.tm_mday = f[17];
            tm.tm_hour = f[18];
            tm.tm_min = f[19];
            tm.tm_sec = f[20];
            tm.tm_isdst = -1;
            if (f[16] < 1 || f[16] > 12 || f[17] < 1 || f[17] > 31 || f[18] > 23 || f[19] > 59 ||
                f[20] > 59)
                return BuildAnswer(kAnsRefuse);
            time_t t = mktime(&tm);
            if (t == static_cast<time_t>(-1))
                return BuildAnswer(kAnsRefuse);
            m_clockOffset = static_cast<long>(t - std::time(nullptr));
        }
        return BuildAnswer(kAnsAccept);
    }
    default:
        return BuildAnswer(kAnsRefuse);
    }
}

Bytes CSimModel::CmdPassword(std::span<const uint8_t> f) {
    switch (f[5]) {
    case 0x14: {
        if (f.size() < 8)
            return BuildAnswer(kAnsDenied);
        size_t n = f[6];
        // The length byte must agree with the frame, or the password is not what was meant.
        if (n > 15 || f.size() != n + 8)
            return BuildAnswer(kAnsDenied);
        std::string pw(reinterpret_cast<const char*>(f.data() + 7), n);
        m_loggedIn = pw == m_sc.password;
        return BuildAnswer(m_loggedIn ? kAnsAccept : kAnsDenied);
    }
    case 0x15:
        m_loggedIn = false;
        return BuildAnswer(kAnsAccept);
    case 0x32: {
        if (f.size() < 23 || f[6] > 15)
            return BuildAnswer(kAnsDenied);
        m_sc.password.assign(reinterpret_cast<const char*>(f.data() + 7), f[6]);
        return BuildAnswer(kAnsAccept);
    }
    default:
        return BuildAnswer(kAnsRefuse);
    }
}

Bytes CSimModel::CmdSetting(std::span<const uint8_t> f) {
    SSystem& s = m_sc.sys;
    const uint8_t code = f[5];
    if (code == 0x30) {
        m_beeping = false;
        return BuildAnswer(kAnsAccept);
    }
    if (code == 0x36) {
        // A restart: sessions end, a half-sent web request is forgotten, the log notes it.
        m_loggedIn = false;
        m_httpRequest.clear();
        PushEvent(kCatHwMon, kHwEvPowerOn, 0, "");
        return BuildAnswer(kAnsAccept);
    }
    if (f.size() < 8)
        return BuildAnswer(kAnsRefuse);
    const uint8_t v = f[6];
    switch (code) {
    case 0x31:
        s.beeper = v;
        break;
    case 0x33:
        s.channelUsage = v;
        break;
    case 0x34:
        s.rebuildPriority = v;
        break;
    case 0x35:
        s.maxAtaMode = v;
        break;
    case 0x37:
        if (f.size() < 13 || v > 1)
            return BuildAnswer(kAnsRefuse);
        std::copy(f.begin() + 7, f.begin() + 12, (v == 0 ? s.comA : s.comB).begin());
        break;
    case 0x39:
        if (f.size() < 12)
            return BuildAnswer(kAnsRefuse);
        s.dhcp = v;
        std::copy(f.begin() + 7, f.begin() + 11, s.localIp.begin());
        if (v == 0)
            s.currentIp = s.localIp; // a fixed address is in use at once
        break;
    default:
        return BuildAnswer(kAnsRefuse);
    }
    return BuildAnswer(kAnsAccept);
}

std::string CSimModel::SetPassword(const std::string& pw) {
    if (pw.size() > 15)
        return "passwords are at most 15 characters";
    m_sc.password = pw;
    return "";
}

} // namespace vrnsim
