// The random source under a libcrypto configuration that breaks libcrypto's
// generator (ctest runs the Fallback cases so), and the caller's errno
// across every export (the Errno cases, under a configuration file that does
// not exist, whose search leaves errno set inside libcrypto).
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <set>
#include <string>

#include <openssl/err.h>
#include <openssl/rand.h>

#if defined(__linux__)
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "common/random.h"
#include "dessec.h"

namespace {

// Leaves the thread's error queue empty.
bool libcrypto_generator_works()
{
    unsigned char probe[4];
    const bool works = RAND_bytes(probe, sizeof probe) == 1;
    ERR_clear_error();
    return works;
}

TEST(Fallback, SystemGeneratorFillsWhatItIsAskedFor)
{
    unsigned char a[32] = {}, b[32] = {};
    ASSERT_TRUE(dessec::system_random_bytes(a, sizeof a));
    ASSERT_TRUE(dessec::system_random_bytes(b, sizeof b));
    EXPECT_NE(0, std::memcmp(a, b, sizeof a));
}

TEST(Fallback, SaltsAndKeyPairsComeFromTheSystemWhenLibcryptoFails)
{
    if (libcrypto_generator_works())
        GTEST_SKIP() << "libcrypto's generator works under this configuration: nothing to fall back from";
    std::set<std::string> salts;
    for (int i = 0; i < 16; ++i) {
        char salt[DESSEC_SALT_BUFFER];
        passwd_saltgen(salt);
        salts.insert(salt);
    }
    EXPECT_GT(salts.size(), 8u);  // 16 draws of 12 bits; ".." alone is the failure
    EXPECT_EQ(0u, ERR_peek_error()) << "libcrypto's failures stay on the caller's error queue";

    char secret[DESSEC_KEY_BUFFER], public_key[DESSEC_KEY_BUFFER];
    ASSERT_EQ(0, dh_keysGenerator(secret, public_key));
    EXPECT_EQ(48u, std::strlen(secret));
    char base[] = DESSEC_DH_BASE, modulus[] = DESSEC_DH_MODULUS, out[DESSEC_DH_OUT_BUFFER] = "";
    dh(base, secret, modulus, out);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_STREQ(out, public_key);
}

#if defined(__linux__)
// In a child whose getrandom fails with ENOSYS, as on a kernel without it:
// with libcrypto's generator broken too, both calls report the failure.
TEST(Fallback, FailureOnlyWhenBothGeneratorsFail)
{
    if (libcrypto_generator_works())
        GTEST_SKIP() << "libcrypto's generator works under this configuration";
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        sock_filter deny_getrandom[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getrandom, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        const sock_fprog program = {sizeof deny_getrandom / sizeof deny_getrandom[0], deny_getrandom};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            _exit(77);
        char salt[DESSEC_SALT_BUFFER] = "ab";
        char secret[DESSEC_KEY_BUFFER] = "x", public_key[DESSEC_KEY_BUFFER] = "x";
        const bool failed = passwd_saltgen(salt) == 0 && std::strcmp(salt, "..") == 0
                            && dh_keysGenerator(secret, public_key) == -1 && secret[0] == '\0'
                            && public_key[0] == '\0';
        _exit(failed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no system call filter here";
    EXPECT_EQ(0, WEXITSTATUS(status));
}
#endif

// Every export, the first calls of the random source among them, leaves
// errno as the caller set it.
TEST(Errno, EveryCallKeepsTheCallersErrno)
{
    constexpr int mark = 12345;
    const struct {
        const char *name;
        void (*call)();
    } calls[] = {
        {"passwd_saltgen", [] { char s[DESSEC_SALT_BUFFER]; passwd_saltgen(s); }},
        {"dh_keysGenerator", [] { char s[DESSEC_KEY_BUFFER], p[DESSEC_KEY_BUFFER]; dh_keysGenerator(s, p); }},
        {"dh", [] { char b[] = "3", e[] = "10", m[] = "", o[DESSEC_DH_OUT_BUFFER]; dh(b, e, m, o); }},
        {"ecb_crypt", [] { char k[8] = {}, d[8] = {}; ecb_crypt(k, d, 8, des_mode_encrypt); }},
        {"cbc_crypt", [] { char k[8] = {}, d[8] = {}, v[8] = {}; cbc_crypt(k, d, 9, des_mode_encrypt, v); }},
        {"des_setparity", [] { char k[8] = {}; des_setparity(k); }},
        {"hex2bin", [] { unsigned char o[2]; hex2bin(2, "zz??", o); }},
        {"bin2hex", [] { const unsigned char b[2] = {1, 2}; char o[5]; bin2hex(2, b, o); }},
        {"xencrypt", [] { char t[] = "0123456789abcdef"; xencrypt(t, "pw"); }},
        {"xdecrypt", [] { char t[] = "0123456789abcde"; xdecrypt(t, "pw"); }},
        {"decrypt_secret_key", [] { char t[] = "00"; decrypt_secret_key(t, "pw"); }},
        {"passwd_crypt", [] { passwd_crypt("pw", "_J9..CCCC"); }},
        {"passwd_verify", [] { passwd_verify("pw", "$1$salt$abcdefghijklmnopqrstuv"); }},
    };
    for (const auto &c : calls) {
        errno = mark;
        c.call();
        EXPECT_EQ(mark, errno) << c.name;
    }
}

}  // namespace
