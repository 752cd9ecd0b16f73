// vrncli's verbs: one entry per library operation. A verb reads its own arguments, calls
// the library, puts what it learned into ctx.out and returns the library's status.
#pragma once

#include <nlohmann/json.hpp>

#include <span>
#include <string>
#include <vector>

#include "VrnRecordText.h"
#include "Vrnlib.h"

struct SCliContext {
    CVrnlibSMART& session;
    std::vector<std::string> args; // the words after the verb
    nlohmann::ordered_json out;    // result fields, printed as text or as JSON
    std::string error;             // a usage problem found by the verb itself
    bool json = false;             // the verb's own output (http) goes into out as well
};

struct SVerb {
    const char* name;
    const char* usage;            // the arguments, for the help text
    const char* help;             // one line
    bool needsSession;            // false: runs without --serial/--udp
    int (*run)(SCliContext& ctx); // nullptr: handled by main (help)
};

// Every verb, in the order the help text lists them.
std::span<const SVerb> CliVerbs();

// Verb bodies.
int VerbVersion(SCliContext& ctx);
int VerbIdentify(SCliContext& ctx);
int VerbSysInfo(SCliContext& ctx);
int VerbPollEvent(SCliContext& ctx);
int VerbRaidSet(SCliContext& ctx);
int VerbVolume(SCliContext& ctx);
int VerbDrive(SCliContext& ctx);
int VerbHwMon(SCliContext& ctx);
int VerbHwMon5010(SCliContext& ctx);
int VerbEvents(SCliContext& ctx);
int VerbEventObject(SCliContext& ctx);
int VerbClearEvents(SCliContext& ctx);
int VerbSetSerial(SCliContext& ctx);
int VerbSetVendor(SCliContext& ctx);
int VerbSetModel(SCliContext& ctx);
int VerbSetMac(SCliContext& ctx);
int VerbSetTime(SCliContext& ctx);
int VerbMuteBeeper(SCliContext& ctx);
int VerbSetBeeper(SCliContext& ctx);
int VerbSetHostMode(SCliContext& ctx);
int VerbSetRebuildPriority(SCliContext& ctx);
int VerbSetAtaMode(SCliContext& ctx);
int VerbSetDhcpIp(SCliContext& ctx);
int VerbSetTermPort(SCliContext& ctx);
int VerbCheckPassword(SCliContext& ctx);
int VerbSetPassword(SCliContext& ctx);
int VerbLogout(SCliContext& ctx);
int VerbReset(SCliContext& ctx);
int VerbCreateRaidSet(SCliContext& ctx);
int VerbDeleteRaidSet(SCliContext& ctx);
int VerbActivateRaidSet(SCliContext& ctx);
int VerbCreateHotSpare(SCliContext& ctx);
int VerbDeleteHotSpare(SCliContext& ctx);
int VerbCreateVolume(SCliContext& ctx);
int VerbDeleteVolume(SCliContext& ctx);
int VerbStartCheck(SCliContext& ctx);
int VerbStopCheck(SCliContext& ctx);
int VerbCreatePassthrough(SCliContext& ctx);
int VerbModifyPassthrough(SCliContext& ctx);
int VerbDeletePassthrough(SCliContext& ctx);
int VerbSmart(SCliContext& ctx);
int VerbHttp(SCliContext& ctx);

// Helpers shared by verbs.
namespace cli {
std::string Dotted(const unsigned char* ip);
std::string Mac(const unsigned char* mac);
// Parses an unsigned number (decimal or 0x hex) within [lo, hi].
bool ParseNumber(const std::string& text, unsigned long lo, unsigned long hi, unsigned long* value);
// Checks the verb's positional argument count; sets ctx.error when it is outside [min, max].
bool ArgCount(SCliContext& ctx, size_t min, size_t max);
// Argument i as a number within [lo, hi]; sets ctx.error (naming what) when it is not.
bool ArgNumber(SCliContext& ctx, size_t i, unsigned long lo, unsigned long hi, const char* what,
               unsigned long* value);
// Splits trailing key=value words off ctx.args into options; false (ctx.error set) for a
// key not in allowed or a value that is no number in 0..255.
bool KeyOptions(SCliContext& ctx, const std::vector<std::string>& allowed,
                std::vector<std::pair<std::string, unsigned long>>* options);
std::string Hex(const unsigned char* data, size_t n);
} // namespace cli
