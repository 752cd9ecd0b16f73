#pragma once
// Base64 (RFC 4648 section 4 alphabet, "=" padding, no line breaks) for the SMTP authentication
// exchanges and for the SMTP password as the settings file stores it.

#include <string>
#include <string_view>

class CBase64Codec {
public:
    virtual ~CBase64Codec();

    // 4 * ceil(len / 3); 0 for len <= 0, -1 when the text length would not fit an int.
    static int EncodedLength(int len);

    // Base64 of exactly len bytes plus a terminating zero; dst holds EncodedLength(len)+1.
    // Returns the text length. A negative or oversized len writes only the terminator.
    int Encode(const unsigned char* src, int len, char* dst);

    // Decodes the zero-terminated src, skipping characters outside the alphabet; writes at most
    // dstSize bytes and nothing after them; returns the number of bytes written. Four valid
    // characters give three bytes, a final three give two, a final two give one, a final one
    // gives nothing.
    int Decode(const char* src, unsigned char* dst, int dstSize);

    std::string Encode(std::string_view bytes);
    // Decodes the whole view; a zero byte inside it is skipped like any other foreign character.
    std::string Decode(std::string_view text);
};
