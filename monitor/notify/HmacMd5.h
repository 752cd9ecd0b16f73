#pragma once
// RFC 2104 keyed digest over MD5, as CRAM-MD5 answers a server challenge with it.

#include <cstddef>

void HmacMd5(const unsigned char* message, std::size_t messageLen, const unsigned char* key,
             std::size_t keyLen, unsigned char digest[16]);
