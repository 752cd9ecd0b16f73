// Request frames written out by hand from the command layouts, independent of the library's
// own frame builder, and the way each operation maps a bare answer byte to its status.
#pragma once

#include <functional>
#include <string>

#include "ScriptedPeer.h"

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A request: the command code and its data, framed by the test's own MakeFrame.
inline Bytes Req(unsigned char code, const Bytes& data = {}) {
    return MakeFrame(Bytes{code} + data);
}

// Text in a fixed field, padded with pad.
inline Bytes Field(const std::string& text, size_t width, unsigned char pad) {
    Bytes b(width, pad);
    std::copy_n(text.begin(), std::min(width, text.size()), b.begin());
    return b;
}

inline Bytes Le32(unsigned v) {
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

inline Bytes Zeros(size_t n) {
    return Bytes(n, 0);
}

inline const Bytes kAccess8 = Bytes{0x08} + Field("ToPiLuNe", 8, 0);
inline const Bytes kAccess16 = Bytes{0x0F} + Field("MeRiDoNaLtUbIxE ", 16, 0);
inline const Bytes kSmartMarker = {'Q', 'n', 'd', 'L'};

// How an operation turns a bare answer byte into its status.
enum class EPat {
    Query,      // data when 'A' or 0; 'M' 8
    Ack,        // 'M' 8; 0 is no confirmation (2)
    Password,   // 'J' 9; 0 is no confirmation (2)
    Raw,        // 'A' and 0 are data; the rest unmapped
    Answer,     // 'A' 0; the rest unmapped, 0 gives 2
    Valid,      // every valid reply is 0
    Identify,   // every bare byte returned, 0 as "not identified"
    SmartData,  // a bare 'A' or 0 is not the expected reply length (2)
    SmartStart, // only 'A' starts the test
};

inline int ExpectedForAnswer(EPat p, unsigned char b) {
    switch (p) {
    case EPat::Query:
        return b == 'A' || b == 0 ? 0 : b == 'M' ? 8 : b;
    case EPat::Ack:
        return b == 'A' ? 0 : b == 0 ? 2 : b == 'M' ? 8 : b;
    case EPat::Password:
        return b == 'A' ? 0 : b == 0 ? 2 : b == 'J' ? 9 : b;
    case EPat::Raw:
        return b == 'A' || b == 0 ? 0 : b;
    case EPat::Answer:
        return b == 'A' ? 0 : b == 0 ? 2 : b;
    case EPat::Valid:
        return 0;
    case EPat::Identify:
        return b == 0 ? 1 : b;
    case EPat::SmartData:
        return b == 'A' || b == 0 ? 2 : b;
    case EPat::SmartStart:
        return b == 'A' ? 0 : b == 0 ? 2 : b;
    }
    return -1;
}

struct SGolden {
    const char* name;
    std::function<int(CTestSession&)> op;
    Bytes request; // exactly what must reach the controller
    Bytes reply;   // a reply the operation takes as success
    EPat pattern;
};
