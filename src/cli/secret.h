// The one type in which the tool holds a password, a secret key, a DES key or
// a plaintext: its bytes live only in memory that is wiped whenever it is
// given back (growth, reassignment, destruction), so that no path can forget
// a wipe.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace cli {

// Wipes a buffer in stores that the compiler may not drop as dead.
void wipe(void *secret, std::size_t size);

// An allocator that wipes every block before it frees it.
template <class T>
struct wiping_allocator {
    using value_type = T;
    wiping_allocator() = default;
    template <class U>
    wiping_allocator(const wiping_allocator<U> &) noexcept
    {
    }
    T *allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
    void deallocate(T *p, std::size_t n) noexcept
    {
        wipe(p, n * sizeof(T));
        std::allocator<T>{}.deallocate(p, n);
    }
    friend bool operator==(const wiping_allocator &, const wiping_allocator &) { return true; }
};

// Text with a NUL kept behind its last byte, for the library's calls. No
// small-string buffer inside the object: every byte is on the wiped heap.
// An assignment takes the new bytes and frees, so wipes, the old ones whole.
class secret_string {
public:
    secret_string() = default;
    explicit secret_string(std::string_view text) { append(text); }
    // A text of size NUL bytes, to be filled through data().
    explicit secret_string(std::size_t size) : bytes_(size + 1, '\0') {}
    secret_string(const secret_string &) = default;
    secret_string(secret_string &&) noexcept = default;
    secret_string &operator=(secret_string other) noexcept
    {
        bytes_.swap(other.bytes_);
        return *this;
    }

    std::size_t size() const { return bytes_.empty() ? 0 : bytes_.size() - 1; }
    bool empty() const { return size() == 0; }
    char *data() { return bytes_.empty() ? nullptr : bytes_.data(); }
    const char *c_str() const { return bytes_.empty() ? "" : bytes_.data(); }
    std::string_view view() const { return {c_str(), size()}; }
    char operator[](std::size_t i) const { return bytes_[i]; }

    // Room for a text of `size` bytes, so that growing to it takes no memory.
    void reserve(std::size_t size) { bytes_.reserve(size + 1); }
    void push_back(char c) { append(std::string_view(&c, 1)); }
    void append(std::string_view text)
    {
        if (!bytes_.empty())
            bytes_.pop_back();
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        bytes_.push_back('\0');
    }
    // Shortens the text; the bytes cut off are wiped at once.
    void truncate(std::size_t size)
    {
        if (size < this->size()) {
            wipe(bytes_.data() + size, bytes_.size() - size);
            bytes_.erase(bytes_.begin() + static_cast<std::ptrdiff_t>(size + 1), bytes_.end());
        }
    }
    void clear() { truncate(0); }

    friend bool operator==(const secret_string &a, const secret_string &b) { return a.view() == b.view(); }

private:
    std::vector<char, wiping_allocator<char>> bytes_;
};

}  // namespace cli
