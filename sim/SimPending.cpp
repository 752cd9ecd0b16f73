// Commands the model does not carry yet are refused.
#include "SimJson.h"
#include "SimModel.h"

namespace vrnsim {

Bytes CSimModel::CmdAccessCoded(std::span<const uint8_t>) { return BuildAnswer(kAnsRefuse); }
Bytes CSimModel::CmdPassword(std::span<const uint8_t>) { return BuildAnswer(kAnsRefuse); }
Bytes CSimModel::CmdSetting(std::span<const uint8_t>) { return BuildAnswer(kAnsRefuse); }
Bytes CSimModel::CmdArray(std::span<const uint8_t>) { return BuildAnswer(kAnsRefuse); }
Bytes CSimModel::CmdSmart(std::span<const uint8_t>) { return BuildAnswer(kAnsRefuse); }
std::optional<Bytes> CSimModel::CmdHttp(std::span<const uint8_t>) { return BuildAnswer(kAnsRefuse); }
void CSimModel::TickSmart() {}
void CSimModel::TickVolumes() {}
void CSimModel::UpdateRedundancy(int, bool) {}
std::string CSimModel::AddEvent(int c, int t, int ch, const std::string& text) {
    PushEvent(static_cast<uint8_t>(c), static_cast<uint8_t>(t), static_cast<uint8_t>(ch), text);
    return "";
}
std::string CSimModel::SetFan(int, bool) { return "not yet"; }
std::string CSimModel::SetPower(int, bool) { return "not yet"; }
std::string CSimModel::SetRail(int, int) { return "not yet"; }
std::string CSimModel::SetTemp(int, int) { return "not yet"; }
std::string CSimModel::SetUps(int) { return "not yet"; }
std::string CSimModel::SetDrive(int, const std::string&) { return "not yet"; }
std::string CSimModel::SetVolume(int, bool) { return "not yet"; }
std::string CSimModel::SetPassword(const std::string&) { return "not yet"; }
std::string CSimModel::SetSmartValue(int, int, int) { return "not yet"; }
bool LoadScenarioFile(const std::string&, SScenario&, std::string& err) {
    err = "scenario files are not read yet";
    return false;
}
std::string StateJson(const CSimModel&) { return "{}"; }

} // namespace vrnsim
