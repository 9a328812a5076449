#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace dessec_test {

bytes from_hex(const std::string &hex)
{
    if (hex.size() % 2)
        throw std::invalid_argument("odd hex: " + hex);
    bytes out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<unsigned char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    return out;
}

std::string to_hex(const unsigned char *data, std::size_t len)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < len; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

static std::string trim(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::vector<vector_record> read_vectors(const std::string &file_name)
{
    std::ifstream in(std::string(DESSEC_VECTORS_DIR) + "/" + file_name);
    if (!in)
        throw std::runtime_error("cannot open vector file " + file_name);
    std::vector<vector_record> records(1);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty()) {
            if (!records.back().empty())
                records.emplace_back();
            continue;
        }
        if (line[0] == '#')
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            throw std::runtime_error("bad vector line: " + line);
        records.back()[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    if (records.back().empty())
        records.pop_back();
    return records;
}

int rounds(int nominal)
{
    double scale = 1.0;
    if (const char *env = std::getenv("DESSEC_TEST_SCALE"))
        scale = std::atof(env);
    const int scaled = static_cast<int>(nominal * scale);
    return scaled < 1 ? 1 : scaled;
}

bytes random_bytes(std::mt19937_64 &rng, std::size_t len)
{
    bytes out(len);
    for (auto &b : out)
        b = static_cast<unsigned char>(rng());
    return out;
}

}  // namespace dessec_test
