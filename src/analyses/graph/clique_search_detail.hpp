// The clique searches inside one root's neighbourhood, as templates over
// what receives the cliques and triangles, so that a caller's receivers are
// inlined into the search loops. Public entry points: clique_search.hpp.
//
// Everything runs on the graph renumbered by degeneracy order (ranks). A
// clique is found from its lowest rank, the root: the root's later
// neighbours are the candidates that may join it, its earlier neighbours
// the excluded vertices that may block it (a clique they extend was found
// from an earlier root). Since lists are ascending, the candidates are the
// tail of the root's list and come in rank order, so a clique's ranks come
// out ascending once its candidates are.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "analyses/graph/clique_search.hpp"
#include "analyses/shared/bits.hpp"
#include "analyses/shared/sort_small.hpp"
#include "core/failure.hpp"
#include "core/sorted_ranges.hpp"

namespace korvane::clique_search_detail {

// ---------------------------------------------------------------------------
// One root's neighbourhood
// ---------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------
// The searches
// ---------------------------------------------------------------------------

// Bron–Kerbosch with Tomita's pivot inside a small neighbourhood (see
// Neighbourhood::small()): P (candidates still open), XP (candidates used
// up) and XX (excluded vertices still blocking) are one word each, passed
// by value down the recursion.
template <class Hood, class Sink>
class WordSearch {
 public:
  WordSearch(InterruptTicker& ticker, Sink& sink, std::size_t min_size)
      : ticker_(ticker), sink_(sink), min_size_(min_size) {}

  // Candidates on a local triangle are "rich"; every maximal clique of more
  // than one candidate with a poor one is an edge with no common neighbour
  // among the candidates (a third one would make both ends rich), so it is
  // settled on its own, and the search proper runs over the rich candidates
  // only: no poor one can extend a clique of two or more rich ones.
  void run(const Hood& hood) {
    hood_ = &hood;
    depth_ = 0;
    // The common neighbours of the two ends of each local edge: every
    // vertex of a local triangle is one for the edge opposite it.
    Word rich = 0;
    for (std::size_t i = 0; i < hood.nc; ++i) {
      const Word row = hood.cand_word(i);
      for (Word later = row & ~((Word{2} << i) - 1); later != 0; later &= later - 1) {
        rich |= row & hood.cand_word(static_cast<std::size_t>(std::countr_zero(later)));
      }
    }
    for (std::size_t i = 0; i < hood.nc; ++i) settle_poor(i, rich);
    if (rich != 0) expand(rich, 0, hood.linked_excluded());
  }

 private:
  void expand(Word p, Word xp, Word xx) {
    ticker_.tick();
    Word pivot = 0;
    if (!choose_pivot(p, xp, xx, pivot)) return;
    for (Word todo = p & ~pivot; todo != 0; todo &= todo - 1) {
      const auto v = static_cast<std::size_t>(std::countr_zero(todo));
      const Word around = hood_->cand_word(v);
      branch(v, p & around, xp & around, xx & hood_->cand_excl_word(v));
      p &= ~(Word{1} << v);
      xp |= Word{1} << v;
    }
  }

  // The cliques of candidate i that hold a poor candidate: i alone when it
  // has no neighbour among the candidates, else its edges to later ones not
  // both rich; each maximal unless an excluded vertex extends it.
  void settle_poor(std::size_t i, Word rich) {
    const Word row = hood_->cand_word(i);
    const Word blocking = hood_->cand_excl_word(i);
    if (row == 0) {
      if (blocking == 0) emit_with(i, i);
      return;
    }
    const Word later = row & ~((Word{2} << i) - 1);
    const Word partners = (rich >> i & 1) != 0 ? later & ~rich : later;
    for (Word b = partners; b != 0; b &= b - 1) {
      const auto j = static_cast<std::size_t>(std::countr_zero(b));
      if ((blocking & hood_->cand_excl_word(j)) == 0) emit_with(i, j);
    }
  }

  // The root with candidates i and j (i == j: i alone), i <= j.
  void emit_with(std::size_t i, std::size_t j) {
    const std::size_t size = i == j ? 2 : 3;
    if (size < min_size_) return;
    const DenseVertex clique[3] = {hood_->root, hood_->candidates[i], hood_->candidates[j]};
    sink_(clique, clique + size);
  }

  // Candidate v taken, its P, XP and XX given; settled at once when at most
  // one candidate is left open (see MaximalSearch::branch).
  void branch(std::size_t v, Word p, Word xp, Word xx) {
    chosen_[depth_++] = static_cast<DenseVertex>(v);
    if (p == 0) {
      if ((xp | xx) == 0) emit();
    } else if ((p & (p - 1)) == 0) {
      const auto u = static_cast<std::size_t>(std::countr_zero(p));
      if ((xp & hood_->cand_word(u)) == 0 && (xx & hood_->cand_excl_word(u)) == 0) {
        chosen_[depth_++] = static_cast<DenseVertex>(u);
        emit();
        --depth_;
      }
    } else {
      expand(p, xp, xx);
    }
    --depth_;
  }

  // The row of the vertex of P, XP or XX adjacent to most of P; false when
  // a used-up or excluded vertex is adjacent to all of P.
  bool choose_pivot(Word p, Word xp, Word xx, Word& pivot) const {
    const unsigned open = popcount(p);
    unsigned best = 0;
    for (Word b = xx; b != 0; b &= b - 1) {
      const Word row = hood_->excl_word(static_cast<std::size_t>(std::countr_zero(b)));
      const unsigned c = popcount(p & row);
      if (c == open) return false;
      if (c >= best) best = c, pivot = row;
    }
    for (Word b = xp; b != 0; b &= b - 1) {
      const Word row = hood_->cand_word(static_cast<std::size_t>(std::countr_zero(b)));
      const unsigned c = popcount(p & row);
      if (c == open) return false;
      if (c >= best) best = c, pivot = row;
    }
    for (Word b = p; b != 0 && best + 1 < open; b &= b - 1) {
      const Word row = hood_->cand_word(static_cast<std::size_t>(std::countr_zero(b)));
      const unsigned c = popcount(p & row);
      if (c >= best) best = c, pivot = row;
    }
    return true;
  }

  void emit() {
    if (depth_ + 1 < min_size_) return;
    DenseVertex* out = ranks_.data();
    out[0] = hood_->root;
    for (std::size_t i = 0; i < depth_; ++i) out[i + 1] = hood_->candidates[chosen_[i]];
    sort_small(out + 1, out + depth_ + 1);
    sink_(out, out + depth_ + 1);
  }

  InterruptTicker& ticker_;
  Sink& sink_;
  const std::size_t min_size_;
  const Hood* hood_ = nullptr;
  std::size_t depth_ = 0;
  std::array<DenseVertex, 64> chosen_{};
  std::array<DenseVertex, 65> ranks_{};
};

// Bron–Kerbosch with Tomita's pivot inside one neighbourhood. The sets of one
// recursion depth live in one frame of a flat buffer: P (candidates still
// open), XP (candidates already used up), XX (excluded vertices still
// blocking), and the branch list of that depth.
template <class Hood, class Sink>
class MaximalSearch {
 public:
  MaximalSearch(InterruptTicker& ticker, Sink& sink, std::size_t min_size)
      : ticker_(ticker), sink_(sink), min_size_(min_size) {}

  void run(const Hood& hood) {
    hood_ = &hood;
    cw_ = hood.cw;
    xw_ = hood.xw;
    frame_ = 3 * cw_ + xw_;
    // Depth never exceeds the candidates; only the top frame is read unset.
    if (buffer_.size() < (hood.nc + 2) * frame_) buffer_.resize((hood.nc + 2) * frame_);
    Word* top = buffer_.data();
    std::fill(top, top + frame_, Word{0});
    for (std::size_t i = 0; i < hood.nc; ++i) set_bit(top, i);
    for (std::size_t j = 0; j < hood.ne; ++j) set_bit(top + 2 * cw_, j);
    chosen_.clear();
    expand(0);
  }

 private:
  void expand(std::size_t depth) {
    ticker_.tick();
    Word* p = buffer_.data() + depth * frame_;
    Word* xp = p + cw_;
    Word* xx = p + 2 * cw_;
    Word* todo = p + 2 * cw_ + xw_;
    const Word* pivot = choose_pivot(p, xp, xx);
    if (pivot == nullptr) return;
    for (std::size_t w = 0; w < cw_; ++w) todo[w] = p[w] & ~pivot[w];
    Word* next = p + frame_;
    for_each_bit(todo, cw_, [&](std::size_t v) {
      const Word* around = hood_->cand_to_cand(v);
      const Word* around_excl = hood_->cand_to_excl(v);
      for (std::size_t w = 0; w < cw_; ++w) {
        next[w] = p[w] & around[w];
        next[cw_ + w] = xp[w] & around[w];
      }
      for (std::size_t w = 0; w < xw_; ++w) next[2 * cw_ + w] = xx[w] & around_excl[w];
      chosen_.push_back(static_cast<DenseVertex>(v));
      branch(depth + 1);
      chosen_.pop_back();
      clear_bit(p, v);
      set_bit(xp, v);
    });
  }

  // The branch whose sets are in frame `depth`, settled at once when P holds
  // at most one candidate. Without one, the clique is maximal unless a
  // used-up or excluded vertex extends it; with one, u, the clique with u
  // is, unless one extends that.
  void branch(std::size_t depth) {
    const Word* p = buffer_.data() + depth * frame_;
    const Word* xp = p + cw_;
    const Word* xx = p + 2 * cw_;
    std::size_t u = 0;
    switch (at_most_one(p, u)) {
      case 0:
        if (none(xp, cw_) && none(xx, xw_)) emit();
        return;
      case 1:
        if (disjoint(xp, hood_->cand_to_cand(u), cw_) && disjoint(xx, hood_->cand_to_excl(u), xw_)) {
          chosen_.push_back(static_cast<DenseVertex>(u));
          emit();
          chosen_.pop_back();
        }
        return;
      default:
        expand(depth);
    }
  }

  // 0 or 1 when P holds that many candidates (setting `single` to the one),
  // 2 for more.
  int at_most_one(const Word* p, std::size_t& single) const {
    int found = 0;
    for (std::size_t w = 0; w < cw_; ++w) {
      if (p[w] == 0) continue;
      if (found != 0 || (p[w] & (p[w] - 1)) != 0) return 2;
      found = 1;
      single = w * 64 + static_cast<std::size_t>(std::countr_zero(p[w]));
    }
    return found;
  }

  // The vertex of P, XP or XX adjacent to most of P, whose neighbours need
  // no branch of their own. Null when a used-up or excluded vertex is
  // adjacent to all of P: every clique of this branch extends by it.
  const Word* choose_pivot(const Word* p, const Word* xp, const Word* xx) {
    const std::size_t open = count(p, cw_);
    const Word* pivot = nullptr;
    std::size_t best = 0;
    bool covered = false;
    auto consider = [&](const Word* row) {
      const std::size_t c = count_common(p, row, cw_);
      if (pivot == nullptr || c > best) {
        pivot = row;
        best = c;
      }
      return c;
    };
    for_each_bit(xx, xw_, [&](std::size_t j) { covered = covered || consider(hood_->excl_to_cand(j)) == open; });
    for_each_bit(xp, cw_, [&](std::size_t i) { covered = covered || consider(hood_->cand_to_cand(i)) == open; });
    if (covered) return nullptr;
    for_each_bit(p, cw_, [&](std::size_t i) { consider(hood_->cand_to_cand(i)); });
    return pivot;
  }

  void emit() {
    if (chosen_.size() + 1 >= min_size_) out_.emit(*hood_, chosen_, sink_);
  }

  InterruptTicker& ticker_;
  Sink& sink_;
  const std::size_t min_size_;
  const Hood* hood_ = nullptr;
  std::size_t cw_ = 0;
  std::size_t xw_ = 0;
  std::size_t frame_ = 0;
  std::vector<Word> buffer_;
  std::vector<DenseVertex> chosen_;
  CliqueOut out_;
};

// Cliques of `need` more candidates, each listed once with its candidates in
// ascending local order.
template <class Hood, class Sink>
class SizedSearch {
 public:
  SizedSearch(InterruptTicker& ticker, Sink& sink) : ticker_(ticker), sink_(sink) {}

  void run(const Hood& hood, std::size_t need) {
    hood_ = &hood;
    cw_ = hood.cw;
    buffer_.assign((need + 2) * cw_, 0);
    for (std::size_t i = 0; i < hood.nc; ++i) set_bit(buffer_.data(), i);
    chosen_.clear();
    extend(0, need);
  }

 private:
  void extend(std::size_t depth, std::size_t need) {
    ticker_.tick();
    if (need == 0) {
      out_.emit(*hood_, chosen_, sink_);
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
      const Word* around = hood_->cand_to_cand(v);
      for (std::size_t w = 0; w < cw_; ++w) next[w] = p[w] & around[w];
      if (need > 1 && count(next, cw_) < need - 1) return;
      chosen_.push_back(static_cast<DenseVertex>(v));
      extend(depth + 1, need - 1);
      chosen_.pop_back();
    });
  }

  InterruptTicker& ticker_;
  Sink& sink_;
  const Hood* hood_ = nullptr;
  std::size_t cw_ = 0;
  std::vector<Word> buffer_;
  std::vector<DenseVertex> chosen_;
  CliqueOut out_;
};

// Root v with a single later neighbour c: {v, c} is maximal exactly when no
// earlier neighbour of v is a neighbour of c.
inline bool lone_edge_is_maximal(const CompactGraph& graph, DenseVertex v, const DenseVertex* split) {
  const DenseVertex c = *split;
  const DenseVertex* c_first = graph.begin_of(c);
  return !sorted_ranges_meet(graph.begin_of(v), split, c_first, std::lower_bound(c_first, graph.end_of(c), v));
}

// Stands for "no triangle receiver" in Neighbourhood.
struct NoTriangles {
  void operator()(std::size_t, std::size_t, std::size_t) const {}
};

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
      open += (p[w] & (p[w] - 1)) != 0 ? 2 : 1;
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

// for_each_maximal_clique on a DegeneracyGraph (see clique_search.hpp), with
// `sink(first, last)` and `*triangles(ab, ac, bc)` of any callable types.
// Graphs of at most `row_search_max` vertices (and at most 64 *
// kRowSearchMostWords) and of average degree at most 64 are searched by
// RowSearch.
template <class Sink, class OnTriangle = NoTriangles>
void maximal_cliques_ranked(const DegeneracyGraph& ranked, InterruptTicker& ticker, Sink& sink,
                            OnTriangle* triangles = nullptr, std::size_t min_size = 0,
                            std::size_t row_search_max = 0) {
  const CompactGraph& graph = ranked.graph;
  if (graph.size() == 0) {
    sink(nullptr, nullptr);
    return;
  }
  // Rows pay while neighbourhoods stay small next to them: up to an
  // average degree of 64 (denser graphs load theirs faster, see
  // Neighbourhood).
  if (graph.size() <= row_search_max && graph.neighbours.size() <= 64 * graph.size() &&
      search_by_rows<1>(ranked, ticker, sink, triangles, min_size)) {
    return;
  }
  using Hood = Neighbourhood<OnTriangle>;
  std::optional<AdjacencyBits> bits;
  if (AdjacencyBits::worthwhile(graph)) bits.emplace(graph, ticker);
  Hood hood(ranked, bits ? &*bits : nullptr);
  MaximalSearch<Hood, Sink> search(ticker, sink, min_size);
  WordSearch<Hood, Sink> word_search(ticker, sink, min_size);
  for (std::size_t r = 0; r < graph.size(); ++r) {
    const auto v = static_cast<DenseVertex>(r);
    ticker.tick();
    const DenseVertex* split = ranked.later_of(r);
    const auto later = static_cast<std::size_t>(graph.end_of(v) - split);
    // No later neighbour but some earlier one: every clique through v was
    // found from an earlier vertex, and {v} alone is not maximal.
    if (graph.degree(v) == 0) {
      if (min_size <= 1) sink(&v, &v + 1);
    } else if (later == 1) {
      const DenseVertex pair[2] = {v, *split};
      if (min_size <= 2 && lone_edge_is_maximal(graph, v, split)) sink(pair, pair + 2);
    } else if (later > 1) {
      hood.load(v, true, ticker, triangles, min_size > 2);
      if (hood.has_local_edges() && !hood.small() && hood.fits_small()) hood.to_small();
      if (hood.has_local_edges() && hood.small()) {
        word_search.run(hood);
      } else if (hood.has_local_edges()) {
        hood.fill_excluded();
        search.run(hood);
      } else if (min_size <= 2) {
        for (std::size_t i = 0; i < hood.nc; ++i) {
          const DenseVertex pair[2] = {v, hood.candidates[i]};
          if (!hood.blocked(i)) sink(pair, pair + 2);
        }
      }
    }
  }
}

}  // namespace korvane::clique_search_detail
