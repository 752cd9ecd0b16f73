#pragma once
// RFC 1321 message digest. Used by CRAM-MD5 (through HmacMd5) and by the login password digest.

#include <cstddef>
#include <string>
#include <string_view>

void Md5(const void* data, std::size_t len, unsigned char digest[16]);

// 32 lower-case hexadecimal digits, two per digest byte; the form the login password is kept in.
std::string Md5Hex(std::string_view bytes);
