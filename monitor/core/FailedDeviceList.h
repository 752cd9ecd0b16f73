#pragma once
// FailedDeviceList: the devices found failed, one list for the program, re-checked once a
// second until they are healthy again. Monitor threads append, the failed-device tick
// consumes, and removing an agent drops its entries first, so the list has its own lock
// and never refers to a record that is gone. One entry per (agent, channel): a second one
// would take the agent's alarm count below zero when the device recovers.

#include "Vrnlib.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

class CAgent;

struct SFailedDevice {
    sEVET_DATA event{}; // evtCategory 3 (device), evtChannel the channel, every other byte 0
    std::shared_ptr<CAgent> agent;
    int Channel() const { return event.evtChannel; }
};

class CFailedDeviceList {
public:
    // Appends at the tail; false (nothing added) when the pair is listed already.
    bool Add(std::shared_ptr<CAgent> agent, int channel);
    // Removes the one entry of the pair; false when it was not listed.
    bool Remove(const CAgent* agent, int channel);
    // Drops every entry of the agent; returns how many.
    std::size_t RemoveAgent(const CAgent* agent);

    std::vector<SFailedDevice> Snapshot() const;
    std::size_t Count() const;
    std::size_t CountFor(const CAgent* agent) const;

private:
    mutable std::mutex m_mutex;
    std::vector<SFailedDevice> m_entries;
};
