// The hash every hash container of korvane uses, keyed once per process from
// the OS random source. The key makes iteration orders differ between runs,
// so nothing can come to depend on them, and it keeps ids crafted to collide
// under a fixed hash from degrading the containers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/ascending.hpp"

namespace korvane {

// 64 random bits, read once per process.
std::uint64_t process_hash_seed() noexcept;

struct SeededHash {
  static std::uint64_t mix(std::uint64_t x) noexcept {
    x ^= x >> 32;
    x *= 0xd6e8feb86659fd93ULL;
    x ^= x >> 32;
    x *= 0xd6e8feb86659fd93ULL;
    x ^= x >> 32;
    return x;
  }
  std::size_t operator()(std::uint64_t x) const noexcept { return static_cast<std::size_t>(mix(x ^ seed_)); }
  std::size_t operator()(std::int64_t x) const noexcept { return (*this)(static_cast<std::uint64_t>(x)); }
  // Whole-sequence hash, for cliques and vertex sets.
  template <class T>
  std::size_t operator()(const std::vector<T>& xs) const noexcept {
    std::uint64_t h = seed_ ^ (xs.size() * 0x9e3779b97f4a7c15ULL);
    for (T x : xs) h = mix(h + static_cast<std::uint64_t>(x) + 0x9e3779b97f4a7c15ULL);
    return static_cast<std::size_t>(h);
  }
  template <class T>
  std::size_t operator()(const Ascending<T>& set) const noexcept {
    return (*this)(set.items());
  }

 private:
  std::uint64_t seed_ = process_hash_seed();
};

// Keys of other types bring a hash of their own built on SeededHash.
template <class K, class V, class Hash = SeededHash>
using HashMap = std::unordered_map<K, V, Hash>;
template <class K, class Hash = SeededHash>
using HashSet = std::unordered_set<K, Hash>;

}  // namespace korvane
