// Settling a group of simplices at once: every pair's overlap is counted and
// a maximum spanning forest of those overlaps is joined into the level
// forests. The forest stands for every pair: two members share at least w
// vertices only if the forest path between them has no edge below w, since a
// maximum spanning forest keeps the largest bottleneck between any two
// members. So a group of m costs m - 1 joins, whatever its pairs. How the
// overlaps are counted is a line of the strategy table (strategy.hpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "analyses/complex/complex_levels.hpp"
#include "analyses/complex/overlap_kernels.hpp"
#include "analyses/complex/simplex_forests.hpp"
#include "analyses/complex/strategy.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"

namespace korvane::complex_detail {

template <class Idx>
class GroupSettler {
 public:
  GroupSettler(std::size_t vertex_count, SimplexForests<Idx>& forests, Overlaps forced, InterruptTicker& ticker)
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
    run(members, base, measure(members));
  }

  // As settle(), for a caller that has counted the group: its shape, and its
  // spread vertices with their holder counts.
  void settle_counted(const std::vector<Record<Idx>>& members, std::size_t base, const GroupShape& shape,
                      const std::vector<std::pair<Idx, Idx>>& spread) {
    if (members.size() < 2) return;
    spread_.clear();
    for (const auto& [v, c] : spread) {
      spread_.push_back(v);
      count_[v] = c;
      touched_.push_back(v);
    }
    run(members, base, shape);
  }

 private:
  void run(const std::vector<Record<Idx>>& members, std::size_t base, const GroupShape& shape) {
    check_capacity(members.size(), index_limit<std::uint32_t>(), "simplices in one group");
    auto edge = [&](std::uint32_t a, std::uint32_t b, std::uint32_t w) {
      forests_.join(members[a].id(), members[b].id(), base + shape.common + w);
    };
    if (shape.spread == 0) {
      for (std::uint32_t i = 1; i < members.size(); ++i) edge(0, i, 0);
    } else {
      prim(members, cheaper_method(shape, forced_), edge);
    }
    clear();
  }

  // Counts holders per vertex and lists the spread vertices.
  GroupShape measure(const std::vector<Record<Idx>>& members) {
    for (const Record<Idx>& rec : members) {
      for (Idx v : rec) {
        if (count_[v]++ == 0) touched_.push_back(v);
      }
      ticker_.tick(rec.size() + 1);
    }
    GroupShape shape;
    shape.members = members.size();
    spread_.clear();
    spread_counts_.clear();
    for (Idx v : touched_) {
      if (count_[v] == members.size()) {
        ++shape.common;
      } else if (count_[v] >= 2) {
        spread_.push_back(v);
        spread_counts_.push_back(count_[v]);
      }
    }
    add_spread(shape, spread_counts_);
    return shape;
  }

  void clear() {
    for (Idx v : touched_) {
      count_[v] = 0;
      local_[v] = kNone<Idx>;
    }
    touched_.clear();
  }

  template <class Edge>
  void prim(const std::vector<Record<Idx>>& members, Overlaps how, Edge& edge) {
    const std::size_t spread = spread_.size();
    if (how == Overlaps::core_bitsets && spread > 64) {
      // The 64 most held first: they take the bits, the rest the index.
      std::nth_element(spread_.begin(), spread_.begin() + 63, spread_.end(),
                       [&](Idx a, Idx b) { return count_[a] > count_[b]; });
    }
    for (std::size_t l = 0; l < spread; ++l) local_[spread_[l]] = static_cast<Idx>(l);
    const std::size_t m = members.size();
    if (how == Overlaps::bitsets || spread <= 64) {
      build(members, spread);
      if (words_for(spread) == 1) {
        run_one_word_prim(members, edge, false);
      } else {
        run_many_words_prim(m, words_for(spread), edge);
      }
    } else {
      build(members, 64);
      run_one_word_prim(members, edge, true);
    }
  }

  // Per member, a bitset over the local vertices below row_bits (in
  // rows_, words_for(row_bits) words each) and the count of its spread
  // vertices (cap_); lists of the members holding each local vertex from
  // row_bits on: local l's are
  // list_[list_start_[l - row_bits] .. list_start_[l - row_bits + 1]).
  void build(const std::vector<Record<Idx>>& members, std::size_t row_bits) {
    const std::size_t words = words_for(row_bits);
    const std::size_t lists = spread_.size() - row_bits;
    rows_.assign(members.size() * words, 0);
    cap_.assign(members.size(), 0);
    list_start_.assign(lists + 1, 0);
    for (std::size_t i = 0; i < members.size(); ++i) {
      Word* row = rows_.data() + i * words;
      for (Idx v : members[i]) {
        const std::size_t l = local_[v];
        if (l == kNone<Idx>) continue;
        ++cap_[i];
        if (l < row_bits) {
          set_bit(row, l);
        } else {
          ++list_start_[l - row_bits + 1];
        }
      }
      ticker_.tick(members[i].size() + words);
    }
    if (lists > 0) fill_lists(members, row_bits);
  }

  void fill_lists(const std::vector<Record<Idx>>& members, std::size_t list_from) {
    const std::size_t lists = spread_.size() - list_from;
    for (std::size_t l = 0; l < lists; ++l) list_start_[l + 1] += list_start_[l];
    list_.resize(list_start_[lists]);
    fill_.assign(list_start_.begin(), list_start_.end() - 1);
    for (std::size_t i = 0; i < members.size(); ++i) {
      for (Idx v : members[i]) {
        const std::size_t l = local_[v];
        if (l != kNone<Idx> && l >= list_from) list_[fill_[l - list_from]++] = static_cast<std::uint32_t>(i);
      }
      ticker_.tick(members[i].size() + 1);
    }
    shared_.assign(members.size(), 0);
    list_from_ = list_from;
  }

  // Counts, for every member, the listed vertices it shares with `rec`, or
  // sets those counters back to 0.
  void count_through(const Record<Idx>& rec, bool reset) {
    for (Idx v : rec) {
      const std::size_t l = local_[v];
      if (l == kNone<Idx> || l < list_from_) continue;
      const std::size_t begin = list_start_[l - list_from_];
      const std::size_t end = list_start_[l - list_from_ + 1];
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

  // One-word bitsets, plus the index's counts when `with_index`.
  template <class Edge>
  void run_one_word_prim(const std::vector<Record<Idx>>& members, Edge& edge, bool with_index) {
    const std::size_t m = members.size();
    rest_.start(m, [&](std::size_t i) { return cap_[i]; });
    one_row_.assign(rows_.begin() + 1, rows_.end());  // by rest position
    auto pass = [&](const PrimRest& rest, std::uint32_t u) {
      if (!with_index) return kernels_.one_word(rest, one_row_.data(), rows_[u], u);
      count_through(members[u], false);
      const PassResult result = kernels_.one_word_plus(rest, one_row_.data(), rows_[u], u, shared_.data());
      count_through(members[u], true);
      return result;
    };
    run_prim(rest_, m, pass, edge, one_row_.data(), ticker_);
  }

  template <class Edge>
  void run_many_words_prim(std::size_t m, std::size_t words, Edge& edge) {
    rest_.start(m, [&](std::size_t i) { return cap_[i]; });
    auto pass = [&](const PrimRest& rest, std::uint32_t u) {
      ticker_.tick(rest.count * words);
      return kernels_.many_words(rest, rows_.data(), words, rows_.data() + u * words, u);
    };
    run_prim(rest_, m, pass, edge, nullptr, ticker_);
  }

  SimplexForests<Idx>& forests_;
  const Overlaps forced_;
  InterruptTicker& ticker_;
  const PrimKernels& kernels_;
  // By vertex rank; zero / kNone outside settle().
  std::vector<Idx> count_;
  std::vector<Idx> local_;
  std::vector<Idx> touched_;
  std::vector<Idx> spread_;
  std::vector<Idx> spread_counts_;
  PrimBuffers rest_;
  std::vector<Word> rows_;
  std::vector<std::uint32_t> cap_;
  std::vector<Word> one_row_;
  std::size_t list_from_ = 0;
  std::vector<std::size_t> list_start_;
  std::vector<std::size_t> fill_;
  std::vector<std::uint32_t> list_;
  std::vector<std::uint32_t> shared_;
};

}  // namespace korvane::complex_detail
