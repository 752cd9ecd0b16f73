#pragma once
// The monitor's agent records as a run's agents. A run uses an agent's own session, beside
// its monitor thread (the session keeps their exchanges apart), and holds the record, so an
// agent deleted or rescanned away while its disk check runs stays whole until the run ends.

#include "AgentList.h"
#include "TestPlan.h"

#include <vector>

STestAgent TestAgentOf(const AgentPtr& agent);

// The agents the Disk Checking Dialog offers: every listed agent that is not down, in the
// order of the list.
std::vector<STestAgent> TestableAgents(const CAgentList& list);
