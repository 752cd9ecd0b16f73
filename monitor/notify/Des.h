#pragma once
// FIPS 46 DES on a single 8-byte block (ECB), all NTLM needs. The key is 8 bytes whose low bits
// are parity and take no part in the cipher.

void DesEncryptBlock(const unsigned char key[8], const unsigned char in[8], unsigned char out[8]);
void DesDecryptBlock(const unsigned char key[8], const unsigned char in[8], unsigned char out[8]);
