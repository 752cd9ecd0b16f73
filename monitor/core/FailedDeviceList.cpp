#include "FailedDeviceList.h"

#include <algorithm>

namespace {
constexpr unsigned char DEVICE_CATEGORY = 3;
}

bool CFailedDeviceList::Add(std::shared_ptr<CAgent> agent, int channel) {
    std::lock_guard lock(m_mutex);
    for (const SFailedDevice& e : m_entries)
        if (e.agent == agent && e.Channel() == channel)
            return false;
    SFailedDevice entry;
    entry.event.evtCategory = DEVICE_CATEGORY;
    entry.event.evtChannel = static_cast<unsigned char>(channel);
    entry.agent = std::move(agent);
    m_entries.push_back(std::move(entry));
    return true;
}

bool CFailedDeviceList::Remove(const CAgent* agent, int channel) {
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const SFailedDevice& e) {
        return e.agent.get() == agent && e.Channel() == channel;
    });
    if (it == m_entries.end())
        return false;
    m_entries.erase(it);
    return true;
}

std::size_t CFailedDeviceList::RemoveAgent(const CAgent* agent) {
    std::lock_guard lock(m_mutex);
    return std::erase_if(m_entries,
                         [agent](const SFailedDevice& e) { return e.agent.get() == agent; });
}

std::vector<SFailedDevice> CFailedDeviceList::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::size_t CFailedDeviceList::Count() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

std::size_t CFailedDeviceList::CountFor(const CAgent* agent) const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(
        std::count_if(m_entries.begin(), m_entries.end(),
                      [agent](const SFailedDevice& e) { return e.agent.get() == agent; }));
}
