// Drive SMART functions and the controller's read/write surface test (command 0x1C).
#include "SimModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vrnsim {

namespace {

constexpr char kMarker[4] = {'Q', 'n', 'd', 'L'};
// Status bytes of a drive that aborted the command (ATA status ERR, error ABRT).
const uint8_t kDriveAbort[2] = {0x51, 0x04};
const uint8_t kDriveOk[2] = {0x00, 0x00};

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

void SealPage(Bytes& page) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 511; ++i)
        sum = static_cast<uint8_t>(sum + page[i]);
    page[511] = static_cast<uint8_t>(-sum); // the whole page sums to zero
}

} // namespace

Bytes CSimModel::SmartDataPage(int drive) const {
    const SSmart& s = m_sc.drives[drive].smart;
    Bytes p(512, 0);
    p[0] = 0x10; // data structure revision
    for (size_t k = 0; k < s.attrs.size() && k < 30; ++k) {
        const SSmartAttr& a = s.attrs[k];
        size_t at = 2 + 12 * k;
        p[at] = a.id;
        p[at + 1] = static_cast<uint8_t>(a.flags & 0xFF);
        p[at + 2] = static_cast<uint8_t>(a.flags >> 8);
        p[at + 3] = a.value;
        p[at + 4] = a.worst;
        for (int i = 0; i < 6; ++i)
            p[at + 5 + static_cast<size_t>(i)] = static_cast<uint8_t>(a.raw >> (8 * i));
    }
    // Durations are reported as this (possibly time-scaled) controller really takes them.
    auto scaledUp = [&](double v, double cap) { return std::min(cap, std::ceil(v * m_timeScale)); };
    uint16_t secs = static_cast<uint16_t>(scaledUp(s.offlineSeconds, 65535));
    p[362] = s.offlineStatus;
    p[363] = s.selfTestStatus;
    p[364] = static_cast<uint8_t>(secs & 0xFF);
    p[365] = static_cast<uint8_t>(secs >> 8);
    p[367] = 0x5B; // off-line capabilities: immediate, abort, scan, self-test
    p[368] = 0x03; // SMART capabilities: saves data, auto-save
    p[370] = 0x01; // error logging supported
    p[371] = s.selfTestCheckPoint;
    p[372] = static_cast<uint8_t>(scaledUp(s.shortMinutes, 255));
    p[373] = static_cast<uint8_t>(scaledUp(s.extendedMinutes, 255));
    SealPage(p);
    return p;
}

Bytes CSimModel::SmartThresholdPage(int drive) const {
    const SSmart& s = m_sc.drives[drive].smart;
    Bytes p(512, 0);
    p[0] = 0x10;
    for (size_t k = 0; k < s.attrs.size() && k < 30; ++k) {
        p[2 + 12 * k] = s.attrs[k].id;
        p[3 + 12 * k] = s.attrs[k].threshold;
    }
    SealPage(p);
    return p;
}

Bytes CSimModel::CmdSmart(std::span<const uint8_t> f) {
    if (f.size() < 14 || std::memcmp(f.data() + 7, kMarker, 4) != 0)
        return BuildAnswer(kAnsRefuse);
    const uint8_t sub = f[6];
    const int d = f[11];
    const uint8_t arg = f[12];
    if (!DriveUsable(d))
        return BuildAnswer(kAnsRefuse);
    SDrive& dr = m_sc.drives[d];
    SSmart& s = dr.smart;
    switch (sub) {
    case 0:
    case 1: {
        if (!s.enabled)
            return BuildAnswer(kAnsRefuse);
        Bytes payload(kDriveOk, kDriveOk + 2);
        Bytes page = sub == 0 ? SmartDataPage(d) : SmartThresholdPage(d);
        payload.insert(payload.end(), page.begin(), page.end());
        return BuildFrame(payload);
    }
    case 4: {
        if (!s.enabled)
            return BuildFrame(kDriveAbort);
        if (arg == 0) {
            s.offlineStatus = 0x03; // in progress
            s.offlineEndMs = m_nowMs + Scaled(s.offlineSeconds);
        } else if (arg == 1 || arg == 2) {
            s.selfTestStatus = 0xF9; // in progress, 90 % to go
            s.selfTestStartMs = m_nowMs;
            s.selfTestEndMs =
                m_nowMs + Scaled(60.0 * (arg == 1 ? s.shortMinutes : s.extendedMinutes));
        } else if (arg == 0x7F) {
            if (s.selfTestEndMs >= 0) {
                s.selfTestStatus = 0x10; // aborted by the host
                s.selfTestEndMs = -1;
            }
        } else {
            return BuildFrame(kDriveAbort);
        }
        return BuildFrame(kDriveOk);
    }
    case 8:
    case 9:
        s.enabled = sub == 8;
        return BuildFrame(kDriveOk);
    case 16: {
        // The surface test overwrites data, so it runs on free drives only.
        if (arg < 1 || arg > 100 || dr.raidNumber != kRaidNone)
            return BuildAnswer(kAnsRefuse);
        dr.rw.state = 5;
        dr.rw.startMs = m_nowMs;
        dr.rw.endMs = m_nowMs + Scaled(dr.rw.seconds * arg / 100.0);
        return BuildAnswer(kAnsAccept);
    }
    case 18: {
        Bytes st(18, 0);
        st[0] = static_cast<uint8_t>(d);
        st[1] = dr.rw.state;
        const uint32_t ref = static_cast<uint32_t>(dr.capacity / 256);
        if (dr.rw.state == 5) {
            // Writes sweep the surface first, then reads follow; positions in 256-block units.
            double span = static_cast<double>(std::max<int64_t>(1, dr.rw.endMs - dr.rw.startMs));
            double done = std::clamp((m_nowMs - dr.rw.startMs) / span, 0.0, 1.0);
            uint32_t writePos = static_cast<uint32_t>(ref * std::min(1.0, done * 2));
            uint32_t readPos =
                done <= 0.5 ? 0 : static_cast<uint32_t>(ref * std::min(1.0, (done - 0.5) * 2));
            Put32(st, 4, readPos);
            Put32(st, 8, writePos);
        } else if (dr.rw.state == 4) {
            Put32(st, 2, dr.rw.readRate);
            Put32(st, 6, dr.rw.readErrors);
            Put32(st, 10, dr.rw.writeRate);
            Put32(st, 14, dr.rw.writeErrors);
        }
        return BuildFrame(st);
    }
    default:
        return BuildAnswer(kAnsRefuse);
    }
}

void CSimModel::TickSmart() {
    for (SDrive& d : m_sc.drives) {
        SSmart& s = d.smart;
        if (s.offlineEndMs >= 0 && m_nowMs >= s.offlineEndMs) {
            s.offlineStatus = s.offlineResult;
            s.offlineEndMs = -1;
        }
        if (s.selfTestEndMs >= 0) {
            if (m_nowMs >= s.selfTestEndMs) {
                s.selfTestStatus = s.selfTestResult;
                s.selfTestEndMs = -1;
            } else {
                double left =
                    static_cast<double>(s.selfTestEndMs - m_nowMs) /
                    static_cast<double>(std::max<int64_t>(1, s.selfTestEndMs - s.selfTestStartMs));
                int tenths = std::clamp(static_cast<int>(std::ceil(left * 10)), 1, 9);
                s.selfTestStatus = static_cast<uint8_t>(0xF0 | tenths);
            }
        }
        if (d.rw.state == 5 && m_nowMs >= d.rw.endMs)
            d.rw.state = 4;
    }
}

} // namespace vrnsim
