// The growing graph and the view of one new edge; see growing_graph.hpp.
#include "analyses/persistence/growing_graph.hpp"

#include <algorithm>
#include <bit>
#include <iterator>
#include <utility>

#include "core/failure.hpp"

namespace korvane {

GrowingGraph::GrowingGraph(std::size_t vertex_count, const std::vector<WeightedEdge>& edges)
    : start_(vertex_count + 1, 0), degree_(vertex_count, 0), present_(vertex_count, 0) {
  // Room for every edge at both ends, repeats included.
  for (const WeightedEdge& e : edges) {
    if (e.u == e.v) continue;
    ++start_[e.u + 1];
    ++start_[e.v + 1];
  }
  for (std::size_t x = 0; x < vertex_count; ++x) start_[x + 1] += start_[x];
  // Left unset: a place is read only once an edge has filled it.
  ends_.reset(new DenseVertex[start_[vertex_count]]);
  cliques_.reset(new std::uint32_t[start_[vertex_count]]);
}

bool GrowingGraph::arrive(DenseVertex v) {
  if (present_[v] != 0) return false;
  present_[v] = 1;
  return true;
}

// Inserts y into the ascending list of x; false when it is there already.
// One scan from the back moves up the entries it passes: lists are short
// enough that this beats a search and a call to memmove. The room counts
// every edge given, repeats too, so the list has a free place even for a
// repeat.
inline bool GrowingGraph::place(DenseVertex x, DenseVertex y, std::uint32_t clique) {
  const std::size_t first = start_[x];
  const std::size_t count = degree_[x];
  if (first + count == start_[x + 1]) unannounced();
  DenseVertex* ends = ends_.get() + first;
  std::uint32_t* cliques = cliques_.get() + first;
  std::size_t at = count;
  for (; at > 0 && ends[at - 1] > y; --at) {
    ends[at] = ends[at - 1];
    cliques[at] = cliques[at - 1];
  }
  if (at > 0 && ends[at - 1] == y) {
    // A repeated edge: the entries go back down.
    for (std::size_t i = at; i < count; ++i) {
      ends[i] = ends[i + 1];
      cliques[i] = cliques[i + 1];
    }
    return false;
  }
  ends[at] = y;
  cliques[at] = clique;
  ++degree_[x];
  return true;
}

bool GrowingGraph::add_edge(DenseVertex u, DenseVertex v, std::uint32_t clique) {
  if (!place(u, v, clique)) return false;
  place(v, u, clique);
  return true;
}

// Out of line, so that place() stays small enough to inline.
void GrowingGraph::unannounced() { throw InternalFailure("an edge came that was not announced"); }

std::uint32_t GrowingGraph::clique_of_edge(DenseVertex u, DenseVertex v) const {
  const auto around = neighbours(u);
  const auto at = std::lower_bound(around.begin(), around.end(), v);
  if (at == around.end() || *at != v) return kNone<std::uint32_t>;
  return cliques_[start_[u] + static_cast<std::size_t>(at - around.begin())];
}

void GrowingGraph::note_edge(DenseVertex u, DenseVertex v, std::uint32_t value) {
  for (const auto& [x, y] : {std::pair{u, v}, std::pair{v, u}}) {
    const auto around = neighbours(x);
    const auto at = std::lower_bound(around.begin(), around.end(), y);
    if (at == around.end() || *at != y) throw InternalFailure("an edge to note is missing");
    cliques_[start_[x] + static_cast<std::size_t>(at - around.begin())] = value;
  }
}

void EdgeView::load(const GrowingGraph& graph, DenseVertex u, DenseVertex v, InterruptTicker& ticker) {
  graph_ = &graph;
  u_ = u;
  v_ = v;
  const auto& a = graph.neighbours(u);
  const auto& b = graph.neighbours(v);
  ticker.tick(a.size() + b.size() + 1);
  common_.clear();
  side_links_.clear();
  if (a.size() > 1 && b.size() > 1) {
    // The common neighbours by marking those of u: one cheap pass over each
    // list, where a merge of the two branches unpredictably at every step.
    // (An end whose one neighbour is the other end has none.)
    ++pass_;
    for (DenseVertex x : a) seen_[x] = pass_;
    for (DenseVertex y : b) {
      if (seen_[y] == pass_) common_.push_back(y);
    }
  }
  words_ = words_for(common_.size());
  if (local_.adjacency.size() != common_.size() || !common_.empty()) {
    local_.adjacency.resize(common_.size());
    for (auto& around : local_.adjacency) around.clear();
  }
  if (common_.size() < 2) return;
  split_neighbours(u, v, ticker);
  side_bits_.assign(side_.size() * words_, 0);
  for (std::size_t i = 0; i < common_.size(); ++i) slot_[common_[i]] = static_cast<DenseVertex>(i);
  for (std::size_t i = 0; i < side_.size(); ++i) side_slot_[side_[i]] = static_cast<DenseVertex>(i);
  scan_common(ticker);
  release_slots();
}

// One merge of the two ascending neighbour lists: the side vertices of u,
// then those of v.
void EdgeView::split_neighbours(DenseVertex u, DenseVertex v, InterruptTicker& ticker) {
  const auto& a = graph_->neighbours(u);
  const auto& b = graph_->neighbours(v);
  ticker.tick(a.size() + b.size() + 1);
  side_.clear();
  candidates_.clear();  // v's side, until appended
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() || j < b.size()) {
    if (j == b.size() || (i < a.size() && a[i] < b[j])) {
      if (a[i] != v) side_.push_back(a[i]);
      ++i;
    } else if (i == a.size() || b[j] < a[i]) {
      if (b[j] != u) candidates_.push_back(b[j]);
      ++j;
    } else {
      ++i;
      ++j;
    }
  }
  u_side_ = side_.size();
  side_.insert(side_.end(), candidates_.begin(), candidates_.end());
}

// The neighbours of each common neighbour: common ones make the local
// graph (ascending, since common_ is), side ones get the bit of it.
void EdgeView::scan_common(InterruptTicker& ticker) {
  for (std::size_t i = 0; i < common_.size(); ++i) {
    const auto& around = graph_->neighbours(common_[i]);
    ticker.tick(around.size() + 1);
    for (DenseVertex y : around) {
      if (slot_[y] != kNone<DenseVertex>) {
        local_.adjacency[i].push_back(slot_[y]);
      } else if (side_slot_[y] != kNone<DenseVertex>) {
        set_bit(side_bits_.data() + side_slot_[y] * words_, i);
      }
    }
  }
}

void EdgeView::release_slots() {
  for (DenseVertex x : common_) slot_[x] = kNone<DenseVertex>;
  for (DenseVertex x : side_) side_slot_[x] = kNone<DenseVertex>;
}

// Side vertices as bitsets over the side indices: row s marks the side
// vertices next to side vertex s. Worth its cost when many cliques grow.
void EdgeView::link_sides(InterruptTicker& ticker) {
  if (side_.size() > kMostLinkedSides) return;
  side_words_ = words_for(side_.size());
  side_links_.assign(side_.size() * side_words_, 0);
  for (std::size_t i = 0; i < side_.size(); ++i) side_slot_[side_[i]] = static_cast<DenseVertex>(i);
  for (std::size_t s = 0; s < side_.size(); ++s) {
    const auto& around = graph_->neighbours(side_[s]);
    ticker.tick(around.size() + 1);
    for (DenseVertex y : around) {
      const DenseVertex t = side_slot_[y];
      if (t != kNone<DenseVertex>) set_bit(side_links_.data() + s * side_words_, t);
    }
  }
  for (DenseVertex x : side_) side_slot_[x] = kNone<DenseVertex>;
}

bool EdgeView::grow_side(DenseVertex drop, const Word* k_bits, const DenseVertex* k_first, const DenseVertex* k_last,
                         std::vector<DenseVertex>& clique, InterruptTicker& ticker) {
  // What M - drop can grow by lies next to the kept endpoint and not to
  // drop (a common neighbour next to all of K would extend K).
  const bool keep_v = drop == u_;
  const std::size_t first = keep_v ? u_side_ : 0;
  const std::size_t last = keep_v ? side_.size() : u_side_;
  ticker.tick((last - first) * (words_ + 1) + 1);
  added_.clear();
  if (side_links_.empty()) {
    grow_by_lists(first, last, k_bits, ticker);
  } else {
    grow_by_links(first, last, k_bits);
  }
  // added_ is ascending, as the side is; so are the common neighbours of K.
  clique.clear();
  for (const DenseVertex* k = k_first; k != k_last; ++k) clique.push_back(common_[*k]);
  merged_.clear();
  std::merge(clique.begin(), clique.end(), added_.begin(), added_.end(), std::back_inserter(merged_));
  const DenseVertex kept = keep_v ? v_ : u_;
  merged_.insert(std::lower_bound(merged_.begin(), merged_.end(), kept), kept);
  clique.swap(merged_);
  return !added_.empty();
}

// Whether side vertex s is next to every vertex of K.
bool EdgeView::next_to_all(std::size_t s, const Word* k_bits) const {
  const Word* row = side_bits_.data() + s * words_;
  for (std::size_t w = 0; w < words_; ++w) {
    if ((k_bits[w] & ~row[w]) != 0) return false;
  }
  return true;
}

// Greedy over neighbour lists: take the smallest candidate, keep the
// candidates next to it.
void EdgeView::grow_by_lists(std::size_t first, std::size_t last, const Word* k_bits, InterruptTicker& ticker) {
  candidates_.clear();
  for (std::size_t s = first; s < last; ++s) {
    if (next_to_all(s, k_bits)) candidates_.push_back(side_[s]);
  }
  while (!candidates_.empty()) {
    const DenseVertex next = candidates_.front();
    added_.push_back(next);
    const auto& around = graph_->neighbours(next);
    ticker.tick(candidates_.size());
    std::size_t kept = 0;
    for (std::size_t c = 1; c < candidates_.size(); ++c) {
      if (std::binary_search(around.begin(), around.end(), candidates_[c])) candidates_[kept++] = candidates_[c];
    }
    candidates_.resize(kept);
  }
}

// The same greedy over the side bitsets of link_sides().
void EdgeView::grow_by_links(std::size_t first, std::size_t last, const Word* k_bits) {
  reach_.assign(side_words_, 0);
  for (std::size_t s = first; s < last; ++s) {
    if (next_to_all(s, k_bits)) set_bit(reach_.data(), s);
  }
  for (std::size_t w = first / 64; w < side_words_;) {
    if (reach_[w] == 0) {
      ++w;
      continue;
    }
    const std::size_t s = w * 64 + static_cast<std::size_t>(std::countr_zero(reach_[w]));
    added_.push_back(side_[s]);
    const Word* links = side_links_.data() + s * side_words_;
    for (std::size_t x = w; x < side_words_; ++x) reach_[x] &= links[x];
  }
}

}  // namespace korvane
