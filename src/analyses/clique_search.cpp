// Maximal and fixed-size clique search over one vertex's neighbourhood at a
// time; see clique_search.hpp.
#include "analyses/clique_search.hpp"

#include <algorithm>
#include <bit>
#include <limits>
#include <utility>

namespace korvane {

namespace {

using Word = std::uint64_t;
constexpr DenseVertex kAbsent = std::numeric_limits<DenseVertex>::max();

std::size_t words_for(std::size_t bits) { return (bits + 63) / 64; }

void set_bit(Word* row, std::size_t bit) { row[bit / 64] |= Word{1} << (bit % 64); }
void clear_bit(Word* row, std::size_t bit) { row[bit / 64] &= ~(Word{1} << (bit % 64)); }

bool none(const Word* row, std::size_t words) {
  for (std::size_t i = 0; i < words; ++i) {
    if (row[i] != 0) return false;
  }
  return true;
}

std::size_t count(const Word* row, std::size_t words) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < words; ++i) total += static_cast<std::size_t>(std::popcount(row[i]));
  return total;
}

std::size_t count_common(const Word* a, const Word* b, std::size_t words) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < words; ++i) total += static_cast<std::size_t>(std::popcount(a[i] & b[i]));
  return total;
}

// Calls f(bit) for every set bit, ascending.
template <class F>
void for_each_bit(const Word* row, std::size_t words, F&& f) {
  for (std::size_t i = 0; i < words; ++i) {
    Word w = row[i];
    while (w != 0) {
      f(i * 64 + static_cast<std::size_t>(std::countr_zero(w)));
      w &= w - 1;
    }
  }
}

// One vertex's later neighbours in the search order (the candidates) and,
// when asked for, its earlier neighbours that touch at least one candidate
// (the excluded vertices; the others can never block a clique that holds a
// candidate). Adjacency is kept only where the search reads it: candidate to
// candidate, candidate to excluded, excluded to candidate.
class Neighbourhood {
 public:
  explicit Neighbourhood(const DenseGraph& graph) : graph_(graph), slot_(graph.size(), kAbsent) {}

  std::vector<DenseVertex> candidates;
  std::vector<DenseVertex> excluded;
  std::size_t cand_words = 0;
  std::size_t excl_words = 0;

  const Word* cand_to_cand(std::size_t i) const { return cand_cand_.data() + i * cand_words; }
  const Word* cand_to_excl(std::size_t i) const { return cand_excl_.data() + i * excl_words; }
  const Word* excl_to_cand(std::size_t j) const { return excl_cand_.data() + j * cand_words; }

  void load(DenseVertex v, const std::vector<std::uint32_t>& rank, bool with_excluded, InterruptTicker& ticker) {
    split_neighbours(v, rank, with_excluded);
    link_candidates(ticker);
    keep_linked_excluded();
  }

 private:
  // Later neighbours become the candidates, earlier ones (when asked for)
  // the excluded vertices to be.
  void split_neighbours(DenseVertex v, const std::vector<std::uint32_t>& rank, bool with_excluded) {
    candidates.clear();
    earlier_.clear();
    for (DenseVertex y : graph_.adjacency[v]) {
      if (rank[y] > rank[v]) {
        candidates.push_back(y);
      } else if (with_excluded) {
        earlier_.push_back(y);
      }
    }
  }

  // Candidate-to-candidate bits, and the list of candidate-to-earlier links.
  void link_candidates(InterruptTicker& ticker) {
    const std::size_t nc = candidates.size();
    const std::size_t na = earlier_.size();
    const std::size_t local = nc + na;
    for (std::size_t i = 0; i < nc; ++i) slot_[candidates[i]] = static_cast<DenseVertex>(i);
    for (std::size_t j = 0; j < na; ++j) slot_[earlier_[j]] = static_cast<DenseVertex>(nc + j);
    cand_words = words_for(nc);
    cand_cand_.assign(nc * cand_words, 0);
    links_.clear();
    linked_.assign(na, 0);
    auto record = [&](std::size_t i, std::size_t s) {
      if (s < nc) {
        set_bit(cand_cand_.data() + i * cand_words, s);
      } else {
        links_.emplace_back(static_cast<DenseVertex>(i), static_cast<DenseVertex>(s - nc));
        linked_[s - nc] = 1;
      }
    };
    for (std::size_t i = 0; i < nc; ++i) {
      const auto& around = graph_.adjacency[candidates[i]];
      // A hub next to a small neighbourhood: probe the hub's list instead of
      // walking all of it.
      if (around.size() <= 8 * local) {
        ticker.tick(around.size());
        for (DenseVertex y : around) {
          const DenseVertex s = slot_[y];
          if (s != kAbsent) record(i, s);
        }
      } else {
        ticker.tick(local);
        for (std::size_t s = 0; s < local; ++s) {
          const DenseVertex y = s < nc ? candidates[s] : earlier_[s - nc];
          if (std::binary_search(around.begin(), around.end(), y)) record(i, s);
        }
      }
    }
    for (DenseVertex y : candidates) slot_[y] = kAbsent;
    for (DenseVertex y : earlier_) slot_[y] = kAbsent;
  }

  // Only earlier neighbours linked to a candidate can block a clique.
  void keep_linked_excluded() {
    const std::size_t na = earlier_.size();
    excluded.clear();
    renumber_.assign(na, kAbsent);
    for (std::size_t j = 0; j < na; ++j) {
      if (linked_[j] == 0) continue;
      renumber_[j] = static_cast<DenseVertex>(excluded.size());
      excluded.push_back(earlier_[j]);
    }
    excl_words = words_for(excluded.size());
    cand_excl_.assign(candidates.size() * excl_words, 0);
    excl_cand_.assign(excluded.size() * cand_words, 0);
    for (auto [i, j] : links_) {
      const DenseVertex k = renumber_[j];
      set_bit(cand_excl_.data() + std::size_t{i} * excl_words, k);
      set_bit(excl_cand_.data() + std::size_t{k} * cand_words, i);
    }
  }

  const DenseGraph& graph_;
  std::vector<DenseVertex> slot_;  // vertex -> local position, kAbsent outside the neighbourhood
  std::vector<DenseVertex> earlier_;
  std::vector<std::pair<DenseVertex, DenseVertex>> links_;
  std::vector<char> linked_;
  std::vector<DenseVertex> renumber_;
  std::vector<Word> cand_cand_;
  std::vector<Word> cand_excl_;
  std::vector<Word> excl_cand_;
};

// Hands the clique made of the root and the chosen candidates, ascending, to
// the sink.
void emit_clique(const Neighbourhood& hood, DenseVertex root, const std::vector<DenseVertex>& chosen,
                 std::vector<DenseVertex>& scratch, const CliqueSink& sink) {
  scratch.clear();
  scratch.push_back(root);
  for (DenseVertex i : chosen) scratch.push_back(hood.candidates[i]);
  std::sort(scratch.begin(), scratch.end());
  sink(scratch);
}

// Bron–Kerbosch with Tomita's pivot inside one neighbourhood. The sets of one
// recursion depth live in one frame of a flat buffer: P (candidates still
// open), XP (candidates already used up), XX (excluded vertices still
// blocking), and the branch list of that depth.
class MaximalSearch {
 public:
  // `buffer` is only storage, handed in so that it is reused across roots.
  MaximalSearch(const Neighbourhood& hood, DenseVertex root, InterruptTicker& ticker, const CliqueSink& sink,
                std::vector<DenseVertex>& scratch, std::vector<Word>& buffer)
      : hood_(hood), root_(root), ticker_(ticker), sink_(sink), scratch_(scratch), buffer_(buffer) {
    cw_ = hood.cand_words;
    xw_ = hood.excl_words;
    frame_ = 3 * cw_ + xw_;
    buffer_.assign((hood.candidates.size() + 2) * frame_, 0);
  }

  void run() {
    Word* top = buffer_.data();
    for (std::size_t i = 0; i < hood_.candidates.size(); ++i) set_bit(top, i);
    for (std::size_t j = 0; j < hood_.excluded.size(); ++j) set_bit(top + 2 * cw_, j);
    expand(0);
  }

 private:
  void expand(std::size_t depth) {
    ticker_.tick();
    Word* p = buffer_.data() + depth * frame_;
    Word* xp = p + cw_;
    Word* xx = p + 2 * cw_;
    Word* todo = p + 2 * cw_ + xw_;
    if (none(p, cw_)) {
      if (none(xp, cw_) && none(xx, xw_)) emit();
      return;
    }
    // The pivot covering most open candidates leaves the fewest branches.
    const Word* pivot = nullptr;
    std::size_t best = 0;
    auto consider = [&](const Word* row) {
      const std::size_t c = count_common(p, row, cw_);
      if (pivot == nullptr || c > best) {
        pivot = row;
        best = c;
      }
    };
    for_each_bit(p, cw_, [&](std::size_t i) { consider(hood_.cand_to_cand(i)); });
    for_each_bit(xp, cw_, [&](std::size_t i) { consider(hood_.cand_to_cand(i)); });
    for_each_bit(xx, xw_, [&](std::size_t j) { consider(hood_.excl_to_cand(j)); });
    for (std::size_t w = 0; w < cw_; ++w) todo[w] = p[w] & ~pivot[w];

    Word* next = p + frame_;
    for_each_bit(todo, cw_, [&](std::size_t v) {
      const Word* around = hood_.cand_to_cand(v);
      const Word* around_excl = hood_.cand_to_excl(v);
      for (std::size_t w = 0; w < cw_; ++w) {
        next[w] = p[w] & around[w];
        next[cw_ + w] = xp[w] & around[w];
      }
      for (std::size_t w = 0; w < xw_; ++w) next[2 * cw_ + w] = xx[w] & around_excl[w];
      chosen_.push_back(static_cast<DenseVertex>(v));
      expand(depth + 1);
      chosen_.pop_back();
      clear_bit(p, v);
      set_bit(xp, v);
    });
  }

  void emit() { emit_clique(hood_, root_, chosen_, scratch_, sink_); }

  const Neighbourhood& hood_;
  DenseVertex root_;
  InterruptTicker& ticker_;
  const CliqueSink& sink_;
  std::vector<DenseVertex>& scratch_;
  std::size_t cw_ = 0;
  std::size_t xw_ = 0;
  std::size_t frame_ = 0;
  std::vector<Word>& buffer_;
  std::vector<DenseVertex> chosen_;
};

// Cliques of `need` more candidates, each listed once with its candidates in
// ascending local order.
class SizedSearch {
 public:
  SizedSearch(const Neighbourhood& hood, DenseVertex root, std::size_t need, InterruptTicker& ticker,
              const CliqueSink& sink, std::vector<DenseVertex>& scratch)
      : hood_(hood), root_(root), need_(need), ticker_(ticker), sink_(sink), scratch_(scratch) {
    cw_ = hood.cand_words;
    buffer_.assign((need + 2) * cw_, 0);
  }

  void run() {
    for (std::size_t i = 0; i < hood_.candidates.size(); ++i) set_bit(buffer_.data(), i);
    extend(0, need_);
  }

 private:
  void extend(std::size_t depth, std::size_t need) {
    ticker_.tick();
    if (need == 0) {
      emit();
      return;
    }
    Word* p = buffer_.data() + depth * cw_;
    Word* next = p + cw_;
    std::size_t left = count(p, cw_);
    for_each_bit(p, cw_, [&](std::size_t v) {
      if (left < need) return;
      --left;
      // Bits are visited ascending and cleared once visited, so p now holds
      // only candidates above v: each clique is built in one order only.
      clear_bit(p, v);
      const Word* around = hood_.cand_to_cand(v);
      for (std::size_t w = 0; w < cw_; ++w) next[w] = p[w] & around[w];
      if (need > 1 && count(next, cw_) < need - 1) return;
      chosen_.push_back(static_cast<DenseVertex>(v));
      extend(depth + 1, need - 1);
      chosen_.pop_back();
    });
  }

  void emit() { emit_clique(hood_, root_, chosen_, scratch_, sink_); }

  const Neighbourhood& hood_;
  DenseVertex root_;
  std::size_t need_;
  InterruptTicker& ticker_;
  const CliqueSink& sink_;
  std::vector<DenseVertex>& scratch_;
  std::size_t cw_ = 0;
  std::vector<Word> buffer_;
  std::vector<DenseVertex> chosen_;
};

std::vector<std::uint32_t> ranks_of(const std::vector<DenseVertex>& order) {
  std::vector<std::uint32_t> rank(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) rank[order[i]] = static_cast<std::uint32_t>(i);
  return rank;
}

}  // namespace

std::vector<DenseVertex> degeneracy_order(const DenseGraph& graph) {
  // Batagelj–Zaversnik bucket peeling, linear in vertices plus edges.
  const std::size_t n = graph.size();
  std::vector<std::size_t> degree(n);
  std::size_t max_degree = 0;
  for (std::size_t v = 0; v < n; ++v) {
    degree[v] = graph.adjacency[v].size();
    max_degree = std::max(max_degree, degree[v]);
  }
  std::vector<std::size_t> bin(max_degree + 1, 0);
  for (std::size_t v = 0; v < n; ++v) ++bin[degree[v]];
  std::size_t start = 0;
  for (std::size_t d = 0; d <= max_degree; ++d) {
    const std::size_t here = bin[d];
    bin[d] = start;
    start += here;
  }
  std::vector<std::size_t> pos(n);
  std::vector<DenseVertex> order(n);
  for (std::size_t v = 0; v < n; ++v) {
    pos[v] = bin[degree[v]]++;
    order[pos[v]] = static_cast<DenseVertex>(v);
  }
  for (std::size_t d = max_degree; d >= 1; --d) bin[d] = bin[d - 1];
  bin[0] = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const DenseVertex v = order[i];
    for (DenseVertex u : graph.adjacency[v]) {
      if (degree[u] <= degree[v]) continue;
      const std::size_t du = degree[u];
      const std::size_t pu = pos[u];
      const std::size_t pw = bin[du];
      const DenseVertex w = order[pw];
      if (u != w) {
        pos[u] = pw;
        order[pu] = w;
        pos[w] = pu;
        order[pw] = u;
      }
      ++bin[du];
      --degree[u];
    }
  }
  return order;
}

void for_each_maximal_clique(const DenseGraph& graph, InterruptTicker& ticker, const CliqueSink& sink) {
  std::vector<DenseVertex> scratch;
  if (graph.size() == 0) {
    sink(scratch);
    return;
  }
  const std::vector<DenseVertex> order = degeneracy_order(graph);
  const std::vector<std::uint32_t> rank = ranks_of(order);
  Neighbourhood hood(graph);
  std::vector<Word> buffer;
  for (DenseVertex v : order) {
    ticker.tick();
    if (graph.adjacency[v].empty()) {
      scratch.assign(1, v);
      sink(scratch);
      continue;
    }
    hood.load(v, rank, true, ticker);
    // No later neighbour: every clique through v was found from an earlier
    // vertex, and {v} alone is not maximal.
    if (hood.candidates.empty()) continue;
    MaximalSearch(hood, v, ticker, sink, scratch, buffer).run();
  }
}

void for_each_clique_of_size(const DenseGraph& graph, std::uint64_t size, InterruptTicker& ticker,
                             const CliqueSink& sink) {
  std::vector<DenseVertex> scratch;
  if (size == 0) {
    sink(scratch);
    return;
  }
  if (size > graph.size()) return;
  if (size == 1) {
    for (std::size_t v = 0; v < graph.size(); ++v) {
      ticker.tick();
      scratch.assign(1, static_cast<DenseVertex>(v));
      sink(scratch);
    }
    return;
  }
  const std::vector<DenseVertex> order = degeneracy_order(graph);
  const std::vector<std::uint32_t> rank = ranks_of(order);
  Neighbourhood hood(graph);
  const std::size_t need = static_cast<std::size_t>(size - 1);
  for (DenseVertex v : order) {
    ticker.tick();
    if (graph.adjacency[v].size() < need) continue;
    hood.load(v, rank, false, ticker);
    if (hood.candidates.size() < need) continue;
    SizedSearch(hood, v, need, ticker, sink, scratch).run();
  }
}

}  // namespace korvane
