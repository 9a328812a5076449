// The "$1$" MD5-based password hash, computed only to check stored hashes.
#include "passwd/passwd.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <openssl/crypto.h>
#include <openssl/md5.h>

#include "common/byte_order.h"
#include "passwd/thread_results.h"

namespace dessec {
namespace {

constexpr char md5_prefix[] = "$1$";
constexpr std::size_t md5_prefix_len = 3;
constexpr std::size_t md5_max_salt = 8;
constexpr int md5_rounds = 1000;

// The salt starts behind an optional "$1$" and ends before the first "$", at
// the NUL or after 8 characters; any other byte is taken as it is.
const char *md5_salt(const char *setting, std::size_t &len)
{
    if (std::strncmp(setting, md5_prefix, md5_prefix_len) == 0)
        setting += md5_prefix_len;
    len = 0;
    while (len < md5_max_salt && setting[len] != '\0' && setting[len] != '$')
        ++len;
    return setting;
}

// Iteration i absorbs D or P, then S, P, and P or D, by i % 2, i % 3 and
// i % 7; its message depends only on whether i is odd, i % 3 is not 0 and
// i % 7 is not 0, which kind_of_iteration packs into bits 0, 1 and 2. The
// kinds repeat every 42 iterations.
constexpr int message_kinds = 8;
constexpr int kind_cycle = 42;

constexpr std::array<unsigned char, kind_cycle> kind_of_iteration = [] {
    std::array<unsigned char, kind_cycle> kinds{};
    for (int i = 0; i < kind_cycle; ++i)
        kinds[i] = static_cast<unsigned char>(i % 2 | (i % 3 != 0) << 1 | (i % 7 != 0) << 2);
    return kinds;
}();

// Room for the padded messages of short passwords: two blocks take 16 + s +
// 2n bytes, the 0x80 byte and the 8-byte bit count for s + 2n up to 103.
constexpr std::size_t message_room = 2 * MD5_CBLOCK;
constexpr std::size_t md5_padding_min = 9;

// Compared without forming 2 * n, which can wrap for a password of half the
// address space on a 32-bit host; s_len is at most 8, so nothing below wraps.
bool messages_fit(std::size_t n, std::size_t s_len)
{
    return n <= (message_room - MD5_DIGEST_LENGTH - s_len - md5_padding_min) / 2;
}

// One kind's message, padded as MD5 pads it, with a gap of 16 bytes at d_at
// for the digest of the iteration before.
struct iteration_message {
    unsigned char bytes[message_room];
    std::size_t d_at;
    std::size_t blocks;
};

void build_message(iteration_message &m, unsigned kind, const unsigned char *p, std::size_t n, const char *s,
                   std::size_t s_len)
{
    const bool odd = kind & 1u;
    std::size_t len = 0;
    const auto put = [&](const void *bytes, std::size_t count) {
        std::memcpy(m.bytes + len, bytes, count);
        len += count;
    };
    const auto leave_digest_gap = [&] {
        m.d_at = len;
        len += MD5_DIGEST_LENGTH;
    };
    std::memset(m.bytes, 0, sizeof m.bytes);
    if (odd)
        put(p, n);
    else
        leave_digest_gap();
    if (kind & 2u)
        put(s, s_len);
    if (kind & 4u)
        put(p, n);
    if (odd)
        leave_digest_gap();
    else
        put(p, n);
    m.bytes[len] = 0x80;
    m.blocks = (len + md5_padding_min + MD5_CBLOCK - 1) / MD5_CBLOCK;
    // MD5 ends a message with its length in bits, least significant byte first.
    const std::uint64_t bits = std::uint64_t{len} * 8;
    for (int i = 0; i < 8; ++i)
        m.bytes[m.blocks * MD5_CBLOCK - 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
}

// The 1000 iterations on prebuilt, padded messages: each digest goes straight
// into the next message, which runs through the block function from the
// initial state; the digest is the state words, least significant byte first.
void iterate_on_blocks(unsigned char d[MD5_DIGEST_LENGTH], const unsigned char *p, std::size_t n, const char *s,
                       std::size_t s_len)
{
    iteration_message messages[message_kinds];
    for (unsigned kind = 0; kind < message_kinds; ++kind)
        build_message(messages[kind], kind, p, n, s, s_len);
    MD5_CTX ctx;
    MD5_Init(&ctx);
    const MD5_LONG initial[4] = {ctx.A, ctx.B, ctx.C, ctx.D};
    int k = 0;
    const auto digest_gap = [&] { return messages[kind_of_iteration[k]].bytes + messages[kind_of_iteration[k]].d_at; };
    std::memcpy(digest_gap(), d, MD5_DIGEST_LENGTH);
    for (int i = 0; i < md5_rounds; ++i) {
        const iteration_message &m = messages[kind_of_iteration[k]];
        ctx.A = initial[0];
        ctx.B = initial[1];
        ctx.C = initial[2];
        ctx.D = initial[3];
        for (std::size_t b = 0; b < m.blocks; ++b)
            MD5_Transform(&ctx, m.bytes + b * MD5_CBLOCK);
        k = k + 1 == kind_cycle ? 0 : k + 1;
        const MD5_LONG digest[4] = {ctx.A, ctx.B, ctx.C, ctx.D};
        unsigned char *const gap = digest_gap();
        for (int w = 0; w < 4; ++w)
            store_le32(gap + 4 * w, digest[w]);
    }
    std::memcpy(d, digest_gap(), MD5_DIGEST_LENGTH);
    OPENSSL_cleanse(messages, sizeof messages);
    OPENSSL_cleanse(&ctx, sizeof ctx);
}

// The 1000 iterations piece by piece, for passwords too long for
// iterate_on_blocks.
void iterate_by_pieces(unsigned char d[MD5_DIGEST_LENGTH], const unsigned char *p, std::size_t n, const char *s,
                       std::size_t s_len)
{
    MD5_CTX ctx;
    for (int i = 0; i < md5_rounds; ++i) {
        MD5_Init(&ctx);
        if (i % 2)
            MD5_Update(&ctx, p, n);
        else
            MD5_Update(&ctx, d, MD5_DIGEST_LENGTH);
        if (i % 3)
            MD5_Update(&ctx, s, s_len);
        if (i % 7)
            MD5_Update(&ctx, p, n);
        if (i % 2)
            MD5_Update(&ctx, d, MD5_DIGEST_LENGTH);
        else
            MD5_Update(&ctx, p, n);
        MD5_Final(d, &ctx);
    }
    OPENSSL_cleanse(&ctx, sizeof ctx);
}

// Digest bytes in groups of three, the first byte most significant, each
// group written as four characters from its least significant 6 bits up;
// byte 11 alone gives two characters.
void encode_digest(const unsigned char d[16], char *text)
{
    static constexpr unsigned char groups[5][3] = {{0, 6, 12}, {1, 7, 13}, {2, 8, 14}, {3, 9, 15}, {4, 10, 5}};
    for (const auto &g : groups) {
        std::uint32_t v = std::uint32_t{d[g[0]]} << 16 | std::uint32_t{d[g[1]]} << 8 | d[g[2]];
        for (int i = 0; i < 4; ++i, v >>= 6)
            *text++ = crypt64_alphabet[v & 63u];
    }
    text[0] = crypt64_alphabet[d[11] & 63u];
    text[1] = crypt64_alphabet[d[11] >> 6];
}

}  // namespace

char *passwd_md5_crypt(const char *passwd, const char *setting)
{
    thread_results *const results = this_thread_results();
    if (results == nullptr)
        return nullptr;
    const auto *p = reinterpret_cast<const unsigned char *>(passwd);
    const std::size_t n = std::strlen(passwd);
    std::size_t s_len;
    const char *s = md5_salt(setting, s_len);

    MD5_CTX main_ctx, ctx;
    unsigned char x[MD5_DIGEST_LENGTH], d[MD5_DIGEST_LENGTH];
    MD5_Init(&main_ctx);
    MD5_Update(&main_ctx, p, n);
    MD5_Update(&main_ctx, md5_prefix, md5_prefix_len);
    MD5_Update(&main_ctx, s, s_len);

    MD5_Init(&ctx);
    MD5_Update(&ctx, p, n);
    MD5_Update(&ctx, s, s_len);
    MD5_Update(&ctx, p, n);
    MD5_Final(x, &ctx);

    // All of X once per 16 password bytes, then the first n mod 16 bytes.
    for (std::size_t r = n; r > 0; r -= std::min<std::size_t>(r, 16))
        MD5_Update(&main_ctx, x, std::min<std::size_t>(r, 16));
    // One byte per bit of n up to its highest 1, the lowest bit first: a zero
    // byte for a 1 bit, the password's first byte for a 0 bit.
    std::memset(x, 0, sizeof x);
    for (std::size_t v = n; v != 0; v >>= 1)
        MD5_Update(&main_ctx, (v & 1) ? x : p, 1);
    MD5_Final(d, &main_ctx);

    if (messages_fit(n, s_len))
        iterate_on_blocks(d, p, n, s, s_len);
    else
        iterate_by_pieces(d, p, n, s, s_len);

    char *text = results->md5_crypt;
    std::memcpy(text, md5_prefix, md5_prefix_len);
    std::memcpy(text + md5_prefix_len, s, s_len);
    text[md5_prefix_len + s_len] = '$';
    encode_digest(d, text + md5_prefix_len + s_len + 1);
    text[md5_prefix_len + s_len + 1 + 22] = '\0';

    OPENSSL_cleanse(&main_ctx, sizeof main_ctx);
    OPENSSL_cleanse(&ctx, sizeof ctx);
    OPENSSL_cleanse(x, sizeof x);
    OPENSSL_cleanse(d, sizeof d);
    return text;
}

}  // namespace dessec
