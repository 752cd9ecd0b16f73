#pragma once
// AgentList: the ordered list of agent records, at most one per address. New records go to
// the tail. Only the window's thread changes it (discovery, Delete, exit); readers on other
// threads (metrics, disk checking) take a snapshot, which keeps the records alive while they
// look at them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CAgent;
using AgentPtr = std::shared_ptr<CAgent>;

class CAgentList {
public:
    void Append(AgentPtr agent);
    // The record with this address (network order), or null.
    AgentPtr Find(std::uint32_t ip) const;
    bool Contains(const CAgent* agent) const;
    // Takes the record out; false when it was not listed. The caller stops and drops it.
    bool Remove(const CAgent* agent);
    // Takes the tail record out (null when empty).
    AgentPtr TakeTail();

    std::vector<AgentPtr> Snapshot() const;
    std::size_t Count() const;
    // Position from the head, null past the end.
    AgentPtr At(std::size_t index) const;

private:
    mutable std::mutex m_mutex;
    std::vector<AgentPtr> m_agents;
};
