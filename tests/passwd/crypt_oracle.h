// The system crypt library as a black-box reference, and random texts to feed it.
//
// Windows has no crypt library. There the reference is the answers the
// system's crypt gave to the same calls on Linux: a Linux run with
// DESSEC_CRYPT_ANSWERS set appends every answer to that file, and a Windows
// run reads its answers from the one kept in tests/vectors, which the test
// crypt_answers holds to the Linux answers, so both platforms are held to the
// same bytes.
#pragma once

#if !defined(_WIN32)
#include <crypt.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>

#include "passwd/passwd.h"
#include "test_support.h"

namespace dessec_test {

// One answer per line: the password and the setting in hex, then the hash
// text ("" where crypt refused the setting), separated by spaces.
inline std::string answer_key(const std::string &passwd, const std::string &setting)
{
    return to_hex(reinterpret_cast<const unsigned char *>(passwd.data()), passwd.size()) + " "
           + to_hex(reinterpret_cast<const unsigned char *>(setting.data()), setting.size());
}

inline const char *answers_file() { return std::getenv("DESSEC_CRYPT_ANSWERS"); }

#if defined(_WIN32)

inline std::map<std::string, std::string> load_answers()
{
    std::map<std::string, std::string> answers;
    const char *file = answers_file();
    std::ifstream in(file ? file : "");
    for (std::string line; std::getline(in, line);) {
        const auto first = line.find(' '), second = line.find(' ', first + 1);
        if (first != std::string::npos && second != std::string::npos)
            answers[line.substr(0, second)] = line.substr(second + 1);
    }
    return answers;
}

// The recorded answer; a call the Linux run did not make fails the test.
inline std::string system_crypt(const std::string &passwd, const std::string &setting)
{
    static const auto answers = load_answers();
    const auto found = answers.find(answer_key(passwd, setting));
    if (found == answers.end()) {
        ADD_FAILURE() << "no recorded crypt answer for setting '" << setting
                      << "' (DESSEC_CRYPT_ANSWERS names the file a Linux run wrote)";
        return "?";
    }
    return found->second;
}

#else

inline void record_answer(const std::string &passwd, const std::string &setting, const std::string &hash)
{
    static std::mutex lock;
    static std::ofstream out(answers_file(), std::ios::app);
    const std::lock_guard hold(lock);
    out << answer_key(passwd, setting) << " " << hash << "\n" << std::flush;
}

// The system's hash text, or "" where it refuses the setting.
inline std::string system_crypt(const std::string &passwd, const std::string &setting)
{
    thread_local auto data = std::make_unique<crypt_data>();
    const char *out = crypt_r(passwd.c_str(), setting.c_str(), data.get());
    std::string hash = out == nullptr || out[0] == '*' ? std::string() : std::string(out);
    if (answers_file() != nullptr)
        record_answer(passwd, setting, hash);
    return hash;
}

#endif

// len characters with codes lo to hi.
inline std::string random_text(std::mt19937_64 &rng, std::size_t len, int lo = 1, int hi = 127)
{
    std::string s(len, '\0');
    for (auto &c : s)
        c = static_cast<char>(lo + static_cast<int>(rng() % (hi - lo + 1)));
    return s;
}

inline std::string random_crypt64(std::mt19937_64 &rng, std::size_t len)
{
    std::string s(len, '\0');
    for (auto &c : s)
        c = dessec::crypt64_alphabet[rng() % 64];
    return s;
}

}  // namespace dessec_test
