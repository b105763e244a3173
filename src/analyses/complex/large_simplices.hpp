// The split of the complex analysis between settling large simplices all
// together and walking over the subsets the rest share.
//
// Settling n simplices together counts all n^2 / 2 overlaps; cheap when the
// simplices overlap heavily (every pair shares many vertices, so the walk
// would meet each pair at many roots) or are few. The walk pays per shared
// subset; cheap when vertices are rare, or popular but in short copies. The
// choice is the size s minimising the estimate of both parts, the simplices
// above s settled together: a line of the strategy table (strategy.hpp).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "analyses/complex/group_settler.hpp"
#include "analyses/complex/simplex_table.hpp"
#include "analyses/complex/strategy.hpp"

namespace korvane::complex_detail {

// Per simplex size z, what the root groups contribute to every estimate for
// a size s below z (or at least z, for building roots).
struct SizeTerms {
  std::vector<double> large_pair_cost;  // weighted root pairs whose later member has z vertices
  std::vector<double> large_pairs;      // the same pairs, counted
  std::vector<double> large_vertices;   // vertices whose second-largest holder has z vertices
  std::vector<double> root_build;       // copying the roots whose smallest holder has z vertices
  double pair_cost = 0;                 // all weighted root pairs
};

// Bound on settling one root outright, per pair: a word per 64 vertices its
// copies may hold, discounted when the copies are drawn from so few vertices
// that most are equal (merged before any pair is counted).
template <class Idx>
double root_pair_cost(const SimplexTable<Idx>& table, std::size_t x, std::size_t holders, double copied) {
  const std::size_t after = table.vertex_count - 1 - x;
  const double spread = std::min(static_cast<double>(after), copied);
  const double words = std::max(1.0, std::ceil(spread / 64));
  double scale = 1;
  if (after < 32) {
    const double distinct = std::min(static_cast<double>(holders), std::ldexp(1.0, static_cast<int>(after)));
    scale = (distinct / static_cast<double>(holders)) * (distinct / static_cast<double>(holders));
  }
  return (words * Costs::kWord + Costs::kPair) * scale;
}

// copied: the items the root's copies hold.
template <class Idx>
void add_root_terms(const SimplexTable<Idx>& table, std::size_t x, double copied, SizeTerms& terms) {
  const Idx* held = table.holders.begin(x);
  const std::size_t h = table.holders.count(x);
  const double per_pair = root_pair_cost(table, x, h, copied);
  terms.pair_cost += 0.5 * static_cast<double>(h) * static_cast<double>(h - 1) * per_pair;
  // Holders run by size descending: holder j is large for every s where
  // the holders before it are, and pairs with each of them.
  for (std::size_t j = 1; j < h; ++j) {
    const std::size_t z = table.records.at(held[j]).size();
    terms.large_pair_cost[z] += static_cast<double>(j) * per_pair;
    terms.large_pairs[z] += static_cast<double>(j);
  }
  terms.large_vertices[table.records.at(held[1]).size()] += 1;
  terms.root_build[table.records.at(held[h - 1]).size()] += copied * Costs::kSlot;
}

// The size s of least estimated work; s >= max_size leaves nothing large.
template <class Idx>
std::size_t choose_small_max(const SimplexTable<Idx>& table, InterruptTicker& ticker) {
  const std::size_t top = table.max_size;
  SizeTerms terms{std::vector<double>(top + 1, 0), std::vector<double>(top + 1, 0),
                  std::vector<double>(top + 1, 0), std::vector<double>(top + 1, 0), 0};
  // What root x would copy: the items after x of every simplex listed as
  // holding x (items ascend, so item i has size - 1 - i after it).
  std::vector<double> copied(table.vertex_count, 0);
  for (std::size_t id = 0; id < table.at_least[1]; ++id) {
    if (table.is_twin[id]) continue;
    const Record<Idx> rec = table.record(id);
    double after = static_cast<double>(rec.size());
    for (Idx x : rec) copied[x] += --after;
    ticker.tick(rec.size() + 1);
  }
  for (std::size_t x = 0; x < table.vertex_count; ++x) {
    if (table.holders.count(x) >= 2) add_root_terms(table, x, copied[x], terms);
    ticker.tick(table.holders.count(x) + 1);
  }
  // Sums over z > s for the large side, z <= s for the walk's roots.
  double large_cost = 0, large_pairs = 0, large_vertices = 0, built = 0;
  for (std::size_t z = 1; z <= top; ++z) built += terms.root_build[z];
  std::size_t best = top;
  double best_cost = terms.pair_cost + built;
  for (std::size_t s = top; s-- > 0;) {
    large_cost += terms.large_pair_cost[s + 1];
    large_pairs += terms.large_pairs[s + 1];
    large_vertices += terms.large_vertices[s + 1];
    built -= terms.root_build[s + 1];
    const double members = static_cast<double>(table.at_least[std::max<std::size_t>(s, 1)]);
    const double cost = terms.pair_cost - large_cost + built + settle_all_cost(members, large_vertices, 2 * large_pairs);
    if (cost < best_cost) {
      best_cost = cost;
      best = s;
    }
  }
  return best;
}

// Settles the large simplices (ids below first_small) together, leaving out
// twins and single vertices.
template <class Idx>
void settle_large(const SimplexTable<Idx>& table, GroupSettler<Idx>& settler) {
  std::vector<Record<Idx>> members;
  for (std::size_t id = 0; id < std::min(table.first_small, table.at_least[1]); ++id) {
    if (!table.is_twin[id]) members.push_back(table.record(id));
  }
  settler.settle(members, 0);
}

}  // namespace korvane::complex_detail
