#pragma once
// NTLM version 1 pieces for SMTP "auth ntlm": the negotiate and authenticate messages, the
// password hash and the challenge response. No domain, workstation, LM response or session key.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "NTLM messages are laid out as little-endian records");

#pragma pack(push, 1)
struct sNTLM_BUFFER {
    std::uint16_t nbLength;
    std::uint16_t nbMaxLength;
    std::uint32_t nbOffset;
};
static_assert(sizeof(sNTLM_BUFFER) == 8);

struct sNTLM_NEGOTIATE {
    char nnSignature[8];
    std::uint32_t nnType;
    std::uint32_t nnFlags;
    sNTLM_BUFFER nnDomain;
    sNTLM_BUFFER nnWorkstation;
};
static_assert(sizeof(sNTLM_NEGOTIATE) == 32);
static_assert(offsetof(sNTLM_NEGOTIATE, nnFlags) == 12);
static_assert(offsetof(sNTLM_NEGOTIATE, nnWorkstation) == 24);

// Fixed head of the authenticate message; the user name and NT response follow it.
struct sNTLM_AUTHENTICATE {
    char naSignature[8];
    std::uint32_t naType;
    sNTLM_BUFFER naLmResponse;
    sNTLM_BUFFER naNtResponse;
    sNTLM_BUFFER naDomain;
    sNTLM_BUFFER naUser;
    sNTLM_BUFFER naWorkstation;
    sNTLM_BUFFER naSessionKey;
    std::uint32_t naFlags;
};
static_assert(sizeof(sNTLM_AUTHENTICATE) == 64);
static_assert(offsetof(sNTLM_AUTHENTICATE, naNtResponse) == 20);
static_assert(offsetof(sNTLM_AUTHENTICATE, naUser) == 36);
static_assert(offsetof(sNTLM_AUTHENTICATE, naSessionKey) == 52);
static_assert(offsetof(sNTLM_AUTHENTICATE, naFlags) == 60);
#pragma pack(pop)

constexpr std::uint32_t NTLM_NEGOTIATE_FLAGS = 0x202;    // OEM | NTLM
constexpr std::uint32_t NTLM_AUTHENTICATE_FLAGS = 0x201; // Unicode | NTLM

// Where a challenge message carries the server challenge, and the sizes we accept: anything
// shorter cannot hold the challenge, anything longer than our work buffer is refused.
constexpr int NTLM_CHALLENGE_OFFSET = 24;
constexpr int NTLM_CHALLENGE_MIN = 32;
constexpr int NTLM_CHALLENGE_MAX = 512;

// Each byte of the 8-bit text followed by a zero byte: no code-page conversion, no terminator.
std::vector<unsigned char> NtlmUtf16(std::string_view text);

// MD4 of the password in the form above.
void NtlmHash(std::string_view password, unsigned char hash[16]);

// Spreads 56 key bits over 8 bytes, seven per byte in the high bits, low bit for odd parity.
void NtlmDesKey(const unsigned char seven[7], unsigned char key[8]);

// The hash padded with five zero bytes, cut in three DES keys, each encrypting the challenge.
void NtlmResponse(const unsigned char hash[16], const unsigned char challenge[8],
                  unsigned char response[24]);

std::vector<unsigned char> NtlmNegotiateMessage();
std::vector<unsigned char> NtlmAuthenticateMessage(std::string_view account,
                                                   const unsigned char ntResponse[24]);

// Takes the server challenge from a decoded challenge message; false when the message is
// shorter than NTLM_CHALLENGE_MIN or longer than NTLM_CHALLENGE_MAX bytes.
bool NtlmServerChallenge(const unsigned char* message, int length, unsigned char challenge[8]);
