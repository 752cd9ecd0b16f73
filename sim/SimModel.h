// The stand-in controller: answers request frames from its state and changes that state
// over (scaled) time and through the control channel.
#pragma once

#include "SimFrame.h"
#include "SimModelData.h"

#include <deque>
#include <optional>
#include <span>
#include <string>

namespace vrnsim {

// Answer bytes of the 7-byte replies.
constexpr uint8_t kAnsAccept = 'A';
constexpr uint8_t kAnsRefuse = 'M'; // command not possible in the current state
constexpr uint8_t kAnsDenied = 'J'; // wrong access code or password

constexpr size_t kEventLogSize = 64;
constexpr size_t kEventsPerPage = 16;

// Data disks of a RAID level on n members (0 when the level needs more), and how many
// failed members the level survives.
int DataDisks(int level, int members);
int Tolerance(int level);

class CSimModel {
public:
    // timeScale multiplies every duration of the model; nowMs is the monotonic clock.
    CSimModel(SScenario sc, double timeScale, int64_t nowMs);

    // One request frame (checksum already good). Returns the reply frame, or nothing when
    // the controller stays silent (the full pieces of an HTTP request).
    std::optional<Bytes> Handle(std::span<const uint8_t> frame, int64_t nowMs);

    // Advances running tasks (initialisation, checks, SMART, read/write tests).
    void Tick(int64_t nowMs);

    const SScenario& Data() const { return m_sc; }
    int EventIndex() const { return m_eventIndex; }
    size_t EventCount() const { return m_log.size(); }
    const std::deque<SEvent>& EventLog() const { return m_log; }
    bool LoggedIn() const { return m_loggedIn; }
    bool Beeping() const { return m_beeping; }
    double TimeScale() const { return m_timeScale; }

    // Changes from the control channel. Each returns an empty string on success,
    // otherwise the reason for the refusal.
    std::string AddEvent(int category, int type, int channel, const std::string& text);
    std::string SetFan(int fan, bool run);         // fans count from 1
    std::string SetPower(int supply, bool good);   // supplies count from 1
    std::string SetRail(int rail, int millivolts); // rails count from 1
    std::string SetTemp(int sensor, int celsius);  // sensors count from 1
    std::string SetUps(int value);
    std::string SetDrive(int drive, const std::string& how); // fail|ok|remove|insert
    std::string SetVolume(int volume, bool failed);
    std::string SetPassword(const std::string& pw);
    std::string SetSmartValue(int drive, int attrId, int value);

    // Record images, also used by the tests.
    Bytes SystemInfoRecord(int64_t nowMs) const;
    Bytes RaidSetRecord(int n) const;
    Bytes VolumeRecord(int n) const;
    Bytes DriveRecord(int n) const;
    Bytes HwMonPayload() const;
    Bytes EventPage(int page) const;
    Bytes SmartDataPage(int drive) const;
    Bytes SmartThresholdPage(int drive) const;

    // Usable sectors of a raid set for a RAID level (0 when the level does not fit).
    uint64_t RaidUsable(int raidSet, int level) const;
    uint64_t RaidFreeSectors(int raidSet, int level) const;

private:
    // status queries and log
    Bytes Identify() const;
    // configuration (SimConfig.cpp)
    Bytes CmdAccessCoded(std::span<const uint8_t> f);
    Bytes CmdPassword(std::span<const uint8_t> f);
    Bytes CmdSetting(std::span<const uint8_t> f);
    // arrays (SimArray.cpp)
    Bytes CmdArray(std::span<const uint8_t> f);
    Bytes CreateRaidSet(uint32_t mask, std::span<const uint8_t> name);
    Bytes DeleteRaidSet(int n);
    Bytes ActivateRaidSet(int n);
    Bytes HotSpare(uint32_t mask, bool create);
    Bytes CreateVolume(std::span<const uint8_t> f);
    Bytes DeleteVolume(int n, bool withEvent);
    Bytes CheckVolume(int n, bool start);
    Bytes PassThrough(std::span<const uint8_t> f);
    void UpdateRedundancy(int raidSet, bool report = true);
    int VolumeHealth(int v) const; // 0 whole, 1 degraded, 2 failed
    bool ScsiTaken(uint8_t ch, uint8_t id, uint8_t lun, int exceptVolume, int exceptDrive) const;
    void TickVolumes();
    uint32_t RaidFailMask(int raidSet) const;
    // SMART (SimSmart.cpp)
    Bytes CmdSmart(std::span<const uint8_t> f);
    void TickSmart();
    // HTTP (SimHttp.cpp)
    std::optional<Bytes> CmdHttp(std::span<const uint8_t> f);
    std::string HttpResponse(const std::string& request) const;

    void PushEvent(uint8_t cat, uint8_t type, uint8_t channel, const std::string& text);
    int32_t PackedNow() const;
    int64_t Scaled(double seconds) const;
    bool DriveUsable(int d) const;

    SScenario m_sc;
    double m_timeScale;
    int64_t m_startMs;
    int64_t m_nowMs;
    std::deque<SEvent> m_log; // oldest first, at most 64
    int m_eventIndex = 0;
    long m_clockOffset = 0; // controller clock minus host clock, seconds
    bool m_loggedIn = false;
    bool m_beeping = false;
    std::string m_httpRequest;
    int64_t m_httpLastMs = 0;
    std::vector<uint8_t> m_volumeWasState; // last redundancy state reported per volume
    std::vector<int> m_raidWasFailures;    // failed members last reported per raid set
};

} // namespace vrnsim
