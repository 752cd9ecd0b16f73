// vrncli's verbs: one entry per library operation. A verb reads its own arguments, calls
// the library, puts what it learned into ctx.out and returns the library's status.
#pragma once

#include <nlohmann/json.hpp>

#include <span>
#include <string>
#include <vector>

#include "Vrnlib.h"

struct SCliContext {
    CVrnlib& session;
    std::vector<std::string> args;  // the words after the verb
    nlohmann::ordered_json out;     // result fields, printed as text or as JSON
    std::string error;              // a usage problem found by the verb itself
};

struct SVerb {
    const char* name;
    const char* usage;      // the arguments, for the help text
    const char* help;       // one line
    bool needsSession;      // false: runs without --serial/--udp
    int (*run)(SCliContext& ctx);
};

// Every verb, in the order the help text lists them.
std::span<const SVerb> CliVerbs();

// Verb bodies.
int VerbVersion(SCliContext& ctx);
int VerbIdentify(SCliContext& ctx);
int VerbSysInfo(SCliContext& ctx);
int VerbPollEvent(SCliContext& ctx);

// Helpers shared by verbs.
namespace cli {
// A fixed-width text field from the controller: up to the first NUL, trailing blanks
// dropped, anything unprintable shown as '?'.
std::string FieldText(const char* field, size_t width);
std::string Dotted(const unsigned char* ip);
std::string Mac(const unsigned char* mac);
// A readable name for a library status.
std::string StatusText(int status);
// Parses an unsigned number (decimal or 0x hex) within [lo, hi].
bool ParseNumber(const std::string& text, unsigned long lo, unsigned long hi, unsigned long* value);
} // namespace cli
