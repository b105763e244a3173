// The maximal clique search on a small graph's own rows of adjacency bits,
// without a neighbourhood per root (see neighbourhood.hpp for roots,
// candidates and excluded vertices).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "analyses/graph/dense_graph.hpp"
#include "analyses/graph/word_search.hpp"
#include "analyses/shared/bits.hpp"
#include "analyses/shared/sort_small.hpp"
#include "core/interrupt.hpp"

namespace korvane::clique_search_detail {

// ---------------------------------------------------------------------------
// Small graphs: the search on the graph's own rows
// ---------------------------------------------------------------------------

// Graphs of at most 64 * kRowSearchMostWords vertices may be searched on
// their rows of adjacency bits directly, W words each: a root's candidates
// are its row above it and its excluded vertices its row below, so nothing
// is renumbered into a neighbourhood of its own, and a used-up candidate is
// excluded like an earlier neighbour.
inline constexpr std::size_t kRowSearchMostWords = 8;

// The rich candidates of one root renumbered 0 .. nc-1 in rank order, with
// the excluded vertices linked to them, as WordSearch reads a small
// Neighbourhood.
struct RichHood {
  DenseVertex root = 0;
  const DenseVertex* candidates = nullptr;
  std::size_t nc = 0;
  std::array<DenseVertex, 64> ranks{};
  std::array<Word, 64> cand{};       // over candidates
  std::array<Word, 64> cand_excl{};  // over excluded vertices
  std::array<Word, 64> excl{};       // over candidates
  Word linked = 0;

  Word cand_word(std::size_t i) const { return cand[i]; }
  Word cand_excl_word(std::size_t i) const { return cand_excl[i]; }
  Word excl_word(std::size_t k) const { return excl[k]; }
  Word linked_excluded() const { return linked; }
};

template <std::size_t W, class Sink, class OnTriangle>
class RowSearch {
 public:
  using Row = std::array<Word, W>;

  RowSearch(const DegeneracyGraph& ranked, InterruptTicker& ticker, Sink& sink, OnTriangle* triangles,
            std::size_t min_size)
      : ranked_(ranked),
        graph_(ranked.graph),
        ticker_(ticker),
        sink_(sink),
        triangles_(triangles),
        min_size_(min_size),
        rows_(graph_.size()),
        before_(triangles != nullptr ? graph_.size() : 0),
        later_slot_(triangles != nullptr ? graph_.size() : 0),
        rich_search_(ticker, sink, min_size) {
    for (std::size_t v = 0; v < graph_.size(); ++v) {
      ticker_.tick(graph_.degree(v) + 1);
      rows_[v].fill(0);
      for (const DenseVertex* u = graph_.begin_of(v); u != graph_.end_of(v); ++u) set_bit(rows_[v].data(), *u);
    }
    // before_[v][w]: v's neighbours in the words below w, so that an edge's
    // slot is its lower end's start plus the count of its bits below the
    // other end.
    for (std::size_t v = 0; v < before_.size(); ++v) {
      std::uint32_t total = 0;
      for (std::size_t w = 0; w < W; ++w) {
        before_[v][w] = total;
        total += popcount(rows_[v][w]);
      }
    }
  }

  void run() {
    for (std::size_t r = 0; r < graph_.size(); ++r) {
      ticker_.tick();
      root(static_cast<DenseVertex>(r));
    }
  }

 private:
  static Row masked_above(const Row& row, std::size_t v) {
    Row out = row;
    for (std::size_t w = 0; w < W; ++w) {
      if (w < v / 64) out[w] = 0;
    }
    out[v / 64] &= ~((Word{2} << (v % 64)) - 1);
    return out;
  }
  static bool empty(const Row& a) {
    Word any = 0;
    for (std::size_t w = 0; w < W; ++w) any |= a[w];
    return any == 0;
  }
  static Row both(const Row& a, const Row& b) {
    Row out;
    for (std::size_t w = 0; w < W; ++w) out[w] = a[w] & b[w];
    return out;
  }
  static bool meet(const Row& a, const Row& b) {
    Word any = 0;
    for (std::size_t w = 0; w < W; ++w) any |= a[w] & b[w];
    return any != 0;
  }
  static bool meet3(const Row& a, const Row& b, const Row& c) {
    Word any = 0;
    for (std::size_t w = 0; w < W; ++w) any |= a[w] & b[w] & c[w];
    return any != 0;
  }
  static std::size_t count_both(const Row& a, const Row& b) {
    std::size_t total = 0;
    for (std::size_t w = 0; w < W; ++w) total += popcount(a[w] & b[w]);
    return total;
  }
  // Calls f(v) for every bit v of row in words `from` and up, ascending.
  template <class F>
  static void each(const Row& row, std::size_t from, F&& f) {
    for (std::size_t w = from; w < W; ++w) {
      for (Word b = row[w]; b != 0; b &= b - 1) f(static_cast<DenseVertex>(w * 64 + static_cast<std::size_t>(std::countr_zero(b))));
    }
  }
  template <class F>
  static void each(const Row& row, F&& f) {
    each(row, 0, f);
  }

  // The slot of edge {a, b}, a < b, in a's list.
  std::size_t slot(DenseVertex a, DenseVertex b) const {
    return graph_.start[a] + before_[a][b / 64] + popcount(rows_[a][b / 64] & ((Word{1} << (b % 64)) - 1));
  }

  // Every clique from root r: first the candidates' local edges, each a
  // triangle with r; an edge on no local triangle is the clique of r and
  // its ends unless an excluded vertex extends it, the candidates with no
  // local edge are edges of r, and the rest is Bron–Kerbosch over the
  // candidates on local triangles (see WordSearch::run).
  void root(DenseVertex r) {
    const Row& around = rows_[r];
    const Row p = masked_above(around, r);
    Row x = around;
    for (std::size_t w = 0; w < W; ++w) x[w] &= ~p[w];
    if (graph_.degree(r) == 0) {
      if (min_size_ <= 1) sink_(&r, &r + 1);
      return;
    }
    const auto nc = static_cast<std::size_t>(graph_.end_of(r) - ranked_.later_of(r));
    if (nc == 0) return;  // every clique through r was found from an earlier root
    ticker_.tick(nc);
    const DenseVertex* candidates = ranked_.later_of(r);
    if (triangles_ != nullptr) {
      for (std::size_t i = 0; i < nc; ++i) later_slot_[candidates[i]] = static_cast<std::uint32_t>(ranked_.later[r] + i);
    }
    // The local edges on no local triangle, (c, c) for a candidate with no
    // local edge at all, in the order their cliques are listed.
    loose_.clear();
    Row rich{};
    for (std::size_t i = 0; i < nc; ++i) {
      const DenseVertex c = candidates[i];
      const Row local = both(p, rows_[c]);
      if (empty(local)) {
        loose_.emplace_back(c, c);
        continue;
      }
      each(masked_above(local, c), c / 64, [&](DenseVertex d) {
        if (triangles_ != nullptr) (*triangles_)(later_slot_[c], later_slot_[d], slot(c, d));
        if (meet(local, rows_[d])) {
          rich[c / 64] |= Word{1} << (c % 64);
          rich[d / 64] |= Word{1} << (d % 64);
        } else {
          loose_.emplace_back(c, d);
        }
      });
    }
    for (auto [c, d] : loose_) {
      if (c == d) {
        if (min_size_ <= 2 && !meet(x, rows_[c])) emit_pair(r, c);
      } else if (min_size_ <= 3 && !(has(rich, c) && has(rich, d)) && !meet3(x, rows_[c], rows_[d])) {
        const DenseVertex clique[3] = {r, c, d};
        sink_(clique, clique + 3);
      }
    }
    if (!empty(rich)) search_rich(r, rich, x);
  }

  static bool has(const Row& row, DenseVertex v) { return (row[v / 64] >> (v % 64) & 1) != 0; }

  // Bron–Kerbosch over the rich candidates, with the excluded vertices
  // linked to them: on one word each when there are at most 64 of either
  // (the rich ones are the few candidates on local triangles), else on rows.
  void search_rich(DenseVertex r, const Row& rich, const Row& x) {
    Row linked{};
    std::size_t k = 0;
    each(rich, [&](DenseVertex c) {
      if (k < 64) hood_.ranks[k] = c;
      ++k;
      for (std::size_t w = 0; w < W; ++w) linked[w] |= rows_[c][w];
    });
    linked = both(x, linked);
    std::size_t e = 0;
    each(linked, [&](DenseVertex v) {
      if (e < 64) excluded_[e] = v;
      ++e;
    });
    if (k <= 64 && e <= 64) {
      hood_.root = r;
      hood_.candidates = hood_.ranks.data();
      hood_.nc = k;
      for (std::size_t i = 0; i < k; ++i) {
        const Row& row = rows_[hood_.ranks[i]];
        Word local = 0;
        for (std::size_t j = 0; j < k; ++j) local |= Word{has(row, hood_.ranks[j])} << j;
        hood_.cand[i] = local;
        hood_.cand_excl[i] = 0;
      }
      for (std::size_t j = 0; j < e; ++j) {
        const Row& row = rows_[excluded_[j]];
        Word local = 0;
        for (std::size_t i = 0; i < k; ++i) {
          const Word bit = Word{has(row, hood_.ranks[i])};
          local |= bit << i;
          hood_.cand_excl[i] |= bit << j;
        }
        hood_.excl[j] = local;
      }
      hood_.linked = e == 64 ? ~Word{0} : (Word{1} << e) - 1;
      rich_search_.run(hood_);
      return;
    }
    root_ = r;
    if (frames_.size() < 2 * (graph_.degree(r) + 2)) frames_.resize(2 * (graph_.degree(r) + 2));
    frames_[0] = rich;
    frames_[1] = linked;
    depth_ = 0;
    expand(0);
  }

  void emit_pair(DenseVertex r, DenseVertex c) {
    const DenseVertex pair[2] = {r, c};
    sink_(pair, pair + 2);
  }

  // P and X of this depth in frames_[2 * level], frames_[2 * level + 1].
  void expand(std::size_t level) {
    ticker_.tick();
    Row p = frames_[2 * level];
    Row x = frames_[2 * level + 1];
    const Row* pivot = choose_pivot(p, x);
    if (pivot == nullptr) return;
    Row todo = p;
    for (std::size_t w = 0; w < W; ++w) todo[w] &= ~(*pivot)[w];
    each(todo, [&](DenseVertex v) {
      const Row& row = rows_[v];
      const Row next_p = both(p, row);
      const Row next_x = both(x, row);
      chosen_[depth_++] = v;
      branch(level + 1, next_p, next_x);
      --depth_;
      p[v / 64] &= ~(Word{1} << (v % 64));
      x[v / 64] |= Word{1} << (v % 64);
    });
  }

  void branch(std::size_t level, const Row& p, const Row& x) {
    std::size_t open = 0;
    DenseVertex single = 0;
    for (std::size_t w = 0; w < W && open < 2; ++w) {
      if (p[w] == 0) continue;
      open += (p[w] & (p[w] - 1)) != 0 ? 2U : 1U;
      single = static_cast<DenseVertex>(w * 64 + static_cast<std::size_t>(std::countr_zero(p[w])));
    }
    if (open == 0) {
      if (empty(x)) emit();
    } else if (open == 1) {
      if (!meet(x, rows_[single])) {
        chosen_[depth_++] = single;
        emit();
        --depth_;
      }
    } else {
      frames_[2 * level] = p;
      frames_[2 * level + 1] = x;
      expand(level);
    }
  }

  // As WordSearch::choose_pivot: X ascending (earlier neighbours, then
  // used-up candidates), then P; null when a vertex of X is adjacent to all
  // of P.
  const Row* choose_pivot(const Row& p, const Row& x) const {
    std::size_t open = 0;
    for (std::size_t w = 0; w < W; ++w) open += popcount(p[w]);
    std::size_t best = 0;
    const Row* pivot = nullptr;
    bool covered = false;
    each(x, [&](DenseVertex u) {
      if (covered) return;
      const std::size_t c = count_both(p, rows_[u]);
      if (c == open) covered = true;
      if (c >= best) best = c, pivot = &rows_[u];
    });
    if (covered) return nullptr;
    each(p, [&](DenseVertex u) {
      if (best + 1 >= open) return;
      const std::size_t c = count_both(p, rows_[u]);
      if (c >= best) best = c, pivot = &rows_[u];
    });
    return pivot;
  }

  void emit() {
    if (depth_ + 1 < min_size_) return;
    DenseVertex* out = ranks_.data();
    out[0] = root_;
    for (std::size_t i = 0; i < depth_; ++i) out[i + 1] = chosen_[i];
    sort_small(out + 1, out + depth_ + 1);
    sink_(out, out + depth_ + 1);
  }

  const DegeneracyGraph& ranked_;
  const CompactGraph& graph_;
  InterruptTicker& ticker_;
  Sink& sink_;
  OnTriangle* triangles_;
  const std::size_t min_size_;
  std::vector<Row> rows_;
  std::vector<std::array<std::uint32_t, W>> before_;
  std::vector<std::uint32_t> later_slot_;  // candidate -> slot of its edge to the root
  std::vector<Row> frames_;
  std::vector<std::pair<DenseVertex, DenseVertex>> loose_;
  std::array<DenseVertex, 64> excluded_{};
  RichHood hood_;
  WordSearch<RichHood, Sink> rich_search_;
  DenseVertex root_ = 0;
  std::size_t depth_ = 0;
  std::array<DenseVertex, 64 * W> chosen_{};
  std::array<DenseVertex, 64 * W + 1> ranks_{};
};

// Runs RowSearch when the graph has at most `most_vertices` vertices, and
// at most 64 * kRowSearchMostWords; false when it does not.
template <std::size_t W, class Sink, class OnTriangle>
bool search_by_rows(const DegeneracyGraph& ranked, InterruptTicker& ticker, Sink& sink, OnTriangle* triangles,
                    std::size_t min_size) {
  if constexpr (W > kRowSearchMostWords) {
    return false;
  } else {
    if (words_for(ranked.graph.size()) != W) {
      return search_by_rows<W + 1>(ranked, ticker, sink, triangles, min_size);
    }
    RowSearch<W, Sink, OnTriangle>(ranked, ticker, sink, triangles, min_size).run();
    return true;
  }
}

}  // namespace korvane::clique_search_detail
