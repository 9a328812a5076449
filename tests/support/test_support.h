// Shared helpers of the test suites: hex conversion, known-answer files,
// a fixed-seed generator and the scale of randomized loops.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace dessec_test {

using bytes = std::vector<unsigned char>;

bytes from_hex(const std::string &hex);
std::string to_hex(const unsigned char *data, std::size_t len);
inline std::string to_hex(const bytes &data) { return to_hex(data.data(), data.size()); }

// One record of a known-answer file: "name = value" lines, records separated
// by blank lines, "#" starting a comment line.
using vector_record = std::map<std::string, std::string>;
std::vector<vector_record> read_vectors(const std::string &file_name);

// Number of rounds for a randomized loop: `nominal` scaled by DESSEC_TEST_SCALE
// (a memory-checking run turns it down), at least 1.
int rounds(int nominal);

// Every randomized test starts from the same seed, so a failure repeats.
inline std::mt19937_64 seeded_rng(std::uint64_t salt = 0) { return std::mt19937_64(0x5eed'de5'5ecULL ^ salt); }

bytes random_bytes(std::mt19937_64 &rng, std::size_t len);

// A page of its own that can be made read-only, to show that a call only
// reads what lies there, followed by a page that may not be touched at all,
// to show that a call stops at the end of a text placed at end(). data() is
// null when the pages could not be had.
class memory_page {
public:
    memory_page();
    ~memory_page();
    memory_page(const memory_page &) = delete;
    memory_page &operator=(const memory_page &) = delete;
    char *data() const { return data_; }
    char *end() const { return data_ + size_; }
    bool make_read_only();

private:
    char *data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace dessec_test
