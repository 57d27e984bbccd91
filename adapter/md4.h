// The MD4 message digest of RFC 1320.
#pragma once

#include <cstddef>
#include <cstdint>

struct MD4_CTX {
    uint32_t state[4];   // A, B, C, D
    uint32_t count[2];   // number of bits, modulo 2^64, low word first
    uint8_t buffer[64];  // input not yet processed
};

void MD4Init(MD4_CTX *context);
void MD4Update(MD4_CTX *context, const uint8_t *input, size_t length);
// Writes the 16-byte digest and clears the context.
void MD4Final(uint8_t digest[16], MD4_CTX *context);
// The three steps over one buffer.
void MD4_calc(uint8_t digest[16], const uint8_t *input, size_t length);
