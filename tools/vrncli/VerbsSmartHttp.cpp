// Verbs of the SMART command and the HTTP tunnel.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "CliVerbs.h"

using nlohmann::ordered_json;

namespace {

constexpr int ATTRIBUTE_AT = 2; // entries of 12 bytes from here
constexpr int ATTRIBUTE_SIZE = 12;
constexpr int ATTRIBUTES = 30;
constexpr int OFFLINE_STATUS_AT = 362;
constexpr int OFFLINE_TIME_AT = 364;

unsigned long Le(const unsigned char* p, int n) {
    unsigned long v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

bool SubCommand(const std::string& word, unsigned long* sub) {
    static const struct {
        const char* name;
        unsigned long sub;
    } names[] = {{"data", 0},    {"thresholds", 1}, {"offline", 4},   {"enable", 8},
                 {"disable", 9}, {"rw-start", 16},  {"rw-status", 18}};
    for (const auto& n : names)
        if (word == n.name) {
            *sub = n.sub;
            return true;
        }
    return cli::ParseNumber(word, 0, 255, sub);
}

void DescribePage(ordered_json& o, unsigned long sub, const unsigned char* page) {
    ordered_json list = ordered_json::array();
    for (int i = 0; i < ATTRIBUTES; ++i) {
        const unsigned char* a = page + ATTRIBUTE_AT + i * ATTRIBUTE_SIZE;
        if (a[0] == 0)
            continue;
        if (sub == 0)
            list.push_back(ordered_json{{"id", a[0]},
                                        {"flags", Le(a + 1, 2)},
                                        {"value", a[3]},
                                        {"worst", a[4]},
                                        {"raw", Le(a + 5, 6)}});
        else
            list.push_back(ordered_json{{"id", a[0]}, {"threshold", a[1]}});
    }
    o[sub == 0 ? "attributes" : "thresholds"] = list;
    if (sub == 0) {
        o["offline_status"] = page[OFFLINE_STATUS_AT] & 0x3F;
        o["offline_seconds"] = Le(page + OFFLINE_TIME_AT, 2);
    }
}

} // namespace

// smart SUB DRIVE [ARG]
int VerbSmart(SCliContext& ctx) {
    unsigned long sub = 0, drive = 0, arg = 0;
    if (!cli::ArgCount(ctx, 2, 3))
        return VRN_BAD_ARGUMENT;
    if (!SubCommand(ctx.args[0], &sub)) {
        ctx.error = "SUB is data, thresholds, offline, enable, disable, rw-start, rw-status or "
                    "a number from 0 to 255";
        return VRN_BAD_ARGUMENT;
    }
    if (!cli::ArgNumber(ctx, 1, 0, 255, "DRIVE", &drive) ||
        (ctx.args.size() == 3 && !cli::ArgNumber(ctx, 2, 0, 255, "ARG", &arg)))
        return VRN_BAD_ARGUMENT;
    unsigned char buffer[512] = {};
    const int result =
        ctx.session.VrnExeSMART(static_cast<int>(sub), static_cast<unsigned char>(drive),
                                static_cast<unsigned char>(arg), buffer);
    ctx.out["sub"] = sub;
    ctx.out["drive"] = drive;
    if (sub == 4 || sub == 8 || sub == 9)
        ctx.out["drive_reports_failure"] = result == 1;
    if (result != VRN_OK)
        return result;
    if (sub == 0 || sub == 1) {
        DescribePage(ctx.out, sub, buffer);
        ctx.out["page"] = cli::Hex(buffer, sizeof buffer);
    } else if (sub == 18) {
        ctx.out["state"] = buffer[1];
        ctx.out["state_text"] = buffer[1] == 4 ? "finished" : buffer[1] == 5 ? "running" : "";
        ordered_json counters = ordered_json::array();
        for (int at = 2; at + 4 <= 18; at += 4)
            counters.push_back(Le(buffer + at, 4));
        ctx.out["counters"] = counters;
        ctx.out["block"] = cli::Hex(buffer, 18);
    }
    return VRN_OK;
}

// http FILE|-: the request goes out in pieces of 1024 bytes and one shorter last piece; the
// response comes back to standard output as it is (in JSON as text).
int VerbHttp(SCliContext& ctx) {
    if (!cli::ArgCount(ctx, 1, 1))
        return VRN_BAD_ARGUMENT;
    std::vector<char> request;
    if (ctx.args[0] == "-") {
        request.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(ctx.args[0], std::ios::binary);
        if (!in) {
            ctx.error = "cannot read " + ctx.args[0];
            return VRN_BAD_ARGUMENT;
        }
        request.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Only a shorter last piece is answered, so a request of whole pieces could never be.
    if (request.empty() || request.size() % VRN_HTTP_PIECE == 0) {
        ctx.error = "the request must not be empty nor a multiple of 1024 bytes long";
        return VRN_BAD_ARGUMENT;
    }
    std::vector<char> response(VRN_MAX_REPLY);
    int length = 0;
    int status = VRN_OK;
    for (size_t at = 0; at < request.size() && status == VRN_OK; at += VRN_HTTP_PIECE) {
        const size_t n = std::min<size_t>(VRN_HTTP_PIECE, request.size() - at);
        status =
            ctx.session.VrnHttp(request.data() + at, static_cast<int>(n), response.data(), &length);
    }
    if (status != VRN_OK)
        return status;
    if (ctx.json) {
        ctx.out["response_length"] = length;
        ctx.out["response"] = std::string(response.data(), static_cast<size_t>(length));
    } else {
        std::fwrite(response.data(), 1, static_cast<size_t>(length), stdout);
    }
    return VRN_OK;
}
