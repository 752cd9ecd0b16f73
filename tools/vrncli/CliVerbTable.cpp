// The verb table: add a line here for every new verb.
#include "CliVerbs.h"

std::span<const SVerb> CliVerbs() {
    static const SVerb verbs[] = {
        {"version", "", "library version (no controller needed)", false, VerbVersion},
        {"identify", "", "check that the controller identifies itself", true, VerbIdentify},
        {"sysinfo", "", "system information record", true, VerbSysInfo},
        {"poll-event", "", "current event index (0-63)", true, VerbPollEvent},
    };
    return verbs;
}
