// Scenario files in, model state out, both as JSON.
#pragma once

#include "SimModel.h"

#include <string>

namespace vrnsim {

// Reads a scenario file; missing keys keep the built-in defaults. On a bad file returns
// false with the reason.
bool LoadScenarioFile(const std::string& path, SScenario& sc, std::string& err);
bool ParseScenario(const std::string& text, SScenario& sc, std::string& err);

// One line of JSON describing the running model.
std::string StateJson(const CSimModel& model);

} // namespace vrnsim
