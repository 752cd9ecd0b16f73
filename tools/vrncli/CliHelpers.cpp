#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "CliVerbs.h"

namespace cli {

std::string Dotted(const unsigned char* ip) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    return buf;
}

std::string Mac(const unsigned char* mac) {
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return buf;
}

bool ParseNumber(const std::string& text, unsigned long lo, unsigned long hi,
                 unsigned long* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || end == nullptr || *end != '\0' || v < lo || v > hi)
        return false;
    *value = v;
    return true;
}

bool ArgCount(SCliContext& ctx, size_t min, size_t max) {
    if (ctx.args.size() >= min && ctx.args.size() <= max)
        return true;
    ctx.error = min == max
                    ? "takes " + std::to_string(min) + " argument(s)"
                    : "takes " + std::to_string(min) + " to " + std::to_string(max) + " arguments";
    return false;
}

bool ArgNumber(SCliContext& ctx, size_t i, unsigned long lo, unsigned long hi, const char* what,
               unsigned long* value) {
    if (i < ctx.args.size() && ParseNumber(ctx.args[i], lo, hi, value))
        return true;
    ctx.error = std::string(what) + " must be a number from " + std::to_string(lo) + " to " +
                std::to_string(hi);
    return false;
}

bool KeyOptions(SCliContext& ctx, const std::vector<std::string>& allowed,
                std::vector<std::pair<std::string, unsigned long>>* options) {
    while (!ctx.args.empty() && ctx.args.back().find('=') != std::string::npos) {
        const std::string word = ctx.args.back();
        const size_t eq = word.find('=');
        const std::string key = word.substr(0, eq);
        unsigned long v = 0;
        bool known = false;
        for (const std::string& a : allowed)
            known = known || a == key;
        if (!known) {
            ctx.error = "unknown option " + key;
            return false;
        }
        if (!ParseNumber(word.substr(eq + 1), 0, 255, &v)) {
            ctx.error = "option " + key + " must be a number from 0 to 255";
            return false;
        }
        options->emplace_back(key, v);
        ctx.args.pop_back();
    }
    return true;
}

std::string Hex(const unsigned char* data, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", data[i]);
        s += b;
    }
    return s;
}

} // namespace cli
