// One root's neighbourhood, as the clique searches read it.
//
// Everything runs on the graph renumbered by degeneracy order (ranks). A
// clique is found from its lowest rank, the root: the root's later
// neighbours are the candidates that may join it, its earlier neighbours
// the excluded vertices that may block it (a clique they extend was found
// from an earlier root). Since lists are ascending, the candidates are the
// tail of the root's list and come in rank order, so a clique's ranks come
// out ascending once its candidates are. The searches over a neighbourhood
// are templates over what receives the cliques and triangles, so that a
// caller's receivers are inlined into their loops: word_search.hpp,
// bitset_searches.hpp; maximal_cliques.hpp picks among them.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <utility>
#include <vector>

#include "analyses/graph/dense_graph.hpp"
#include "analyses/shared/bits.hpp"
#include "analyses/shared/sort_small.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"

namespace korvane::clique_search_detail {

// Every list of a graph as a row of bits over ranks, kept when the rows are
// short next to the lists (n^2 <= 64 m: a row has no more words than the
// average list has entries over two, and the whole takes at most 8 bytes
// per edge). The common neighbours of two vertices are then one AND per
// word, however long their lists. Small graphs (the neighbourhoods that
// persistence searches one at a time) do without: their lists are short.
class AdjacencyBits {
 public:
  static bool worthwhile(const CompactGraph& graph) {
    const std::size_t n = graph.size();
    return n >= 128 && n <= (std::size_t{1} << 16) && n * n <= 32 * graph.neighbours.size();
  }

  explicit AdjacencyBits(const CompactGraph& graph, InterruptTicker& ticker)
      : words_(words_for(graph.size())), bits_(graph.size() * words_, 0) {
    for (std::size_t v = 0; v < graph.size(); ++v) {
      ticker.tick(graph.degree(v) + 1);
      for (const DenseVertex* u = graph.begin_of(v); u != graph.end_of(v); ++u) set_bit(bits_.data() + v * words_, *u);
    }
  }

  std::size_t words() const noexcept { return words_; }
  const Word* row(std::size_t v) const noexcept { return bits_.data() + v * words_; }

 private:
  std::size_t words_;
  std::vector<Word> bits_;
};

// The root's candidates (local numbers 0 .. nc-1, in rank order) and, when
// asked for, its earlier neighbours that touch at least one candidate (the
// excluded vertices, local 0 .. ne-1; the others can never block a clique
// that holds a candidate). Adjacency is kept only where the searches read
// it: candidate to candidate, candidate to excluded, excluded to candidate.
// Triangles go to an OnTriangle, called as (ab, ac, bc) with the slots of
// their edges.
template <class OnTriangle>
class Neighbourhood {
 public:
  // `bits`, when given, holds the graph's rows (see AdjacencyBits).
  explicit Neighbourhood(const DegeneracyGraph& ranked, const AdjacencyBits* bits = nullptr)
      : ranked_(ranked), graph_(ranked.graph), bits_(bits), slot_(ranked.graph.size(), kNone<DenseVertex>) {}

  DenseVertex root = 0;
  const DenseVertex* candidates = nullptr;  // ranks, ascending
  std::size_t nc = 0;
  std::size_t ne = 0;
  std::size_t cw = 0;  // words of a row over the candidates
  std::size_t xw = 0;  // words of a row over the excluded vertices

  // In small mode (see small()) the row is its single word.
  const Word* cand_to_cand(std::size_t i) const { return small_ ? &cand_word_[i] : cand_cand_.data() + i * cw; }
  const Word* cand_to_excl(std::size_t i) const { return cand_excl_.data() + i * xw; }
  const Word* excl_to_cand(std::size_t j) const { return excl_cand_.data() + j * cw; }

  // Whether two candidates are adjacent; without, the cliques from the root
  // are its edges to the candidates that no excluded vertex blocks.
  bool has_local_edges() const { return local_edges_; }
  bool blocked(std::size_t i) const { return small_ ? cand_excl_word_[i] != 0 : blocked_[i] != 0; }

  // At most 64 candidates and 64 earlier neighbours: every row is one word,
  // and the excluded vertices keep the numbers of the earlier neighbours
  // (0 .. 63), those linked to no candidate simply never set.
  bool small() const { return small_; }
  // Whether the rows, loaded in full, fit in small mode all the same: at
  // most 64 candidates, and at most 64 earlier neighbours linked to them.
  bool fits_small() const { return nc <= 64 && ne <= 64; }
  // Moves the rows loaded in full to small mode (excluded vertices keep
  // their numbers). Precondition: fits_small().
  void to_small() {
    for (std::size_t i = 0; i < nc; ++i) {
      cand_word_[i] = cand_cand_[i];
      cand_excl_word_[i] = 0;
    }
    std::fill_n(excl_word_.begin(), ne, Word{0});
    for (auto [i, k] : links_) {
      cand_excl_word_[i] |= Word{1} << k;
      excl_word_[k] |= Word{1} << i;
    }
    small_ = true;
  }
  Word cand_word(std::size_t i) const { return cand_word_[i]; }            // over candidates
  Word cand_excl_word(std::size_t i) const { return cand_excl_word_[i]; }  // over earlier neighbours
  Word excl_word(std::size_t k) const { return excl_word_[k]; }            // over candidates
  Word linked_excluded() const {
    Word any = 0;
    for (std::size_t i = 0; i < nc; ++i) any |= cand_excl_word_[i];
    return any;
  }

  // Precondition: v has a later neighbour. The rows that involve excluded
  // vertices are filled by fill_excluded(). Every link between two
  // candidates closes a triangle with the root, handed to `triangles` when
  // given. With `lazy`, the earlier neighbours are only linked when two
  // candidates are: without, every clique from the root is an edge.
  void load(DenseVertex v, bool with_excluded, InterruptTicker& ticker, OnTriangle* triangles = nullptr,
            bool lazy = false) {
    triangles_ = triangles;
    root = v;
    const DenseVertex* first = graph_.begin_of(v);
    const DenseVertex* split = ranked_.later_of(v);
    candidates = split;
    nc = static_cast<std::size_t>(graph_.end_of(v) - split);
    cw = words_for(nc);
    earlier_ = with_excluded ? first : split;
    na_ = static_cast<std::size_t>(split - earlier_);
    clear_rows();
    for (std::size_t i = 0; i < nc; ++i) slot_[candidates[i]] = static_cast<DenseVertex>(i);
    for (std::size_t i = 0; i < nc; ++i) link_later(i, ticker);
    if (na_ != 0 && (local_edges_ || !lazy)) {
      for (std::size_t j = 0; j < na_; ++j) slot_[earlier_[j]] = static_cast<DenseVertex>(nc + j);
      for (std::size_t i = 0; i < nc; ++i) link_earlier(i, ticker);
      for (std::size_t j = 0; j < na_; ++j) slot_[earlier_[j]] = kNone<DenseVertex>;
    }
    for (std::size_t i = 0; i < nc; ++i) slot_[candidates[i]] = kNone<DenseVertex>;
  }

  void fill_excluded() {
    xw = words_for(ne);
    cand_excl_.assign(nc * xw, 0);
    excl_cand_.assign(ne * cw, 0);
    for (auto [i, k] : links_) {
      set_bit(cand_excl_.data() + std::size_t{i} * xw, k);
      set_bit(excl_cand_.data() + std::size_t{k} * cw, i);
    }
  }

 private:
  void clear_rows() {
    small_ = nc <= 64 && na_ <= 64;
    if (small_) {
      std::fill_n(cand_word_.begin(), nc, Word{0});
      std::fill_n(cand_excl_word_.begin(), nc, Word{0});
      std::fill_n(excl_word_.begin(), na_, Word{0});
    } else {
      cand_cand_.assign(nc * cw, 0);
      links_.clear();
      renumber_.assign(na_, kNone<DenseVertex>);
      blocked_.assign(nc, 0);
    }
    local_edges_ = false;
    ne = 0;
  }

  // How candidate i's list is best read: by rows of bits, by a scan, or by
  // probing it for each local vertex (a hub next to a small neighbourhood).
  enum class Reading { kBits, kScan, kProbe };
  Reading reading(std::size_t i) const {
    const std::size_t listed = graph_.degree(candidates[i]);
    if (bits_ != nullptr && bits_->words() < listed) return Reading::kBits;
    return listed <= 8 * (nc + na_) ? Reading::kScan : Reading::kProbe;
  }

  // Candidate i's links to later candidates (from the lower end only: the
  // tail of its list). `at` is where the far end sits in the list.
  void link_later(std::size_t i, InterruptTicker& ticker) {
    const DenseVertex* later = ranked_.later_of(candidates[i]);
    const DenseVertex* last = graph_.end_of(candidates[i]);
    switch (reading(i)) {
      case Reading::kBits:
        return later_by_bits(i, ticker);
      case Reading::kScan:
        ticker.tick(static_cast<std::size_t>(last - later) + 1);
        for (const DenseVertex* y = later; y != last; ++y) {
          if (slot_[*y] != kNone<DenseVertex>) link_candidates(i, slot_[*y], y);
        }
        return;
      case Reading::kProbe:
        ticker.tick(nc + 1);
        for (std::size_t s = i + 1; s < nc; ++s) {
          const DenseVertex* at = std::lower_bound(later, last, candidates[s]);
          if (at != last && *at == candidates[s]) link_candidates(i, s, at);
        }
    }
  }

  // Candidate i's links to the root's earlier neighbours (the head of its
  // list, below the root); each linked one becomes excluded.
  void link_earlier(std::size_t i, InterruptTicker& ticker) {
    const DenseVertex* first = graph_.begin_of(candidates[i]);
    const DenseVertex* later = ranked_.later_of(candidates[i]);
    switch (reading(i)) {
      case Reading::kBits:
        return earlier_by_bits(i, ticker);
      case Reading::kScan:
        ticker.tick(static_cast<std::size_t>(later - first) + 1);
        for (const DenseVertex* y = first; y != later && *y < root; ++y) {
          if (slot_[*y] != kNone<DenseVertex>) link_excluded(i, slot_[*y] - nc);
        }
        return;
      case Reading::kProbe:
        ticker.tick(na_ + 1);
        for (std::size_t j = 0; j < na_; ++j) {
          if (std::binary_search(first, later, earlier_[j])) link_excluded(i, j);
        }
    }
  }

  // Candidates i < s are adjacent, the edge found at `at` in i's list.
  void link_candidates(std::size_t i, std::size_t s, const DenseVertex* at) {
    local_edges_ = true;
    if (triangles_ != nullptr) triangle(i, s, at);
    if (small_) {
      cand_word_[i] |= Word{1} << s;
      cand_word_[s] |= Word{1} << i;
    } else {
      set_bit(cand_cand_.data() + i * cw, s);
      set_bit(cand_cand_.data() + s * cw, i);
    }
  }

  // Candidate i is adjacent to the root's earlier neighbour j, which
  // becomes excluded: in small mode under its own number, else in order of
  // first link.
  void link_excluded(std::size_t i, std::size_t j) {
    if (small_) {
      cand_excl_word_[i] |= Word{1} << j;
      excl_word_[j] |= Word{1} << i;
      return;
    }
    DenseVertex& k = renumber_[j];
    if (k == kNone<DenseVertex>) k = static_cast<DenseVertex>(ne++);
    links_.emplace_back(static_cast<DenseVertex>(i), k);
    blocked_[i] = 1;
  }

  // Common neighbours of the root and candidate i below the root, from
  // their rows: earlier neighbours.
  void earlier_by_bits(std::size_t i, InterruptTicker& ticker) {
    const Word* root_row = bits_->row(root);
    const Word* row = bits_->row(candidates[i]);
    const std::size_t last_word = root / 64;
    ticker.tick(last_word + 1);
    auto link_word = [&](std::size_t w, Word b) {
      for (; b != 0; b &= b - 1) link_excluded(i, slot_[w * 64 + static_cast<std::size_t>(std::countr_zero(b))] - nc);
    };
    for (std::size_t w = 0; w < last_word; ++w) link_word(w, root_row[w] & row[w]);
    link_word(last_word, root_row[last_word] & row[last_word] & ((Word{1} << (root % 64)) - 1));
  }

  // Common neighbours of the root and candidate i above c, from their rows:
  // later candidates (those between link to c from their end). The place of
  // such a y in c's list is c's count of neighbours below y, so no search
  // is needed; nor is a branch on each neighbour's kind.
  void later_by_bits(std::size_t i, InterruptTicker& ticker) {
    const DenseVertex c = candidates[i];
    const Word* root_row = bits_->row(root);
    const Word* row = bits_->row(c);
    const std::size_t first_word = c / 64;
    const std::size_t words = bits_->words();
    ticker.tick(words - first_word + 1);
    const DenseVertex* list = graph_.begin_of(c);
    // Neighbours of c in the words before `counted`, brought up to date only
    // when a link needs its place: links are few.
    std::size_t before = static_cast<std::size_t>(ranked_.later_of(c) - list) -
                         popcount(row[first_word] & ((Word{1} << (c % 64)) - 1));
    std::size_t counted = first_word;
    auto link_word = [&](std::size_t w, Word b) {
      for (; b != 0; b &= b - 1) {
        for (; counted < w; ++counted) before += popcount(row[counted]);
        const auto bit = static_cast<std::size_t>(std::countr_zero(b));
        link_candidates(i, slot_[w * 64 + bit], list + before + popcount(row[w] & ((Word{1} << bit) - 1)));
      }
    };
    link_word(first_word, root_row[first_word] & row[first_word] & ~((Word{2} << (c % 64)) - 1));
    for (std::size_t w = first_word + 1; w < words; ++w) link_word(w, root_row[w] & row[w]);
  }

  // The triangle of the root and candidates i < s, the edge {i, s} found at
  // `at` in i's list; the root's edges sit in its list in candidate order.
  void triangle(std::size_t i, std::size_t s, const DenseVertex* at) const {
    const auto root_slot = static_cast<std::size_t>(candidates - graph_.neighbours.data());
    (*triangles_)(root_slot + i, root_slot + s, static_cast<std::size_t>(at - graph_.neighbours.data()));
  }

  const DegeneracyGraph& ranked_;
  const CompactGraph& graph_;
  const AdjacencyBits* bits_;
  std::vector<DenseVertex> slot_;  // rank -> local position, kNone outside the neighbourhood
  const DenseVertex* earlier_ = nullptr;
  std::size_t na_ = 0;
  std::vector<std::pair<DenseVertex, DenseVertex>> links_;  // candidate, excluded
  std::vector<DenseVertex> renumber_;                       // earlier neighbour -> excluded number
  std::vector<char> blocked_;                               // candidate -> linked to an excluded vertex
  bool local_edges_ = false;
  bool small_ = false;
  std::array<Word, 64> cand_word_{};
  std::array<Word, 64> cand_excl_word_{};
  std::array<Word, 64> excl_word_{};
  OnTriangle* triangles_ = nullptr;
  std::vector<Word> cand_cand_;
  std::vector<Word> cand_excl_;
  std::vector<Word> excl_cand_;
};

// The clique made of the root and the chosen candidates, as ascending ranks:
// candidates are in rank order, so sorting their local numbers suffices.
class CliqueOut {
 public:
  template <class Hood, class Sink>
  void emit(const Hood& hood, const std::vector<DenseVertex>& chosen, Sink& sink) {
    ranks_.resize(chosen.size() + 1);
    DenseVertex* out = ranks_.data();
    out[0] = hood.root;
    for (std::size_t i = 0; i < chosen.size(); ++i) out[i + 1] = hood.candidates[chosen[i]];
    sort_small(out + 1, out + ranks_.size());
    sink(out, out + ranks_.size());
  }

 private:
  std::vector<DenseVertex> ranks_;
};

// Stands for "no triangle receiver" in Neighbourhood.
struct NoTriangles {
  void operator()(std::size_t, std::size_t, std::size_t) const {}
};

}  // namespace korvane::clique_search_detail
