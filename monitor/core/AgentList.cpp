#include "AgentList.h"

#include "Agent.h"

#include <algorithm>

void CAgentList::Append(AgentPtr agent) {
    std::lock_guard lock(m_mutex);
    m_agents.push_back(std::move(agent));
}

AgentPtr CAgentList::Find(std::uint32_t ip) const {
    std::lock_guard lock(m_mutex);
    for (const AgentPtr& a : m_agents)
        if (a->m_Ip == ip)
            return a;
    return nullptr;
}

bool CAgentList::Contains(const CAgent* agent) const {
    std::lock_guard lock(m_mutex);
    return std::any_of(m_agents.begin(), m_agents.end(),
                       [agent](const AgentPtr& a) { return a.get() == agent; });
}

bool CAgentList::Remove(const CAgent* agent) {
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_agents.begin(), m_agents.end(),
                           [agent](const AgentPtr& a) { return a.get() == agent; });
    if (it == m_agents.end())
        return false;
    m_agents.erase(it);
    return true;
}

AgentPtr CAgentList::TakeTail() {
    std::lock_guard lock(m_mutex);
    if (m_agents.empty())
        return nullptr;
    AgentPtr tail = std::move(m_agents.back());
    m_agents.pop_back();
    return tail;
}

std::vector<AgentPtr> CAgentList::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_agents;
}

std::size_t CAgentList::Count() const {
    std::lock_guard lock(m_mutex);
    return m_agents.size();
}

AgentPtr CAgentList::At(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    return index < m_agents.size() ? m_agents[index] : nullptr;
}
