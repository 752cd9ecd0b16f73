#include "SimControl.h"

#include "SimJson.h"

#include <charconv>
#include <sstream>

namespace vrnsim {

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    std::string s;
    while (in >> s)
        w.push_back(s);
    return w;
}

bool Num(const std::string& s, int& out) {
    int base = 10;
    const char* b = s.data();
    const char* e = s.data() + s.size();
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        b += 2;
    }
    auto [p, ec] = std::from_chars(b, e, out, base);
    return !s.empty() && ec == std::errc() && p == e;
}

std::string Hex(const Bytes& b) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < b.size(); ++i) {
        if (i)
            s += ' ';
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

std::string Reply(const std::string& err) {
    return err.empty() ? "ok" : "err " + err;
}

} // namespace

std::string CSimControl::HelpText() {
    return "  frames | bytes | stats | last-frame | reset-counters | state | faults\n"
           "  fault silent on|off | fault garbage on|off | fault split GAP_MS [AT] | fault split "
           "off\n"
           "  fault delay MS | fault refuse BYTE|off | fault clear   (any fault: trailing `count "
           "N`)\n"
           "  event add CATEGORY TYPE CHANNEL [TEXT]   adds an event and advances the index\n"
           "  fan N stop|run | power N fail|ok | rail N MILLIVOLTS | temp N CELSIUS | ups VALUE\n"
           "      (fans, supplies, rails and sensors count from 1)\n"
           "  drive N fail|ok|remove|insert | volume N fail|ok   (drives and volumes count from "
           "0)\n"
           "  smart DRIVE ATTRIBUTE_ID VALUE | password TEXT | event-index\n";
}

std::string CSimControl::Execute(const std::string& line, int64_t nowMs) {
    std::vector<std::string> w = Words(line);
    if (w.empty())
        return "err empty request";
    m_model.Tick(nowMs);
    const std::string& c = w[0];
    if (w.size() == 1) {
        if (c == "frames")
            return "ok " + std::to_string(m_counters.frames);
        if (c == "bytes")
            return "ok " + std::to_string(m_counters.bytes);
        if (c == "last-frame")
            return m_counters.lastFrame.empty() ? "ok" : "ok " + Hex(m_counters.lastFrame);
        if (c == "reset-counters") {
            m_counters = SCounters{};
            return "ok";
        }
        if (c == "stats")
            return "ok frames=" + std::to_string(m_counters.frames) +
                   " bytes=" + std::to_string(m_counters.bytes) +
                   " bad-checksum=" + std::to_string(m_counters.badChecksum) +
                   " junk-bytes=" + std::to_string(m_counters.junkBytes) +
                   " abandoned=" + std::to_string(m_counters.abandoned) +
                   " udp-dropped=" + std::to_string(m_counters.udpDropped) +
                   " replies=" + std::to_string(m_counters.replies) +
                   " unsent=" + std::to_string(m_counters.unsent);
        if (c == "state")
            return "ok " + StateJson(m_model);
        if (c == "faults")
            return "ok " + m_faults.Describe();
        if (c == "event-index")
            return "ok " + std::to_string(m_model.EventIndex());
    }
    if (c == "fault")
        return Reply(m_faults.Command(std::vector<std::string>(w.begin() + 1, w.end())));
    if (c == "password") {
        // The password may contain blanks; take the rest of the line after the word.
        size_t at = line.find("password") + 8;
        while (at < line.size() && line[at] == ' ')
            ++at;
        std::string pw = line.substr(at);
        while (!pw.empty() && (pw.back() == '\r' || pw.back() == '\n'))
            pw.pop_back();
        return Reply(m_model.SetPassword(pw));
    }
    return Model(w);
}

std::string CSimControl::Model(const std::vector<std::string>& w) {
    const std::string& c = w[0];
    int a = 0, b = 0, d = 0;
    if (c == "event" && w.size() >= 5 && w[1] == "add") {
        if (!Num(w[2], a) || !Num(w[3], b) || !Num(w[4], d))
            return "err event add takes CATEGORY TYPE CHANNEL [TEXT]";
        std::string text;
        for (size_t i = 5; i < w.size(); ++i)
            text += (i > 5 ? " " : "") + w[i];
        return Reply(m_model.AddEvent(a, b, d, text));
    }
    if (w.size() == 3 && Num(w[1], a)) {
        const std::string& v = w[2];
        if (c == "fan" && (v == "stop" || v == "run"))
            return Reply(m_model.SetFan(a, v == "run"));
        if (c == "power" && (v == "fail" || v == "ok"))
            return Reply(m_model.SetPower(a, v == "ok"));
        if (c == "rail" && Num(v, b))
            return Reply(m_model.SetRail(a, b));
        if (c == "temp" && Num(v, b))
            return Reply(m_model.SetTemp(a, b));
        if (c == "drive")
            return Reply(m_model.SetDrive(a, v));
        if (c == "volume" && (v == "fail" || v == "ok"))
            return Reply(m_model.SetVolume(a, v == "fail"));
    }
    if (c == "ups" && w.size() == 2 && Num(w[1], a))
        return Reply(m_model.SetUps(a));
    if (c == "smart" && w.size() == 4 && Num(w[1], a) && Num(w[2], b) && Num(w[3], d))
        return Reply(m_model.SetSmartValue(a, b, d));
    return "err unknown command or arguments: " + c;
}

} // namespace vrnsim
