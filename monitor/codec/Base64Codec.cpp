#include "Base64Codec.h"

#include <climits>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// -1 for every byte outside the alphabet, so the decoder can skip it.
struct CDecodeTable {
    signed char value[256];
    constexpr CDecodeTable() : value{} {
        for (int i = 0; i < 256; ++i) {
            value[i] = -1;
        }
        for (int i = 0; i < 64; ++i) {
            value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
        }
    }
};
constexpr CDecodeTable kDecode;

void EncodeGroup(const unsigned char* src, int n, char* dst) {
    const unsigned b0 = src[0];
    const unsigned b1 = n > 1 ? src[1] : 0;
    const unsigned b2 = n > 2 ? src[2] : 0;
    dst[0] = kAlphabet[b0 >> 2];
    dst[1] = kAlphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
    dst[2] = n > 1 ? kAlphabet[((b1 & 0x0f) << 2) | (b2 >> 6)] : '=';
    dst[3] = n > 2 ? kAlphabet[b2 & 0x3f] : '=';
}

// Feeds valid sextets into a four-character group and emits bytes while room is left.
class CDecoder {
public:
    CDecoder(unsigned char* dst, int dstSize) : m_dst(dst), m_size(dstSize) {}

    void Feed(unsigned char c) {
        const int v = kDecode.value[c];
        if (v < 0) {
            return;
        }
        m_group[m_count++] = static_cast<unsigned char>(v);
        if (m_count == 4) {
            Flush();
        }
    }

    int Finish() {
        Flush();
        return m_written;
    }

private:
    void Put(unsigned v) {
        if (m_written < m_size) {
            m_dst[m_written++] = static_cast<unsigned char>(v);
        }
    }
    void Flush() {
        if (m_count >= 2) {
            Put((m_group[0] << 2) | (m_group[1] >> 4));
        }
        if (m_count >= 3) {
            Put(((m_group[1] & 0x0f) << 4) | (m_group[2] >> 2));
        }
        if (m_count == 4) {
            Put(((m_group[2] & 0x03) << 6) | m_group[3]);
        }
        m_count = 0;
    }

    unsigned char* m_dst;
    int m_size;
    int m_written = 0;
    unsigned char m_group[4] = {};
    int m_count = 0;
};

} // namespace

CBase64Codec::~CBase64Codec() = default;

int CBase64Codec::EncodedLength(int len) {
    if (len <= 0) {
        return 0;
    }
    const long long n = 4LL * ((static_cast<long long>(len) + 2) / 3);
    return n > INT_MAX - 1 ? -1 : static_cast<int>(n);
}

int CBase64Codec::Encode(const unsigned char* src, int len, char* dst) {
    if (dst == nullptr) {
        return 0;
    }
    if (src == nullptr || EncodedLength(len) <= 0) {
        dst[0] = '\0';
        return 0;
    }
    int out = 0;
    for (int i = 0; i < len; i += 3) {
        const int n = len - i < 3 ? len - i : 3;
        EncodeGroup(src + i, n, dst + out);
        out += 4;
    }
    dst[out] = '\0';
    return out;
}

int CBase64Codec::Decode(const char* src, unsigned char* dst, int dstSize) {
    if (src == nullptr || dst == nullptr || dstSize <= 0) {
        return 0;
    }
    CDecoder decoder(dst, dstSize);
    for (const char* p = src; *p != '\0'; ++p) {
        decoder.Feed(static_cast<unsigned char>(*p));
    }
    return decoder.Finish();
}

std::string CBase64Codec::Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const int n = bytes.size() - i < 3 ? static_cast<int>(bytes.size() - i) : 3;
        char group[4];
        EncodeGroup(p + i, n, group);
        out.append(group, 4);
    }
    return out;
}

std::string CBase64Codec::Decode(std::string_view text) {
    std::string out(text.size() / 4 * 3 + 3, '\0');
    const int room = out.size() > INT_MAX ? INT_MAX : static_cast<int>(out.size());
    CDecoder decoder(reinterpret_cast<unsigned char*>(out.data()), room);
    for (char c : text) {
        decoder.Feed(static_cast<unsigned char>(c));
    }
    out.resize(static_cast<std::size_t>(decoder.Finish()));
    return out;
}
