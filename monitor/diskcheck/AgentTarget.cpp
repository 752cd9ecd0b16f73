#include "AgentTarget.h"

#include "Agent.h"

STestAgent TestAgentOf(const AgentPtr& agent) {
    std::shared_ptr<CVrnlibSMART> session(agent, &agent->m_Session);
    return {agent->IpText(), std::make_shared<CLibrarySession>(std::move(session))};
}

std::vector<STestAgent> TestableAgents(const CAgentList& list) {
    std::vector<STestAgent> agents;
    for (const AgentPtr& agent : list.Snapshot())
        if (agent->m_State.load() != AGENT_DOWN)
            agents.push_back(TestAgentOf(agent));
    return agents;
}
