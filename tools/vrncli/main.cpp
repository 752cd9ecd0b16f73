// vrncli: the controller access library on the command line.
//   vrncli --serial NAME|--udp ADDR[:PORT] [--timeout S] [--json] VERB [ARGS]
// The exit status is the library's status (0 on success); usage errors exit with 6.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "CliVerbs.h"
#include "VrnDevice.h"

namespace {

struct SOptions {
    std::string serial;
    std::string udpAddr;
    int udpPort = VRN_AGENT_PORT;
    bool haveTimeout = false;
    unsigned int timeout = 0;
    bool json = false;
    bool help = false;
    std::string verb;
    std::vector<std::string> args;
};

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: vrncli --serial NAME|--udp ADDR[:PORT] [--timeout S] [--json] VERB "
                 "[ARGS]\n"
                 "  --serial NAME   serial port below /dev (e.g. ttyS0, pts/3), or a path that\n"
                 "                  resolves to one (symbolic links are followed)\n"
                 "  --udp ADDR[:PORT]  agent address, port %d unless given\n"
                 "  --timeout S     reply wait in UDP mode, seconds\n"
                 "  --json          print one JSON object\n"
                 "exit status: the library status (0 success, 5 no reply, ...), 6 for usage "
                 "errors\n"
                 "verbs:\n",
                 VRN_AGENT_PORT);
    for (const SVerb& v : CliVerbs())
        std::fprintf(to, "  %-20s %-20s %s\n", v.name, v.usage, v.help);
}

bool Fail(const std::string& msg) {
    std::fprintf(stderr, "vrncli: %s\n", msg.c_str());
    return false;
}

bool ParseArgs(int argc, char** argv, SOptions* o) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                Fail(std::string(a) + " needs " + what);
                return nullptr;
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            o->help = true;
        } else if (a == "--json") {
            o->json = true;
        } else if (a == "--serial") {
            const char* v = value("a device name");
            if (v == nullptr)
                return false;
            o->serial = v;
        } else if (a == "--udp") {
            const char* v = value("an address");
            if (v == nullptr)
                return false;
            std::string s = v;
            const size_t colon = s.rfind(':');
            if (colon != std::string::npos) {
                unsigned long port = 0;
                if (!cli::ParseNumber(s.substr(colon + 1), 1, 65535, &port))
                    return Fail("bad port in --udp " + s);
                o->udpPort = static_cast<int>(port);
                s.resize(colon);
            }
            o->udpAddr = s;
        } else if (a == "--timeout") {
            const char* v = value("seconds");
            if (v == nullptr)
                return false;
            unsigned long t = 0;
            if (!cli::ParseNumber(v, 0, UINT_MAX, &t))
                return Fail(std::string("bad --timeout ") + v);
            o->haveTimeout = true;
            o->timeout = static_cast<unsigned int>(t);
        } else if (a.size() > 1 && a[0] == '-') {
            return Fail("unknown option " + a);
        } else {
            break;
        }
    }
    if (i < argc) {
        o->verb = argv[i++];
        for (; i < argc; ++i)
            o->args.emplace_back(argv[i]);
    }
    return true;
}

// The library opens serial ports by their name below /dev; a path (a symbolic link such
// as the simulator's --link, or /dev/... itself) is resolved to that name first.
bool SerialName(const std::string& given, std::string* name) {
    if (given.empty())
        return Fail("--serial needs a device name");
    if (given[0] != '/' && given[0] != '.') {
        *name = given;
        return true;
    }
    std::string resolved;
    switch (VrnDeviceName(given, name, &resolved)) {
    case EVrnDevice::Unresolved:
        return Fail("cannot resolve " + given + ": " + std::strerror(errno));
    case EVrnDevice::NotBelowDev:
        return Fail(given + " is not a device below /dev (" + resolved + ")");
    case EVrnDevice::Ok:
    case EVrnDevice::TooLong: // the library refuses it with its own status
        return true;
    }
    return false;
}

// Text output: one "key: value" line per field, nested records as key.field, list entries
// that are records as key[i].field.
void PrintValue(const std::string& key, const nlohmann::ordered_json& v) {
    if (v.is_object()) {
        for (auto it = v.begin(); it != v.end(); ++it)
            PrintValue(key.empty() ? it.key() : key + "." + it.key(), *it);
    } else if (v.is_array() && !v.empty() && v.front().is_object()) {
        for (size_t i = 0; i < v.size(); ++i)
            PrintValue(key + "[" + std::to_string(i) + "]", v[i]);
    } else if (v.is_string()) {
        std::printf("%s: %s\n", key.c_str(), v.get<std::string>().c_str());
    } else {
        std::printf("%s: %s\n", key.c_str(),
                    v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    }
}

void PrintText(const nlohmann::ordered_json& o) {
    PrintValue("", o);
}

} // namespace

int main(int argc, char** argv) {
    SOptions opt;
    if (!ParseArgs(argc, argv, &opt)) {
        Usage(stderr);
        return VRN_BAD_ARGUMENT;
    }
    if (opt.help || opt.verb == "help") {
        Usage(stdout);
        return 0;
    }
    if (opt.verb.empty()) {
        Usage(stderr);
        return VRN_BAD_ARGUMENT;
    }
    const SVerb* verb = nullptr;
    for (const SVerb& v : CliVerbs())
        if (opt.verb == v.name)
            verb = &v;
    if (verb == nullptr) {
        Fail("unknown verb " + opt.verb);
        Usage(stderr);
        return VRN_BAD_ARGUMENT;
    }
    if (!opt.serial.empty() && !opt.udpAddr.empty()) {
        Fail("give either --serial or --udp, not both");
        return VRN_BAD_ARGUMENT;
    }

    CVrnlibSMART session;
    int status = VRN_OK;
    if (verb->needsSession) {
        if (!opt.serial.empty()) {
            std::string name;
            if (!SerialName(opt.serial, &name))
                return VRN_BAD_ARGUMENT;
            status = session.VrnInitSession(name.c_str());
        } else if (!opt.udpAddr.empty()) {
            status = session.VrnInitSession(opt.udpAddr.c_str(), opt.udpPort);
        } else {
            Fail(std::string("verb ") + verb->name + " needs --serial or --udp");
            return VRN_BAD_ARGUMENT;
        }
    }
    if (opt.haveTimeout)
        session.VrnSetTimeOut(opt.timeout);

    SCliContext ctx{session, opt.args, nlohmann::ordered_json::object(), {}};
    ctx.json = opt.json;
    if (status == VRN_OK)
        status = verb->run(ctx);
    if (!ctx.error.empty()) {
        Fail(std::string(verb->name) + ": " + ctx.error);
        return VRN_BAD_ARGUMENT;
    }

    if (opt.json) {
        nlohmann::ordered_json doc;
        doc["verb"] = verb->name;
        doc["status"] = status;
        doc["status_text"] = VrnStatusText(status);
        for (auto it = ctx.out.begin(); it != ctx.out.end(); ++it)
            doc[it.key()] = *it;
        // Controller text may be any bytes: never let an invalid sequence stop the output.
        std::printf("%s\n",
                    doc.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        PrintText(ctx.out);
        if (status != VRN_OK)
            std::fprintf(stderr, "vrncli: %s: status %d (%s)\n", verb->name, status,
                         VrnStatusText(status));
    }
    return status;
}
