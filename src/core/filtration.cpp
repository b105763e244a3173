// Admission order of a filtration; see filtration.hpp.
#include "core/filtration.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace korvane {

namespace {

bool lighter(const WeightedEdge& a, const WeightedEdge& b) noexcept { return a.weight < b.weight; }

// Sorts [first, last) stably by weight: small runs by insertion, without
// the buffer a merge sort takes.
void sort_run(WeightedEdge* first, WeightedEdge* last) {
  constexpr std::ptrdiff_t kInsertUpTo = 16;
  if (last - first > kInsertUpTo) {
    std::stable_sort(first, last, lighter);
    return;
  }
  for (WeightedEdge* i = first + 1; i < last; ++i) {
    const WeightedEdge e = *i;
    WeightedEdge* j = i;
    for (; j > first && lighter(e, *(j - 1)); --j) *j = *(j - 1);
    *j = e;
  }
}

// A stable sort by weight in one distribution pass: the span of the weights
// is cut into as many equal buckets as there are edges, edges go to their
// buckets in input order, and each bucket, most often of an edge or two, is
// sorted on its own. The bucket of a weight never decreases with it, since
// subtraction, division and multiplication by positive numbers round
// monotonically. Weights crowded into few buckets are merge sorted there,
// so no input costs much more than a merge sort of it all.
void sort_by_buckets(std::vector<WeightedEdge>& edges) {
  const auto [low, high] = std::minmax_element(edges.begin(), edges.end(), lighter);
  const double lowest = low->weight;
  const double span = high->weight - lowest;
  if (!(span > 0.0) || !std::isfinite(span)) {
    // All weights tie, or their span overflows.
    std::stable_sort(edges.begin(), edges.end(), lighter);
    return;
  }
  const std::size_t buckets = edges.size();
  const auto bucket = [&](const WeightedEdge& e) {
    const double at = (e.weight - lowest) / span * static_cast<double>(buckets);
    return std::min(static_cast<std::size_t>(at), buckets - 1);
  };
  // ends[b + 1] counts bucket b; then ends[b] is where bucket b starts, and
  // after the distribution where it ends.
  std::vector<std::size_t> ends(buckets + 1, 0);
  for (const WeightedEdge& e : edges) ++ends[bucket(e) + 1];
  for (std::size_t b = 1; b <= buckets; ++b) ends[b] += ends[b - 1];
  std::vector<WeightedEdge> sorted(edges.size());
  for (const WeightedEdge& e : edges) sorted[ends[bucket(e)]++] = e;
  std::size_t first = 0;
  for (std::size_t b = 0; b < buckets; ++b) {
    if (ends[b] - first > 1) sort_run(sorted.data() + first, sorted.data() + ends[b]);
    first = ends[b];
  }
  edges.swap(sorted);
}

}  // namespace

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
  // Few edges sort as quickly by merging, without the bucket array.
  constexpr std::size_t kBucketSortFrom = 64;
  if (edges.size() >= kBucketSortFrom) {
    sort_by_buckets(edges);
  } else {
    std::stable_sort(edges.begin(), edges.end(), lighter);
  }
  return edges;
}

}  // namespace korvane
