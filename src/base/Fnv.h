#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// 64-bit FNV-1a, continued over any number of pieces: the fingerprints of
// settings, shards and files. Not a defence against deliberate collisions,
// only against mixing up files by mistake.
class Fnv {
  public:
    Fnv() = default;
    explicit Fnv(uint64_t hash) : hash_(hash) {}
    void add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            hash_ ^= bytes[i];
            hash_ *= 1099511628211ull;
        }
    }
    template <typename T>
    void addValue(const T& value) {
        add(&value, sizeof value);
    }
    void addText(std::string_view text) {
        addValue(text.size());
        add(text.data(), text.size());
    }
    uint64_t value() const { return hash_; }

  private:
    uint64_t hash_ = 14695981039346656037ull;
};
