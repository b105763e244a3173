// Persistence under a size bound, from the small cliques each edge creates;
// see bounded_tracker.hpp.
#include "analyses/persistence/bounded_tracker.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/failure.hpp"

namespace korvane {

const DenseVertex* BoundedTracker::CliqueSlots::vertices_of(const Entry& e) const noexcept {
  if (e.size <= kInline) return e.inline_vertices;
  std::uint64_t offset;
  std::memcpy(&offset, e.inline_vertices, sizeof offset);
  return vertices_.data() + offset;
}

void BoundedTracker::CliqueSlots::add(std::uint64_t print, const DenseVertex* first, const DenseVertex* last,
                                      SlotIndex slot) {
  if (2 * (count_ + 1) > entries_.size()) grow();
  Entry e;
  e.print = print;
  e.slot = slot;
  e.size = static_cast<std::uint32_t>(last - first);
  if (e.size <= kInline) {
    std::copy(first, last, e.inline_vertices);
  } else {
    const std::uint64_t offset = vertices_.size();
    vertices_.insert(vertices_.end(), first, last);
    std::memcpy(e.inline_vertices, &offset, sizeof offset);
  }
  std::size_t at = hash_(print) & mask_;
  while (entries_[at].slot != kNone<SlotIndex>) at = (at + 1) & mask_;
  entries_[at] = e;
  ++count_;
}

SlotIndex BoundedTracker::CliqueSlots::find(std::uint64_t print, const DenseVertex* first, const DenseVertex* last,
                                            std::size_t skip) const {
  const auto whole = static_cast<std::size_t>(last - first);
  const std::size_t size = whole - (skip < whole ? 1 : 0);
  if (!entries_.empty()) {
    for (std::size_t at = hash_(print) & mask_; entries_[at].slot != kNone<SlotIndex>; at = (at + 1) & mask_) {
      const Entry& e = entries_[at];
      if (e.print != print || e.size != size) continue;
      const DenseVertex* kept = vertices_of(e);
      bool same = true;
      for (std::size_t i = 0; i < whole && same; ++i) {
        if (i != skip) same = *kept++ == first[i];
      }
      if (same) return e.slot;
    }
  }
  throw InternalFailure("an old clique is missing");
}

void BoundedTracker::CliqueSlots::grow() {
  std::vector<Entry> old;
  old.swap(entries_);
  const std::size_t size = old.empty() ? 64 : 2 * old.size();
  check_capacity(size / 2, index_limit<std::uint32_t>(), "cliques");
  entries_.assign(size, Entry{});
  mask_ = size - 1;
  for (const Entry& e : old) {
    if (e.slot == kNone<SlotIndex>) continue;
    std::size_t at = hash_(e.print) & mask_;
    while (entries_[at].slot != kNone<SlotIndex>) at = (at + 1) & mask_;
    entries_[at] = e;
  }
}

BoundedTracker::BoundedTracker(std::uint64_t cap, std::size_t vertex_count, const std::vector<WeightedEdge>& edges,
                               const GraphLimits& limits)
    : cap_(cap),
      clique_limit_(limits.cliques),
      graph_(vertex_count, edges),
      vertex_slot_(vertex_count, kNone<SlotIndex>),
      // No clique has more vertices than the graph.
      tops_(static_cast<std::size_t>(std::min<std::uint64_t>(cap, vertex_count + 1))),
      seen_(vertex_count, 0),
      local_(vertex_count, kNone<DenseVertex>) {
  if (cap_ < 2) throw InternalFailure("a bounded filtration needs edges");
}

void BoundedTracker::admit(DenseVertex u, DenseVertex v, double weight, const RecordSink& out) {
  ticker_.tick();
  ++step_;
  weight_ = weight;
  const bool fresh_u = graph_.arrive(u);
  const bool fresh_v = graph_.arrive(v);
  if (u == v) {
    // A loop only matters as the arrival of a vertex.
    if (fresh_u) {
      open_vertex(u);
      levels_.settle(step_, weight_, out, ticker_);
    }
    return;
  }
  if (!graph_.add_edge(u, v, kNone<std::uint32_t>)) return;  // the same graph
  count_clique();
  u_ = u;
  v_ = v;
  common_.clear();
  // An end that arrives with the edge has no other neighbour.
  if (cap_ >= 3 && !fresh_u && !fresh_v) load_common(u, v);
  name_edge(u, v, fresh_u, fresh_v);
  if (!common_.empty()) {
    new_.items.clear();
    new_.starts.assign(1, 0);
    const std::size_t tops_before = tops_.count();
    visit(0, 0, 0);
    for (std::size_t c = 0; c < new_.count(); ++c) join_faces(new_.begin_of(c), new_.end_of(c));
    for (std::size_t c = tops_before; c < tops_.count(); ++c) {
      join_faces(tops_.clique(c), tops_.clique(c) + cap_);
    }
    for (DenseVertex x : common_) local_[x] = kNone<DenseVertex>;
  }
  levels_.settle(step_, weight_, out, ticker_);
}

void BoundedTracker::finish(const RecordSink& out) {
  levels_.finish(weight_, out, ticker_);
  const auto top = static_cast<QLevel>(cap_ - 1);
  for (std::size_t i = 0; i < tops_.count(); ++i) {
    ticker_.tick(cap_ + 1);
    out.record(top, tops_.clique(i), tops_.clique(i) + cap_, tops_.birth(i), weight_);
  }
}

void BoundedTracker::count_clique() {
  check_capacity(cliques_ + 1, clique_limit_, "cliques");
  ++cliques_;
}

void BoundedTracker::open_vertex(DenseVertex x) {
  clique_.assign(1, x);
  vertex_slot_[x] = levels_.open(0, clique_);
}

// Level 0 gains the edge's ends, level 1 the edge: with a common neighbour y
// it joins the class of the old edge v-y (the triangle u-v-y joins them),
// without one it stands alone. With a bound of 2, level 1 is the top.
void BoundedTracker::name_edge(DenseVertex u, DenseVertex v, bool fresh_u, bool fresh_v) {
  clique_.assign({std::min(u, v), std::max(u, v)});
  if (fresh_u && fresh_v) {
    vertex_slot_[u] = vertex_slot_[v] = levels_.open(0, clique_);
  } else if (fresh_u || fresh_v) {
    const DenseVertex old = fresh_u ? v : u;
    levels_.add_to(vertex_slot_[old], 0, clique_);
    vertex_slot_[fresh_u ? u : v] = vertex_slot_[old];
  } else {
    ticker_.tick();
    levels_.join(vertex_slot_[u], vertex_slot_[v], 0);
  }
  if (cap_ == 2) {
    tops_.add(clique_.data(), weight_);
    return;
  }
  if (common_.empty()) {
    edge_slot_ = levels_.open(1, clique_);
  } else {
    edge_slot_ = graph_.clique_of_edge(v, common_.front());
    levels_.add_to(edge_slot_, 1, clique_);
  }
  graph_.note_edge(u, v, edge_slot_);
}

// The common neighbours of u and v, ascending, and, when cliques of them
// with two vertices or more are formed, their hashes and links as bit rows.
void BoundedTracker::load_common(DenseVertex u, DenseVertex v) {
  const auto a = graph_.neighbours(u);
  const auto b = graph_.neighbours(v);
  ticker_.tick(a.size() + b.size() + 1);
  for (DenseVertex x : a) seen_[x] = step_;
  for (DenseVertex y : b) {
    if (seen_[y] == step_) common_.push_back(y);
  }
  if (common_.empty()) return;
  // Local numbers stay set until the step's joins are done.
  for (std::size_t i = 0; i < common_.size(); ++i) local_[common_[i]] = static_cast<DenseVertex>(i);
  words_ = words_for(common_.size());
  extenders_.assign(std::min<std::uint64_t>(cap_ - 1, common_.size() + 1) * words_, 0);
  for (std::size_t i = 0; i < common_.size(); ++i) set_bit(extenders_.data(), i);
  if (cap_ < 4) return;
  hash_u_ = slots_.fingerprint(&u, &u + 1);
  hash_v_ = slots_.fingerprint(&v, &v + 1);
  hashes_.resize(common_.size());
  for (std::size_t i = 0; i < common_.size(); ++i) hashes_[i] = slots_.fingerprint(&common_[i], &common_[i] + 1);
  single_slot_.assign(common_.size(), kNone<SlotIndex>);
  rows_.assign(common_.size() * words_, 0);
  for (std::size_t i = 0; i < common_.size(); ++i) {
    const auto around = graph_.neighbours(common_[i]);
    ticker_.tick(around.size() + 1);
    Word* row = rows_.data() + i * words_;
    for (DenseVertex y : around) {
      if (local_[y] != kNone<DenseVertex>) set_bit(row, local_[y]);
    }
  }
}

// The new clique {u, v} + K, K = k_ (of `depth` common neighbours, the
// last one local number last_local, hashes summing to print_k), then the
// larger ones through it. extenders_ at `depth` marks the common neighbours
// next to all of K.
void BoundedTracker::visit(std::size_t depth, std::size_t last_local, std::uint64_t print_k) {
  const Word* extenders = extenders_.data() + depth * words_;
  const std::size_t size = depth + 2;
  if (depth > 0) {
    ticker_.tick(words_ + 1);
    count_clique();
    place_ends(k_.data(), k_.data() + depth);
    if (size < cap_) {
      name_clique(depth, print_k, extenders);
      new_.add(clique_);
    } else {
      tops_.add(clique_.data(), weight_);
    }
  }
  if (size == cap_) return;
  Word* next = extenders_.data() + (depth + 1) * words_;
  for (std::size_t w = depth > 0 ? last_local / 64 : 0; w < words_; ++w) {
    Word bits = extenders[w];
    if (depth > 0 && w == last_local / 64) bits &= ~Word{0} << (last_local % 64) << 1;
    for (; bits != 0; bits &= bits - 1) {
      const std::size_t y = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
      if (size + 1 < cap_) {
        const Word* row = rows_.data() + y * words_;
        for (std::size_t x = 0; x < words_; ++x) next[x] = extenders[x] & row[x];
      }
      k_.push_back(static_cast<DenseVertex>(y));
      visit(depth + 1, y, size + 1 < cap_ ? print_k + hashes_[y] : 0);
      k_.pop_back();
    }
  }
}

// clique_ = {u, v} + K from K in local numbers (ascending, as common_ is),
// with u and v in their places.
void BoundedTracker::place_ends(const DenseVertex* k_first, const DenseVertex* k_last) {
  const DenseVertex low = std::min(u_, v_);
  const DenseVertex high = std::max(u_, v_);
  std::size_t at_low = kNone<std::size_t>;
  std::size_t at_high = kNone<std::size_t>;
  clique_.clear();
  for (const DenseVertex* k = k_first; k != k_last; ++k) {
    const DenseVertex x = common_[*k];
    if (at_low == kNone<std::size_t> && low < x) {
      at_low = clique_.size();
      clique_.push_back(low);
    }
    if (at_high == kNone<std::size_t> && high < x) {
      at_high = clique_.size();
      clique_.push_back(high);
    }
    clique_.push_back(x);
  }
  if (at_low == kNone<std::size_t>) {
    at_low = clique_.size();
    clique_.push_back(low);
  }
  if (at_high == kNone<std::size_t>) {
    at_high = clique_.size();
    clique_.push_back(high);
  }
  at_u_ = u_ < v_ ? at_low : at_high;
  at_v_ = u_ < v_ ? at_high : at_low;
}

// clique_ = {u, v} + K, of fewer than cap_ vertices: it joins the class of
// {v} + K + y at its level when some y extends K (the new clique through y
// joins the two), and stands alone otherwise. Either way it is kept.
void BoundedTracker::name_clique(std::size_t depth, std::uint64_t print_k, const Word* extenders) {
  const auto level = static_cast<std::uint32_t>(depth + 1);
  std::size_t y = common_.size();
  for (std::size_t w = 0; w < words_; ++w) {
    if (extenders[w] != 0) {
      y = w * 64 + static_cast<std::size_t>(std::countr_zero(extenders[w]));
      break;
    }
  }
  SlotIndex slot;
  if (y == common_.size()) {
    slot = levels_.open(level, clique_);
  } else {
    // {v} + K + y: clique_ without u, with y.
    face_.clear();
    for (std::size_t i = 0; i < clique_.size(); ++i) {
      if (i != at_u_) face_.push_back(clique_[i]);
    }
    face_.insert(std::lower_bound(face_.begin(), face_.end(), common_[y]), common_[y]);
    slot = slots_.find(print_k + hashes_[y] + hash_v_, face_.data(), face_.data() + face_.size(), face_.size());
    levels_.add_to(slot, level, clique_);
  }
  if (depth == 1) single_slot_[k_[0]] = slot;
  slots_.add(print_k + hash_u_ + hash_v_, clique_.data(), clique_.data() + clique_.size(), slot);
}

// The new clique C = {u, v} + K (ascending, K not empty) joins its faces at
// level |K|: {v} + K and {u} + K from before the step, and C less one vertex
// of K, new in it.
void BoundedTracker::join_faces(const DenseVertex* first, const DenseVertex* last) {
  const auto size = static_cast<std::size_t>(last - first);
  const std::size_t depth = size - 2;
  const auto level = static_cast<std::uint32_t>(depth);
  ticker_.tick(size * size);
  std::size_t at_u = 0;
  std::size_t at_v = 0;
  std::uint64_t print_k = 0;
  DenseVertex k_first = 0;  // the local numbers of K's first two vertices
  DenseVertex k_second = 0;
  std::size_t seen = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (first[i] == u_) {
      at_u = i;
    } else if (first[i] == v_) {
      at_v = i;
    } else {
      const DenseVertex k = local_[first[i]];
      if (depth >= 2) print_k += hashes_[k];
      (seen++ == 0 ? k_first : k_second) = k;
    }
  }
  // {v} + K and {u} + K: edges when K is one vertex.
  const auto side = [&](DenseVertex end, std::size_t skip, std::uint64_t hash_end) {
    return depth == 1 ? graph_.clique_of_edge(end, common_[k_first])
                      : slots_.find(print_k + hash_end, first, last, skip);
  };
  const SlotIndex base = side(v_, at_u, hash_v_);
  levels_.join(base, side(u_, at_v, hash_u_), level);
  for (std::size_t i = 0; i < size; ++i) {
    if (i == at_u || i == at_v) continue;
    SlotIndex face;
    const DenseVertex k = local_[first[i]];
    if (depth == 1) {
      face = edge_slot_;
    } else if (depth == 2) {
      face = single_slot_[k == k_first ? k_second : k_first];
    } else {
      face = slots_.find(print_k - hashes_[k] + hash_u_ + hash_v_, first, last, i);
    }
    levels_.join(base, face, level);
  }
}

void BoundedTracker::TopCliques::add(const DenseVertex* first, double birth) {
  if (count_ % per_chunk_ == 0) chunks_.push_back(std::make_unique_for_overwrite<DenseVertex[]>(per_chunk_ * size_));
  std::copy(first, first + size_, chunks_.back().get() + (count_ % per_chunk_) * size_);
  births_.push_back(birth);
  ++count_;
}

}  // namespace korvane
