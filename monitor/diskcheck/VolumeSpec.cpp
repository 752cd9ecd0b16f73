#include "VolumeSpec.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        parts.push_back(
            text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

// Index of `word` in `words`, -1 when it is none of them.
int Choose(const std::string& word,
           std::initializer_list<std::initializer_list<const char*>> words) {
    int index = 0;
    for (const auto& spellings : words) {
        for (const char* w : spellings)
            if (word == w)
                return index;
        ++index;
    }
    return -1;
}

bool ParseInt(const std::string& text, int lo, int hi, int* out) {
    if (text.empty() || text.size() > 3)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    const int v = std::atoi(text.c_str());
    if (v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

} // namespace

bool ParseVolumeSpec(const std::string& text, SVolumeChoice* choice, std::string* error) {
    const std::vector<std::string> f = Split(text, ',');
    SVolumeChoice c;
    if (f.size() < 2 || f.size() > 9) {
        *error = "expected NAME,CAPACITY[,LEVEL,INIT,STRIPE,CACHE,TAGGED,SPEED,CH:ID:LUN]";
        return false;
    }
    if (f[0].size() > static_cast<size_t>(VOLUME_NAME_BYTES)) {
        *error = "the name has more than 16 bytes";
        return false;
    }
    c.name = f[0];
    errno = 0;
    char* end = nullptr;
    c.capacity = std::strtod(f[1].c_str(), &end);
    if (f[1].empty() || *end != '\0' || errno == ERANGE) {
        *error = "the capacity is not a number";
        return false;
    }
    struct SField {
        const char* what;
        int* target;
        std::initializer_list<std::initializer_list<const char*>> words;
    };
    const SField fields[] = {
        {"raid level", &c.raidLevel, {{"0"}, {"1", "1(0+1)"}, {"3"}, {"5"}, {"6"}}},
        {"initialization mode", &c.initMode, {{"background"}, {"foreground"}}},
        {"stripe size", &c.stripe, {{"4"}, {"8"}, {"16"}, {"32"}, {"64"}, {"128"}}},
        {"cache mode", &c.cache, {{"through"}, {"back"}}},
        {"tagged queuing", &c.tag, {{"disabled"}, {"enabled"}}},
        {"speed", &c.speed, {{"async"}, {"20"}, {"40"}, {"80"}, {"160"}}},
    };
    for (size_t i = 0; i < std::size(fields) && 2 + i < f.size(); ++i) {
        const std::string& word = f[2 + i];
        if (word.empty())
            continue;
        const int index = Choose(word, fields[i].words);
        if (index < 0) {
            *error = std::string("unknown ") + fields[i].what + " \"" + word + "\"";
            return false;
        }
        *fields[i].target = index;
    }
    if (f.size() == 9 && !f[8].empty()) {
        const std::vector<std::string> a = Split(f[8], ':');
        if (a.size() != 3 || !ParseInt(a[0], 0, VOLUME_CHANNELS - 1, &c.channel) ||
            !ParseInt(a[1], 0, VOLUME_IDS - 1, &c.id) ||
            !ParseInt(a[2], 0, VOLUME_LUNS - 1, &c.lun)) {
            *error = "the address is not CHANNEL:ID:LUN within 0-1:0-15:0-7";
            return false;
        }
    }
    *choice = c;
    return true;
}
