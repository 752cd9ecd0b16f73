#include "SimFaults.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace vrnsim {

namespace {

bool ParseLong(const std::string& s, long& out) {
    if (s.empty())
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

bool ParseByte(const std::string& s, uint8_t& out) {
    if (s.size() == 1) {
        out = static_cast<uint8_t>(s[0]);
        return true;
    }
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        unsigned v = 0;
        auto [p, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), v, 16);
        if (ec == std::errc() && p == s.data() + s.size() && v <= 0xFF) {
            out = static_cast<uint8_t>(v);
            return true;
        }
    }
    return false;
}

} // namespace

bool CFaults::Use(SFault& f) {
    if (!f.on)
        return false;
    if (f.remaining > 0 && --f.remaining == 0)
        f.on = false;
    return true;
}

std::string CFaults::Command(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    long count = -1;
    if (args.size() >= 2 && args[args.size() - 2] == "count") {
        if (!ParseLong(args.back(), count) || count <= 0)
            return "count must be a positive number";
        args.resize(args.size() - 2);
    }
    if (args.empty())
        return "fault needs a kind";
    const std::string& kind = args[0];
    auto arm = [&](SFault& f) {
        f.on = true;
        f.remaining = count;
    };
    auto onOff = [&](SFault& f) -> std::string {
        if (args.size() != 2 || (args[1] != "on" && args[1] != "off"))
            return kind + " takes on or off";
        if (args[1] == "on")
            arm(f);
        else
            f = {};
        return "";
    };
    if (kind == "clear" && args.size() == 1) {
        m_silent = m_garbage = m_split = m_delay = m_refuse = {};
        return "";
    }
    if (kind == "silent")
        return onOff(m_silent);
    if (kind == "garbage")
        return onOff(m_garbage);
    if (kind == "split") {
        if (args.size() == 2 && args[1] == "off") {
            m_split = {};
            return "";
        }
        long gap = 0, at = -1;
        if (args.size() < 2 || args.size() > 3 || !ParseLong(args[1], gap) || gap < 0 ||
            (args.size() == 3 && (!ParseLong(args[2], at) || at <= 0)))
            return "split takes GAP_MS [AT] or off";
        m_splitGapMs = gap;
        m_splitAt = at;
        arm(m_split);
        return "";
    }
    if (kind == "delay") {
        long ms = 0;
        if (args.size() != 2 || !ParseLong(args[1], ms) || ms < 0)
            return "delay takes MS";
        m_delayMs = ms;
        if (ms == 0)
            m_delay = {};
        else
            arm(m_delay);
        return "";
    }
    if (kind == "refuse") {
        if (args.size() == 2 && args[1] == "off") {
            m_refuse = {};
            return "";
        }
        uint8_t b = 0;
        if (args.size() != 2 || !ParseByte(args[1], b))
            return "refuse takes a byte (0xNN or one character) or off";
        m_refuseByte = b;
        arm(m_refuse);
        return "";
    }
    return "unknown fault " + kind;
}

bool CFaults::Intercept(SReplyPlan& plan) {
    if (Use(m_silent)) {
        plan.execute = false;
        plan.send = false;
        return false;
    }
    if (Use(m_refuse)) {
        plan.execute = false;
        plan.first = BuildAnswer(m_refuseByte);
        return false;
    }
    return true;
}

void CFaults::Shape(const Bytes& reply, SReplyPlan& plan) {
    plan.first = reply;
    if (Use(m_garbage)) {
        std::uniform_int_distribution<int> dist(0, 255);
        for (uint8_t& b : plan.first)
            b = static_cast<uint8_t>(dist(m_rng));
        // Never a start byte first: the bytes must not pass as a frame by chance.
        if (!plan.first.empty() && plan.first[0] == kStart0)
            plan.first[0] = static_cast<uint8_t>(~kStart0);
    }
    if (Use(m_delay))
        plan.delayMs = m_delayMs;
    if (plan.first.size() >= 2 && Use(m_split)) {
        size_t at = m_splitAt < 0 ? plan.first.size() / 2 : static_cast<size_t>(m_splitAt);
        at = std::clamp<size_t>(at, 1, plan.first.size() - 1);
        plan.second.assign(plan.first.begin() + static_cast<std::ptrdiff_t>(at), plan.first.end());
        plan.first.resize(at);
        plan.gapMs = m_splitGapMs;
    }
}

std::string CFaults::Describe() const {
    std::string s;
    auto add = [&](const char* name, const SFault& f, const std::string& arg) {
        if (!f.on)
            return;
        if (!s.empty())
            s += ' ';
        s += name;
        if (!arg.empty())
            s += "=" + arg;
        if (f.remaining > 0)
            s += "/" + std::to_string(f.remaining);
    };
    add("silent", m_silent, "");
    add("garbage", m_garbage, "");
    add("split", m_split,
        std::to_string(m_splitGapMs) + (m_splitAt > 0 ? "," + std::to_string(m_splitAt) : ""));
    add("delay", m_delay, std::to_string(m_delayMs));
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", m_refuseByte);
    add("refuse", m_refuse, hex);
    return s.empty() ? "none" : s;
}

} // namespace vrnsim
