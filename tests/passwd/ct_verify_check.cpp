// Runs under memcheck: the comparison step of passwd_verify on copies marked
// undefined, so that any branch or address that depends on their bytes is
// reported as an error. Exits non-zero on a wrong result.
#include <cstdio>
#include <cstring>
#include <string>

#include <valgrind/memcheck.h>

#include "dessec.h"
#include "passwd/passwd.h"

namespace {

// The copies as verify_stored_hash makes them, compared with their bytes
// undefined; the result is made defined only once the comparison is done.
int compare_undefined(const char *computed, const char *stored)
{
    char result_copy[dessec::result_copy_size] = {};
    char stored_copy[dessec::stored_copy_size] = {};
    std::strncpy(result_copy, computed, sizeof result_copy - 1);
    std::strncpy(stored_copy, stored, sizeof stored_copy - 1);
    VALGRIND_MAKE_MEM_UNDEFINED(result_copy, sizeof result_copy);
    VALGRIND_MAKE_MEM_UNDEFINED(stored_copy, sizeof stored_copy);
    int match = dessec::copies_match(result_copy, stored_copy);
    VALGRIND_MAKE_MEM_DEFINED(&match, sizeof match);
    return match;
}

}  // namespace

int main()
{
    const char *passwd = "correct horse";
    const std::string hashes[] = {dessec::passwd_md5_crypt(passwd, "$1$saltsalt"), passwd_crypt(passwd, "ab"),
                                  passwd_crypt(passwd, "_J9..CCCC")};
    int failures = 0;
    const auto check = [&](const std::string &computed, const std::string &stored, int expected) {
        if (compare_undefined(computed.c_str(), stored.c_str()) != expected) {
            std::fprintf(stderr, "wrong result for %s against %s\n", computed.c_str(), stored.c_str());
            ++failures;
        }
    };
    for (const std::string &hash : hashes) {
        std::string last_changed = hash;
        last_changed.back() = hash.back() == 'a' ? 'b' : 'a';
        check(hash, hash, 1);
        check(hash, last_changed, 0);
        check(hash, hash.substr(0, hash.size() - 1), 0);
        check(hash, hash + "x", 0);
    }
    return failures == 0 ? 0 : 1;
}
