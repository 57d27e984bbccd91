#include "md4.h"

#include <cstring>

namespace {

constexpr uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
constexpr uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); }
constexpr uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
constexpr uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void Round1(uint32_t &a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s)
{
    a = Rotl(a + F(b, c, d) + x, s);
}
void Round2(uint32_t &a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s)
{
    a = Rotl(a + G(b, c, d) + x + 0x5a827999u, s);
}
void Round3(uint32_t &a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s)
{
    a = Rotl(a + H(b, c, d) + x + 0x6ed9eba1u, s);
}

void Encode(uint8_t *out, const uint32_t *in, size_t len)
{
    for (size_t i = 0, j = 0; j < len; ++i, j += 4) {
        out[j] = uint8_t(in[i]);
        out[j + 1] = uint8_t(in[i] >> 8);
        out[j + 2] = uint8_t(in[i] >> 16);
        out[j + 3] = uint8_t(in[i] >> 24);
    }
}

void Decode(uint32_t *out, const uint8_t *in, size_t len)
{
    for (size_t i = 0, j = 0; j < len; ++i, j += 4)
        out[i] = uint32_t(in[j]) | uint32_t(in[j + 1]) << 8 | uint32_t(in[j + 2]) << 16 |
                 uint32_t(in[j + 3]) << 24;
}

void Transform(uint32_t state[4], const uint8_t block[64])
{
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], x[16];
    Decode(x, block, 64);

    static const int r1[4] = {3, 7, 11, 19};
    for (int i = 0; i < 16; i += 4) {
        Round1(a, b, c, d, x[i], r1[0]);
        Round1(d, a, b, c, x[i + 1], r1[1]);
        Round1(c, d, a, b, x[i + 2], r1[2]);
        Round1(b, c, d, a, x[i + 3], r1[3]);
    }
    static const int r2[4] = {3, 5, 9, 13};
    for (int i = 0; i < 4; ++i) {
        Round2(a, b, c, d, x[i], r2[0]);
        Round2(d, a, b, c, x[i + 4], r2[1]);
        Round2(c, d, a, b, x[i + 8], r2[2]);
        Round2(b, c, d, a, x[i + 12], r2[3]);
    }
    static const int r3[4] = {3, 9, 11, 15};
    static const int order[4] = {0, 2, 1, 3};
    for (int i : order) {
        Round3(a, b, c, d, x[i], r3[0]);
        Round3(d, a, b, c, x[i + 8], r3[1]);
        Round3(c, d, a, b, x[i + 4], r3[2]);
        Round3(b, c, d, a, x[i + 12], r3[3]);
    }

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    std::memset(x, 0, sizeof x);
}

} // namespace

void MD4Init(MD4_CTX *context)
{
    context->count[0] = context->count[1] = 0;
    context->state[0] = 0x67452301u;
    context->state[1] = 0xefcdab89u;
    context->state[2] = 0x98badcfeu;
    context->state[3] = 0x10325476u;
}

void MD4Update(MD4_CTX *context, const uint8_t *input, size_t length)
{
    size_t index = (context->count[0] >> 3) & 0x3F;
    uint64_t bits = uint64_t(context->count[1]) << 32 | context->count[0];
    bits += uint64_t(length) << 3;
    context->count[0] = uint32_t(bits);
    context->count[1] = uint32_t(bits >> 32);

    size_t partLen = 64 - index;
    size_t i = 0;
    if (length >= partLen) {
        std::memcpy(&context->buffer[index], input, partLen);
        Transform(context->state, context->buffer);
        for (i = partLen; i + 63 < length; i += 64)
            Transform(context->state, &input[i]);
        index = 0;
    }
    if (length > i)
        std::memcpy(&context->buffer[index], &input[i], length - i);
}

void MD4Final(uint8_t digest[16], MD4_CTX *context)
{
    static const uint8_t padding[64] = {0x80};
    uint8_t bits[8];
    Encode(bits, context->count, 8);

    size_t index = (context->count[0] >> 3) & 0x3f;
    size_t padLen = index < 56 ? 56 - index : 120 - index;
    MD4Update(context, padding, padLen);
    MD4Update(context, bits, 8);
    Encode(digest, context->state, 16);
    std::memset(context, 0, sizeof *context);
}

void MD4_calc(uint8_t digest[16], const uint8_t *input, size_t length)
{
    MD4_CTX context;
    MD4Init(&context);
    MD4Update(&context, input, length);
    MD4Final(digest, &context);
}
