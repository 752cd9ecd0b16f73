#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "CliVerbs.h"

namespace cli {

std::string FieldText(const char* field, size_t width) {
    std::string s;
    for (size_t i = 0; i < width && field[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        s += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

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

std::string StatusText(int status) {
    switch (status) {
    case VRN_OK: return "success";
    case VRN_NOT_IDENTIFIED: return "not the expected controller";
    case VRN_BAD_FRAME: return "invalid reply frame";
    case VRN_NO_PORT: return "no serial port open";
    case VRN_WRITE_FAILED: return "writing the request failed";
    case VRN_NO_REPLY: return "no reply";
    case VRN_BAD_ARGUMENT: return "invalid argument";
    case VRN_REFUSED_M: return "refused (M)";
    case VRN_REFUSED_J: return "refused (J)";
    case VRN_NO_BUFFER: return "no reply buffer";
    case VRN_NO_SOCKET: return "no socket open";
    case VRN_OPEN_FAILED: return "cannot open the serial port";
    case VRN_BIND_FAILED: return "cannot open the UDP socket";
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "controller answered 0x%02X", status & 0xFF);
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

} // namespace cli
