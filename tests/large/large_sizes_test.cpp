// The exports at sizes where 2 * count or a text's length no longer fits an int.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "dessec.h"

namespace {

struct free_deleter {
    void operator()(void *p) const { std::free(p); }
};

template <typename T>
std::unique_ptr<T[], free_deleter> allocate(std::size_t n)
{
    return std::unique_ptr<T[], free_deleter>(static_cast<T *>(std::malloc(n * sizeof(T))));
}

unsigned char pattern(std::size_t i)
{
    return static_cast<unsigned char>(i ^ (i >> 8) ^ (i >> 16) ^ (i >> 24));
}

const char *const digits = "0123456789abcdef";

}  // namespace

TEST(LargeSizes, HexCodecWithACountOf2To30Plus2)
{
    constexpr int count = (1 << 30) + 2;
    constexpr std::size_t n = count;
    const auto bytes = allocate<unsigned char>(n);
    const auto text = allocate<char>(2 * n + 2);
    ASSERT_TRUE(bytes && text) << "needs 3 GiB of memory";
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = pattern(i);
    text[2 * n + 1] = '#';

    bin2hex(count, bytes.get(), text.get());
    EXPECT_EQ(text[2 * n], '\0');
    EXPECT_EQ(text[2 * n + 1], '#');
    for (std::size_t i : {std::size_t{0}, n / 2 - 1, n / 2, n - 2, n - 1}) {
        EXPECT_EQ(text[2 * i], digits[pattern(i) >> 4]) << i;
        EXPECT_EQ(text[2 * i + 1], digits[pattern(i) & 15]) << i;
    }

    std::memset(bytes.get(), 0, n);
    hex2bin(count, text.get(), bytes.get());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < n; ++i)
        wrong += bytes[i] != pattern(i);
    EXPECT_EQ(wrong, 0u);
}

// Only the last 50 digits of a text count, however long it is.
TEST(LargeSizes, DhBaseOf2To31Plus4Characters)
{
    constexpr std::size_t len = (std::size_t{1} << 31) + 4;
    const auto base = allocate<char>(len + 1);
    ASSERT_TRUE(base) << "needs 2 GiB of memory";
    std::memset(base.get(), '0', len - 1);
    base[len - 1] = '3';
    base[len] = '\0';
    std::string exponent = "10", modulus = DESSEC_DH_MODULUS;
    char out[64];
    std::memset(out, '#', sizeof out);

    dh(base.get(), exponent.data(), modulus.data(), out);
    EXPECT_STREQ(out, "0290D741");
    EXPECT_EQ(base[len - 1], '3');
}
