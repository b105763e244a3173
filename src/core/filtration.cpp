// Admission order of a filtration; see filtration.hpp.
#include "core/filtration.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace korvane {

bool finite_weight(double weight) noexcept {
  constexpr std::uint64_t sign_bit = 0x8000000000000000ULL;
  constexpr std::uint64_t largest_finite = 0x7FEFFFFFFFFFFFFFULL;
  return (std::bit_cast<std::uint64_t>(weight) & ~sign_bit) <= largest_finite;
}

std::vector<WeightedEdge> admission_order(std::vector<WeightedEdge> edges) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    if (finite_weight(edges[i].weight)) edges[kept++] = edges[i];
  }
  edges.resize(kept);
  std::stable_sort(edges.begin(), edges.end(),
                   [](const WeightedEdge& a, const WeightedEdge& b) { return a.weight < b.weight; });
  return edges;
}

}  // namespace korvane
