#include "Ntlm.h"

#include "Des.h"
#include "Md4.h"

#include <cstring>

namespace {

constexpr char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};

sNTLM_BUFFER Buffer(std::uint16_t length, std::uint32_t offset) {
    return sNTLM_BUFFER{length, length, offset};
}

} // namespace

std::vector<unsigned char> NtlmUtf16(std::string_view text) {
    std::vector<unsigned char> out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        out.push_back(static_cast<unsigned char>(c));
        out.push_back(0);
    }
    return out;
}

void NtlmHash(std::string_view password, unsigned char hash[16]) {
    const std::vector<unsigned char> wide = NtlmUtf16(password);
    Md4(wide.data(), wide.size(), hash);
}

void NtlmDesKey(const unsigned char seven[7], unsigned char key[8]) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 7; ++i) {
        bits = (bits << 8) | seven[i];
    }
    for (int i = 0; i < 8; ++i) {
        unsigned char b = static_cast<unsigned char>((bits >> (49 - 7 * i)) << 1);
        int ones = 0;
        for (unsigned char v = b; v != 0; v >>= 1) {
            ones += v & 1;
        }
        if (ones % 2 == 0) {
            b |= 1;
        }
        key[i] = b;
    }
}

void NtlmResponse(const unsigned char hash[16], const unsigned char challenge[8],
                  unsigned char response[24]) {
    unsigned char padded[21] = {};
    std::memcpy(padded, hash, 16);
    for (int i = 0; i < 3; ++i) {
        unsigned char key[8];
        NtlmDesKey(padded + 7 * i, key);
        DesEncryptBlock(key, challenge, response + 8 * i);
    }
}

std::vector<unsigned char> NtlmNegotiateMessage() {
    sNTLM_NEGOTIATE msg{};
    std::memcpy(msg.nnSignature, kSignature, sizeof kSignature);
    msg.nnType = 1;
    msg.nnFlags = NTLM_NEGOTIATE_FLAGS;
    const auto* p = reinterpret_cast<const unsigned char*>(&msg);
    return std::vector<unsigned char>(p, p + sizeof msg);
}

std::vector<unsigned char> NtlmAuthenticateMessage(std::string_view account,
                                                   const unsigned char ntResponse[24]) {
    std::vector<unsigned char> user = NtlmUtf16(account);
    // The security-buffer length is 16 bits; a longer name could not be described.
    if (user.size() > 0xfff0) {
        user.resize(0xfff0);
    }
    const auto u = static_cast<std::uint16_t>(user.size());
    constexpr std::uint32_t kHead = sizeof(sNTLM_AUTHENTICATE);

    sNTLM_AUTHENTICATE head{};
    std::memcpy(head.naSignature, kSignature, sizeof kSignature);
    head.naType = 3;
    head.naLmResponse = Buffer(0, kHead + u);
    head.naNtResponse = Buffer(24, kHead + u);
    head.naDomain = Buffer(0, kHead);
    head.naUser = Buffer(u, kHead);
    head.naWorkstation = Buffer(0, kHead + u);
    head.naSessionKey = Buffer(0, kHead + u + 24);
    head.naFlags = NTLM_AUTHENTICATE_FLAGS;

    std::vector<unsigned char> out(kHead + u + 24);
    std::memcpy(out.data(), &head, kHead);
    if (u > 0) {
        std::memcpy(out.data() + kHead, user.data(), u);
    }
    std::memcpy(out.data() + kHead + u, ntResponse, 24);
    return out;
}

bool NtlmServerChallenge(const unsigned char* message, int length, unsigned char challenge[8]) {
    if (message == nullptr || length < NTLM_CHALLENGE_MIN || length > NTLM_CHALLENGE_MAX) {
        return false;
    }
    std::memcpy(challenge, message + NTLM_CHALLENGE_OFFSET, 8);
    return true;
}
