// A scripted controller for the disk-checking engine's unit tests: drives whose SMART
// routines, surface tests and volume initialisation take as long as a test says, in the
// virtual seconds of a clock that never really sleeps.
#pragma once

#include "DiskCheckClock.h"
#include "DiskCheckRun.h"
#include "DiskCheckSession.h"
#include "TestJob.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// Virtual time: every wait returns at once and moves the clock on.
class CFakeClock : public IDiskCheckClock {
public:
    bool SleepFor(std::chrono::milliseconds d, std::stop_token stop) override {
        if (stop.stop_requested())
            return false;
        m_nowMs += d.count();
        ++m_sleeps;
        if (onSleep)
            onSleep(m_nowMs);
        return !stop.stop_requested();
    }
    std::tm LocalNow() override { return started; }
    long NowMs() const { return m_nowMs; }
    long Seconds() const { return m_nowMs / 1000; }
    long Sleeps() const { return m_sleeps; }

    std::tm started = [] {
        std::tm t{};
        t.tm_year = 2004 - 1900;
        t.tm_mon = 4;
        t.tm_mday = 5;
        t.tm_hour = 14;
        t.tm_min = 7;
        t.tm_sec = 9;
        return t;
    }();
    std::function<void(long nowMs)> onSleep;

private:
    std::atomic<long> m_nowMs{0};
    std::atomic<long> m_sleeps{0};
};

struct SFakeAttr {
    unsigned char id, value, threshold;
};

struct SFakeDrive {
    std::uint32_t capacity = 312581808;
    unsigned char raidNumber = 0xFF;
    std::string model = "HDS722516VLSA80";
    std::string serial = "VNS0000001";
    std::string firmware = "V34OA6EA";
    bool recordFails = false;

    int enableStatus = 0;
    int startStatus = 0;
    std::vector<SFakeAttr> attrs;
    int dataReadFailures = 0; // the next data-page reads that fail
    // Off-line collection: the seconds the drive reports, how long it really takes, the
    // status while it runs and the one it ends with.
    int offlineSeconds = 0;
    long offlineTakes = 0;
    unsigned char offlineRunning = 0x03;
    unsigned char offlineResult = 0x02;
    // Self-test.
    unsigned char shortMinutes = 1;
    unsigned char extendedMinutes = 10;
    long selfTestTakes = 0;
    unsigned char selfTestResult = 0x00;
    unsigned char checkPoint = 0;
    unsigned char previousSelfTest = 0x00; // what the page shows before any self-test
    // Read/write test.
    int rwStartStatus = 0;
    long rwTakes = 0;
    bool rwShortReply = false; // answers its result with a 12-byte status block
    bool rwStuck = false;      // runs for ever without moving
    std::uint32_t readRate = 5500, readErrors = 0, writeRate = 4800, writeErrors = 0;

    long offlineStartMs = -1, selfTestStartMs = -1, rwStartMs = -1;
};

class CFakeController : public IDiskCheckSession {
public:
    explicit CFakeController(CFakeClock& clock) : m_clock(clock) {}

    int GetSysInfo(sSYSTEM_INFO* info) override {
        Log("sysinfo");
        std::memset(info, 0, sizeof *info);
        if (sysInfoFailures.count(++m_sysInfoCalls))
            return VRN_NO_REPLY;
        std::memcpy(info->gsiVendorName, vendor.data(),
                    std::min(vendor.size(), sizeof info->gsiVendorName));
        std::memcpy(info->gsiSerialNumber, serial.data(),
                    std::min(serial.size(), sizeof info->gsiSerialNumber));
        info->gsiIdeChannels = static_cast<unsigned char>(channels);
        info->gsiMaxRaidSet = 8;
        return 0;
    }

    int GetPhysicalDriveInfo(int drive, sGUI_PHY_DRV* info) override {
        Log("drive " + std::to_string(drive));
        auto it = drives.find(drive);
        if (it != drives.end() && it->second.recordFails)
            return VRN_NO_REPLY;
        std::memset(info, 0, sizeof *info);
        info->gpdRaidNumber = 0xFF;
        if (it == drives.end())
            return 0; // an empty slot: capacity 0
        const SFakeDrive& d = it->second;
        std::memcpy(info->gpdModelName, d.model.data(),
                    std::min(d.model.size(), sizeof info->gpdModelName));
        std::memcpy(info->gpdSerialNumber, d.serial.data(),
                    std::min(d.serial.size(), sizeof info->gpdSerialNumber));
        std::memcpy(info->gpdFirmRev, d.firmware.data(),
                    std::min(d.firmware.size(), sizeof info->gpdFirmRev));
        info->gpdCapacity = d.capacity;
        info->gpdRaidNumber = d.raidNumber;
        return 0;
    }

    int ExeSMART(int sub, int drive, int arg, unsigned char* buffer) override {
        Log("smart " + std::to_string(sub) + " " + std::to_string(drive) + " " +
            std::to_string(arg));
        auto it = drives.find(drive);
        if (it == drives.end())
            return VRN_REFUSED_M;
        SFakeDrive& d = it->second;
        const long now = m_clock.NowMs();
        switch (sub) {
        case CVrnlibSMART::SMART_ENABLE:
            return d.enableStatus;
        case CVrnlibSMART::SMART_OFFLINE_IMMEDIATE:
            if (d.startStatus)
                return d.startStatus;
            (arg == 0 ? d.offlineStartMs : d.selfTestStartMs) = now;
            m_selfTestRoutine = arg;
            return 0;
        case CVrnlibSMART::SMART_READ_DATA:
            if (d.dataReadFailures > 0) {
                --d.dataReadFailures;
                return VRN_NO_REPLY;
            }
            DataPage(d, now, buffer);
            return 0;
        case CVrnlibSMART::SMART_READ_THRESHOLDS:
            std::memset(buffer, 0, 512);
            for (size_t k = 0; k < d.attrs.size(); ++k) {
                buffer[2 + 12 * k] = d.attrs[k].id;
                buffer[3 + 12 * k] = d.attrs[k].threshold;
            }
            return 0;
        case CVrnlibSMART::SMART_RW_TEST_START:
            if (d.rwStartStatus)
                return d.rwStartStatus;
            d.rwStartMs = now;
            return 0;
        case CVrnlibSMART::SMART_RW_TEST_STATUS:
            // Like the library: only the bytes of the reply are copied.
            RwStatus(d, now, buffer);
            return 0;
        }
        return VRN_REFUSED_M;
    }

    int ChkPassword(const char* p) override {
        Log(std::string("password ") + p);
        return password == p ? 0 : VRN_REFUSED_J;
    }

    int CreateRaidSet(std::uint32_t mask, const char* name) override {
        Log("raidset " + std::to_string(mask) + (name ? " named" : ""));
        if (raidStatus)
            return raidStatus;
        createdRaidMask = mask;
        if (!hideNewRaidNumber)
            for (auto& [ch, d] : drives)
                if (mask & (1u << ch))
                    d.raidNumber = newRaidNumber;
        return 0;
    }

    int CreateVolSet(_VOLUMESET_CAP* cap) override {
        Log("volume raid " + std::to_string(cap->raid));
        created.push_back(*cap);
        if (!volumeStatuses.empty()) {
            int s = volumeStatuses.front();
            volumeStatuses.pop_front();
            return s;
        }
        return 0;
    }

    int GetVolSetInfo(int n, sGUI_VOLUMESET* info) override {
        Log("volinfo " + std::to_string(n));
        std::memset(info, 0, sizeof *info);
        auto it = initProgress.find(n);
        if (volumeInfoFailsAfter.count(n) && --volumeInfoFailsAfter[n] < 0)
            return VRN_NO_REPLY;
        if (it != initProgress.end() && !it->second.empty()) {
            info->gvsVolumeStatus = 1;
            info->gvsProgress = it->second.front();
            it->second.pop_front();
        }
        return 0;
    }

    std::vector<std::string> Calls(const std::string& prefix) const {
        std::lock_guard lock(m_lock);
        std::vector<std::string> out;
        for (const std::string& c : m_calls)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }

    // The controller.
    std::string vendor = "Varno Storage Systems";
    std::string serial = "VRN2004A0001";
    int channels = 8;
    std::set<int> sysInfoFailures; // which GetSysInfo calls fail, counting from 1
    std::map<int, SFakeDrive> drives;
    std::string password = "5172";
    int raidStatus = 0;
    unsigned char newRaidNumber = 1;
    bool hideNewRaidNumber = false;
    std::uint32_t createdRaidMask = 0;
    std::deque<int> volumeStatuses;
    std::vector<_VOLUMESET_CAP> created;
    std::map<int, std::deque<unsigned>> initProgress; // per volume set: progress readings
    std::map<int, int> volumeInfoFailsAfter;          // successful reads before they fail

private:
    void Log(std::string call) {
        std::lock_guard lock(m_lock);
        m_calls.push_back(std::move(call));
    }

    void DataPage(const SFakeDrive& d, long now, unsigned char* p) {
        std::memset(p, 0, 512);
        for (size_t k = 0; k < d.attrs.size(); ++k) {
            p[2 + 12 * k] = d.attrs[k].id;
            p[5 + 12 * k] = d.attrs[k].value;
        }
        if (d.offlineStartMs >= 0)
            p[362] = now - d.offlineStartMs >= d.offlineTakes * 1000 ? d.offlineResult
                                                                     : d.offlineRunning;
        if (d.selfTestStartMs >= 0)
            p[363] = now - d.selfTestStartMs >= d.selfTestTakes * 1000 ? d.selfTestResult : 0xF3;
        else
            p[363] = d.previousSelfTest;
        p[364] = static_cast<unsigned char>(d.offlineSeconds & 0xFF);
        p[365] = static_cast<unsigned char>(d.offlineSeconds >> 8);
        p[371] = d.checkPoint;
        p[372] = d.shortMinutes;
        p[373] = d.extendedMinutes;
    }

    static void Put32(unsigned char* b, int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }

    void RwStatus(const SFakeDrive& d, long now, unsigned char* out) {
        unsigned char b[18] = {};
        b[0] = 0;
        const std::uint32_t ref = d.capacity / 256;
        if (d.rwStartMs < 0) {
            b[1] = 0;
        } else if (d.rwStuck || now - d.rwStartMs < d.rwTakes * 1000) {
            b[1] = 5;
            const double done = d.rwStuck ? 0.25 : (now - d.rwStartMs) / (d.rwTakes * 1000.0);
            Put32(b, 8, static_cast<std::uint32_t>(ref * std::min(1.0, done * 2)));
            Put32(b, 4, done <= 0.5 ? 0 : static_cast<std::uint32_t>(ref * (done - 0.5) * 2));
            b[12] = b[13] = b[16] = b[17] = 0x77; // what a running controller leaves there
        } else {
            b[1] = 4;
            Put32(b, 2, d.readRate);
            Put32(b, 6, d.readErrors);
            Put32(b, 10, d.writeRate);
            Put32(b, 14, d.writeErrors);
        }
        // A short result leaves the running answer's bytes 12-17 in a block that is not
        // cleared.
        std::memcpy(out, b, d.rwShortReply && b[1] == 4 ? 12 : 18);
    }

    CFakeClock& m_clock;
    mutable std::mutex m_lock;
    std::vector<std::string> m_calls;
    int m_sysInfoCalls = 0;
    int m_selfTestRoutine = 0;
};

// Column texts as a run sets them.
class CRecordedProgress : public ITestProgress {
public:
    struct SEntry {
        int row, column;
        std::string text;
    };
    void InsertRow(int row, const std::string& ip) override {
        std::lock_guard lock(m_lock);
        m_entries.push_back({row, -1, ip});
    }
    void SetItemText(int row, int column, const std::string& text) override {
        std::lock_guard lock(m_lock);
        m_entries.push_back({row, column, text});
    }
    std::vector<SEntry> Entries() const {
        std::lock_guard lock(m_lock);
        return m_entries;
    }
    // The texts column `column` took, in order.
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> out;
        for (const SEntry& e : Entries())
            if (e.column == column)
                out.push_back(e.text);
        return out;
    }

private:
    mutable std::mutex m_lock;
    std::vector<SEntry> m_entries;
};

// A scratch folder removed at the end of the test.
class CScratchDir {
public:
    CScratchDir() {
        char tmpl[] = "/tmp/vrndiskcheck-XXXXXX";
        if (mkdtemp(tmpl))
            m_path = tmpl;
    }
    ~CScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// One agent's job against the fake controller, its page in a scratch folder.
struct SJobHarness {
    SJobHarness() : controller(std::make_shared<CFakeController>(clock)) {
        agent = {"127.0.0.9", controller};
    }
    CTestJob& Job() {
        if (!job) {
            job = std::make_unique<CTestJob>(0, agent, plan, clock, progress, ELanguage::English);
            job->Report.Open(dir.Path() / "page.html");
            job->Stop = stopSource.get_token();
        }
        return *job;
    }
    // The page as written so far (paragraphs are flushed at once).
    std::string Page() const { return ReadFile(dir.Path() / "page.html"); }
    void RunWorker() { TestAgentThread(stopSource.get_token(), Job()); }

    CFakeClock clock;
    std::shared_ptr<CFakeController> controller;
    STestAgent agent;
    CTestPlan plan;
    CRecordedProgress progress;
    CScratchDir dir;
    std::stop_source stopSource;
    std::unique_ptr<CTestJob> job;
};

// The text of a report paragraph, as the page holds it.
inline std::string Para(const std::string& text) {
    return "<p><font face=\"Arial\" color=\"#0000FF\" size=\"3\">" + text + "</font></p>\r\n";
}

inline bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}
