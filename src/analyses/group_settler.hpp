// Settling a group of simplices at once: every pair's overlap is counted and
// a maximum spanning forest of those overlaps is joined into the level
// forests. The forest stands for every pair: two members share at least w
// vertices only if the forest path between them has no edge below w, since a
// maximum spanning forest keeps the largest bottleneck between any two
// members. So a group of m costs m - 1 joins, whatever its pairs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analyses/complex_levels.hpp"
#include "analyses/level_forests.hpp"
#include "analyses/overlap_kernels.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"

namespace korvane::complex_detail {

// Estimated work, in rough nanoseconds of a current x86 core; only ratios
// between estimates matter.
struct Costs {
  static constexpr double kWord = 0.4;     // one bitset word of one pair
  static constexpr double kPair = 1.5;     // one pair, besides its words
  static constexpr double kStep = 2.5;     // one step through a vertex's holders
  static constexpr double kSlot = 3.0;     // one item tallied or copied
  static constexpr double kMember = 25.0;  // one member of a mask group: copied, sorted, counted
  static constexpr double kJoin = 25.0;    // one fact joined into the level forests
  static constexpr std::size_t kMaxRowWords = std::size_t{1} << 25;  // 256 MB of bitsets
};

// What a group's members hold besides their items: how many vertices all of
// them hold, how many are held by two or more but not all ("spread"), and the
// sum over those of their holder counts squared.
struct GroupShape {
  std::size_t members = 0;
  std::size_t common = 0;
  std::size_t spread = 0;
  double pair_steps = 0;
};

using Overlaps = ComplexLevelsTuning::Overlaps;

inline std::size_t words_for(std::size_t bits) noexcept { return std::max<std::size_t>(1, (bits + 63) / 64); }

inline double half_square(double m) noexcept { return 0.5 * m * m; }
inline double joins_cost(double m) noexcept { return m * Costs::kJoin; }

inline double bitset_cost(double members, double words) noexcept {
  if (members * words > static_cast<double>(Costs::kMaxRowWords)) return 1e300;
  return half_square(members) * (words * Costs::kWord + Costs::kPair) + joins_cost(members);
}

inline double index_cost(double members, double pair_steps) noexcept {
  return 2 * pair_steps * Costs::kStep + half_square(members) * Costs::kPair + joins_cost(members);
}

inline double bitset_cost(const GroupShape& g) noexcept {
  return bitset_cost(static_cast<double>(g.members), static_cast<double>(words_for(g.spread)));
}

inline double index_cost(const GroupShape& g) noexcept {
  return index_cost(static_cast<double>(g.members), g.pair_steps);
}

inline Overlaps cheaper_method(const GroupShape& g, Overlaps forced) {
  if (forced != Overlaps::choose) return forced;
  return bitset_cost(g) <= index_cost(g) ? Overlaps::bitsets : Overlaps::vertex_index;
}

inline double settle_cost(const GroupShape& g, Overlaps forced) {
  return cheaper_method(g, forced) == Overlaps::bitsets ? bitset_cost(g) : index_cost(g);
}

template <class Idx>
class GroupSettler {
 public:
  GroupSettler(std::size_t vertex_count, LevelForests<Idx>& forests, Overlaps forced, InterruptTicker& ticker)
      : forests_(forests),
        forced_(forced),
        ticker_(ticker),
        kernels_(prim_kernels()),
        count_(vertex_count, 0),
        local_(vertex_count, kNone<Idx>) {}

  // Joins the members (each a record of id and items) so that members a and
  // b end up together on every level below base + |items_a ∩ items_b|.
  void settle(const std::vector<Record<Idx>>& members, std::size_t base) {
    if (members.size() < 2) return;
    check_capacity(members.size(), index_limit<std::uint32_t>(), "simplices in one group");
    const GroupShape shape = measure(members);
    if (shape.spread == 0) {
      chain(members, base + shape.common);
    } else if (cheaper_method(shape, forced_) == Overlaps::bitsets) {
      prim_bitsets(members, base + shape.common, shape.spread);
    } else {
      prim_index(members, base + shape.common, shape.spread);
    }
    clear();
  }

 private:
  // Counts holders per vertex; numbers the spread vertices 0.. in local_.
  GroupShape measure(const std::vector<Record<Idx>>& members) {
    GroupShape shape;
    shape.members = members.size();
    for (const Record<Idx>& rec : members) {
      for (Idx v : rec) {
        if (count_[v]++ == 0) touched_.push_back(v);
      }
      ticker_.tick(rec.size() + 1);
    }
    for (Idx v : touched_) {
      if (count_[v] == members.size()) {
        ++shape.common;
      } else if (count_[v] >= 2) {
        local_[v] = static_cast<Idx>(shape.spread++);
        shape.pair_steps += static_cast<double>(count_[v]) * static_cast<double>(count_[v]);
      }
    }
    return shape;
  }

  void clear() {
    for (Idx v : touched_) {
      count_[v] = 0;
      local_[v] = kNone<Idx>;
    }
    touched_.clear();
  }

  // No member holds a vertex another lacks but a third holds: every pair
  // shares exactly the common vertices.
  void chain(const std::vector<Record<Idx>>& members, std::size_t shared) {
    for (std::size_t i = 1; i < members.size(); ++i) forests_.join(members[0].id(), members[i].id(), shared);
  }

  // Member i's bitset over the spread vertices at rows_[i * words ..], and
  // how many of them it holds in cap_[i].
  void build_rows(const std::vector<Record<Idx>>& members, std::size_t words) {
    rows_.assign(members.size() * words, 0);
    cap_.assign(members.size(), 0);
    for (std::size_t i = 0; i < members.size(); ++i) {
      Word* row = rows_.data() + i * words;
      for (Idx v : members[i]) {
        const Idx l = local_[v];
        if (l == kNone<Idx>) continue;
        row[l >> 6] |= Word{1} << (l & 63);
        ++cap_[i];
      }
      ticker_.tick(members[i].size() + words);
    }
  }

  void prim_bitsets(const std::vector<Record<Idx>>& members, std::size_t base, std::size_t spread) {
    const std::size_t words = words_for(spread);
    build_rows(members, words);
    auto edge = [&](std::uint32_t a, std::uint32_t b, std::uint32_t w) {
      forests_.join(members[a].id(), members[b].id(), base + w);
    };
    const std::size_t m = members.size();
    rest_.start(m, [&](std::size_t i) { return cap_[i]; });
    if (words == 1) {
      one_row_.assign(rows_.begin() + 1, rows_.end());  // by rest position
      auto pass = [&](const PrimRest& rest, std::uint32_t u) {
        return kernels_.one_word(rest, one_row_.data(), rows_[u], u);
      };
      run_prim(rest_, m, pass, edge, one_row_.data(), ticker_);
      return;
    }
    auto pass = [&](const PrimRest& rest, std::uint32_t u) {
      ticker_.tick(rest.count * words);
      return kernels_.many_words(rest, rows_.data(), words, rows_.data() + u * words, u);
    };
    run_prim(rest_, m, pass, edge, nullptr, ticker_);
  }

  // Member lists per spread vertex: holders of local vertex l are
  // list_[list_start_[l] .. list_start_[l + 1]); cap_[i] counts member i's
  // spread vertices.
  void build_lists(const std::vector<Record<Idx>>& members, std::size_t spread) {
    list_start_.assign(spread + 1, 0);
    cap_.assign(members.size(), 0);
    for (std::size_t i = 0; i < members.size(); ++i) {
      for (Idx v : members[i]) {
        if (local_[v] == kNone<Idx>) continue;
        ++list_start_[static_cast<std::size_t>(local_[v]) + 1];
        ++cap_[i];
      }
    }
    for (std::size_t l = 0; l < spread; ++l) list_start_[l + 1] += list_start_[l];
    list_.resize(list_start_[spread]);
    fill_.assign(list_start_.begin(), list_start_.end() - 1);
    for (std::size_t i = 0; i < members.size(); ++i) {
      for (Idx v : members[i]) {
        if (local_[v] != kNone<Idx>) list_[fill_[local_[v]]++] = static_cast<std::uint32_t>(i);
      }
      ticker_.tick(members[i].size() + 1);
    }
  }

  // Counts, for every member, the spread vertices it shares with `rec`
  // (or sets those counters back to 0).
  void count_through(const Record<Idx>& rec, bool reset) {
    for (Idx v : rec) {
      const Idx l = local_[v];
      if (l == kNone<Idx>) continue;
      const std::size_t begin = list_start_[l];
      const std::size_t end = list_start_[static_cast<std::size_t>(l) + 1];
      for (std::size_t h = begin; h < end; ++h) {
        if (reset) {
          shared_[list_[h]] = 0;
        } else {
          ++shared_[list_[h]];
        }
      }
      ticker_.tick(end - begin + 1);
    }
  }

  // Prim's algorithm, each joining member's overlaps counted through the
  // lists of its vertices.
  void prim_index(const std::vector<Record<Idx>>& members, std::size_t base, std::size_t spread) {
    build_lists(members, spread);
    const std::size_t m = members.size();
    shared_.assign(m, 0);
    auto edge = [&](std::uint32_t a, std::uint32_t b, std::uint32_t w) {
      forests_.join(members[a].id(), members[b].id(), base + w);
    };
    auto pass = [&](const PrimRest& rest, std::uint32_t u) {
      count_through(members[u], false);
      const PassResult result = prim_pass(rest, u, [&](std::size_t j) { return shared_[rest.member[j]]; });
      count_through(members[u], true);
      return result;
    };
    rest_.start(m, [&](std::size_t i) { return cap_[i]; });
    run_prim(rest_, m, pass, edge, nullptr, ticker_);
  }

  LevelForests<Idx>& forests_;
  const Overlaps forced_;
  InterruptTicker& ticker_;
  const PrimKernels& kernels_;
  // By vertex rank; zero / kNone outside settle().
  std::vector<Idx> count_;
  std::vector<Idx> local_;
  std::vector<Idx> touched_;
  PrimBuffers rest_;
  std::vector<Word> rows_;
  std::vector<std::uint32_t> cap_;
  std::vector<Word> one_row_;
  std::vector<std::size_t> list_start_;
  std::vector<std::size_t> fill_;
  std::vector<std::uint32_t> list_;
  std::vector<std::uint32_t> shared_;
};

}  // namespace korvane::complex_detail
