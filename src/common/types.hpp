// Native types shared by every analysis, the process-seeded hash that every
// hash container uses, and the two ways an analysis can stop early: a violated
// internal invariant and a pending interruption. Nothing here knows Python.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace korvane {

using VertexId = std::uint64_t;
using QLevel = std::int64_t;
using SimplexIndex = std::uint64_t;
using CliqueId = std::size_t;

// Ascending, without repeats. A sorted vector rather than std::set: cliques are
// small, built once and then only compared, hashed and scanned.
using Clique = std::vector<VertexId>;
// The vertex set of a graph component has the same form as a clique.
using VertexSet = std::vector<VertexId>;

struct Edge {
  VertexId u;
  VertexId v;
};

struct WeightedEdge {
  VertexId u;
  VertexId v;
  double weight;
};

// Optional bound on the number of vertices of the cliques that are formed.
using MaxQ = std::optional<std::uint64_t>;

// ---------------------------------------------------------------------------
// Hashing
// ---------------------------------------------------------------------------

// 64 random bits read once per process from the OS random source. Keying
// every hash with it makes iteration orders differ between runs and keeps ids
// crafted to collide under a fixed hash from degrading the containers.
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
  std::size_t operator()(std::uint64_t x) const noexcept {
    return static_cast<std::size_t>(mix(x ^ seed_));
  }
  std::size_t operator()(std::int64_t x) const noexcept {
    return (*this)(static_cast<std::uint64_t>(x));
  }
  // Whole-sequence hash for cliques and vertex sets.
  std::size_t operator()(const std::vector<VertexId>& xs) const noexcept {
    std::uint64_t h = seed_ ^ (xs.size() * 0x9e3779b97f4a7c15ULL);
    for (VertexId x : xs) h = mix(h + x + 0x9e3779b97f4a7c15ULL);
    return static_cast<std::size_t>(h);
  }
  std::size_t operator()(const std::pair<QLevel, std::vector<VertexId>>& key) const noexcept {
    return (*this)(key.second) ^ static_cast<std::size_t>(mix(static_cast<std::uint64_t>(key.first) + seed_));
  }

 private:
  std::uint64_t seed_ = process_hash_seed();
};

template <class K, class V>
using HashMap = std::unordered_map<K, V, SeededHash>;
template <class K>
using HashSet = std::unordered_set<K, SeededHash>;

// Vertex to its neighbours, ascending. Symmetric when built from edges.
using AdjacencyMap = HashMap<VertexId, std::set<VertexId>>;

// ---------------------------------------------------------------------------
// Early exits
// ---------------------------------------------------------------------------

// A violated internal invariant. The module surfaces it as PanicException
// carrying what().
class InternalFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Lookup that the algorithm expects to succeed; a miss is an invariant
// violation, never undefined behaviour.
template <class Map, class Key>
auto& lookup(Map& map, const Key& key) {
  auto it = map.find(key);
  if (it == map.end()) throw InternalFailure("no entry found for key");
  return it->second;
}

// Thrown by check_interrupt() when the installed poll reports a pending
// interruption; the caller's error state already says what happened.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "interrupted"; }
};

// The binding layer installs a poll that returns true when the call must stop
// (for example on a pending Ctrl-C). Without one, analyses never stop early.
using InterruptPoll = bool (*)();
void set_interrupt_poll(InterruptPoll poll) noexcept;
void check_interrupt();

// Calls check_interrupt() once every `period` ticks, so hot loops pay one
// decrement per unit of work.
class InterruptTicker {
 public:
  explicit InterruptTicker(std::uint32_t period = 4096) noexcept : period_(period), left_(period) {}
  void tick(std::uint64_t work = 1) {
    if (work >= left_) {
      left_ = period_;
      check_interrupt();
    } else {
      left_ -= static_cast<std::uint32_t>(work);
    }
  }

 private:
  std::uint32_t period_;
  std::uint32_t left_;
};

}  // namespace korvane
