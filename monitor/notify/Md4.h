#pragma once
// RFC 1320 message digest; NTLM derives its password hash from it.

#include <cstddef>

void Md4(const void* data, std::size_t len, unsigned char digest[16]);
