// The words for a status, the same in every program that prints one.
#include <array>
#include <cstdio>
#include <string>

#include "Vrnlib.h"

namespace {

const char* NamedStatus(int status) {
    switch (status) {
    case VRN_OK:
        return "success";
    case VRN_NOT_IDENTIFIED:
        return "not the expected controller";
    case VRN_BAD_FRAME:
        return "invalid reply frame";
    case VRN_NO_PORT:
        return "no serial port open";
    case VRN_WRITE_FAILED:
        return "writing the request failed";
    case VRN_NO_REPLY:
        return "no reply";
    case VRN_BAD_ARGUMENT:
        return "invalid argument";
    case VRN_REFUSED_M:
        return "refused (M)";
    case VRN_REFUSED_J:
        return "refused (J)";
    case VRN_NO_BUFFER:
        return "no reply buffer";
    case VRN_NO_SOCKET:
        return "no socket open";
    case VRN_OPEN_FAILED:
        return "cannot open the serial port";
    case VRN_BIND_FAILED:
        return "cannot open the UDP socket";
    }
    return nullptr;
}

} // namespace

const char* VrnStatusText(int status) {
    if (const char* named = NamedStatus(status))
        return named;
    if (status < 0 || status > 0xFF)
        return "unknown status";
    // Every other status is an answer byte; the texts are made once and live as long as the
    // program, so callers may keep the pointer.
    static const std::array<std::string, 256> answers = [] {
        std::array<std::string, 256> t;
        for (int b = 0; b < 256; ++b) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "controller answered 0x%02X", b);
            t[static_cast<size_t>(b)] = buf;
        }
        return t;
    }();
    return answers[static_cast<size_t>(status)].c_str();
}
