// Components per level and their keys; see persistence_levels.hpp.
#include "analyses/persistence_levels.hpp"

#include <algorithm>
#include <iterator>

namespace korvane {

SlotIndex ComponentLevels::open(const std::vector<DenseVertex>& clique, std::size_t levels, std::size_t own_from) {
  const std::size_t first = forest_.size();
  forest_.extend(first + levels);  // throws before a slot number would wrap
  key_of_.resize(forest_.size(), nullptr);
  if (keys_.size() < levels) keys_.resize(levels);
  if (own_from >= levels) return static_cast<SlotIndex>(first);
  check_capacity(opened_.count() + 1, index_limit<std::uint32_t>(), "cliques in one step");
  const auto clique_index = static_cast<std::uint32_t>(opened_.count());
  opened_.add(clique);
  for (std::size_t q = own_from; q < levels; ++q) {
    const auto slot = static_cast<SlotIndex>(first + q);
    parts_.push_back(Part{slot, slot, static_cast<std::uint32_t>(q), clique_index, nullptr});
  }
  return static_cast<SlotIndex>(first);
}

void ComponentLevels::join(SlotIndex a, SlotIndex b, std::size_t top, InterruptTicker& ticker) {
  for (std::size_t q = top + 1; q-- > 0;) {
    ticker.tick();
    const auto merge = forest_.unite(static_cast<SlotIndex>(a + q), static_cast<SlotIndex>(b + q));
    if (!merge) return;
    stash(merge->root, static_cast<std::uint32_t>(q));
    stash(merge->absorbed, static_cast<std::uint32_t>(q));
  }
}

bool ComponentLevels::join_at(SlotIndex a, SlotIndex b, std::size_t q) {
  const auto merge = forest_.unite(static_cast<SlotIndex>(a + q), static_cast<SlotIndex>(b + q));
  if (!merge) return false;
  stash(merge->root, static_cast<std::uint32_t>(q));
  stash(merge->absorbed, static_cast<std::uint32_t>(q));
  return true;
}

// A root that carried a key hands it to the step's parts: the key's count
// is settled once the step's joins are done.
void ComponentLevels::stash(SlotIndex root, std::uint32_t level) {
  Key* key = key_of_[root];
  if (key == nullptr) return;
  key_of_[root] = nullptr;
  parts_.push_back(Part{root, root, level, 0, key});
}

void ComponentLevels::settle(std::uint64_t step, double weight, const RecordSink& out, InterruptTicker& ticker) {
  if (parts_.empty()) return;
  for (Part& p : parts_) p.root = forest_.find(p.slot);
  std::sort(parts_.begin(), parts_.end(), [](const Part& a, const Part& b) { return a.root < b.root; });
  touched_.clear();
  for (auto first = parts_.begin(); first != parts_.end();) {
    auto last = first;
    while (last != parts_.end() && last->root == first->root) ++last;
    settle_component(&*first, &*first + (last - first), step, ticker);
    first = last;
  }
  report(weight, out, ticker);
  parts_.clear();
  opened_.items.clear();
  opened_.starts.assign(1, 0);
}

// One component touched in the step: its vertex set is the union of its
// parts' sets; the keys its parts carried lose a holder, its new key gains
// one.
void ComponentLevels::settle_component(const Part* first, const Part* last, std::uint64_t step,
                                       InterruptTicker& ticker) {
  const Part* base = pick_base(first, last);
  collect_extras(first, last, base, ticker);
  Key* key = merged_key(*base, first->level);
  for (const Part* p = first; p != last; ++p) {
    if (p->key == nullptr) continue;
    touch(p->key, p->level, step);
    --p->key->second.count;
  }
  touch(key, first->level, step);
  ++key->second.count;
  key_of_[first->root] = key;
}

// The largest set among the parts, an old key before a new clique: most
// merges add few vertices, if any, to a set that is already there.
const ComponentLevels::Part* ComponentLevels::pick_base(const Part* first, const Part* last) const {
  const Part* base = first;
  for (const Part* p = first + 1; p != last; ++p) {
    const bool keyed = p->key != nullptr;
    const bool base_keyed = base->key != nullptr;
    const auto size = last_of(*p) - first_of(*p);
    const auto base_size = last_of(*base) - first_of(*base);
    if ((keyed && !base_keyed) || (keyed == base_keyed && size > base_size)) base = p;
  }
  return base;
}

// The vertices of the other parts that the base lacks, ascending, in extras_.
void ComponentLevels::collect_extras(const Part* first, const Part* last, const Part* base, InterruptTicker& ticker) {
  extras_.clear();
  const DenseVertex* b_first = first_of(*base);
  const DenseVertex* b_last = last_of(*base);
  for (const Part* p = first; p != last; ++p) {
    if (p == base || (p->key != nullptr && p->key == base->key)) continue;
    ticker.tick(static_cast<std::size_t>(last_of(*p) - first_of(*p)) + 1);
    for (const DenseVertex* x = first_of(*p); x != last_of(*p); ++x) {
      if (!std::binary_search(b_first, b_last, *x)) extras_.push_back(*x);
    }
  }
  std::sort(extras_.begin(), extras_.end());
  extras_.erase(std::unique(extras_.begin(), extras_.end()), extras_.end());
}

// The key of the base's set plus extras_, added to the level's keys when
// new.
ComponentLevels::Key* ComponentLevels::merged_key(const Part& base, std::uint32_t level) {
  if (extras_.empty() && base.key != nullptr) return base.key;
  std::uint64_t print = base.key != nullptr ? base.key->first : fingerprint(first_of(base), last_of(base));
  print += fingerprint(extras_.data(), extras_.data() + extras_.size());
  merge_extras(first_of(base), last_of(base));
  KeyMap& keys = keys_[level];
  const auto [same_first, same_last] = keys.equal_range(print);
  for (auto it = same_first; it != same_last; ++it) {
    if (it->second.set == merged_) return &*it;
  }
  auto it = keys.emplace(print, KeyState{});
  it->second.set = merged_;
  return &*it;
}

// merged_ = [first, last) with extras_ put in place: runs of the base are
// copied whole, so adding a few vertices to a large set costs a copy.
void ComponentLevels::merge_extras(const DenseVertex* first, const DenseVertex* last) {
  merged_.clear();
  merged_.reserve(static_cast<std::size_t>(last - first) + extras_.size());
  for (DenseVertex x : extras_) {
    const DenseVertex* at = std::lower_bound(first, last, x);
    merged_.insert(merged_.end(), first, at);
    merged_.push_back(x);
    first = at;
  }
  merged_.insert(merged_.end(), first, last);
}

std::uint64_t ComponentLevels::fingerprint(const DenseVertex* first, const DenseVertex* last) const {
  std::uint64_t print = 0;
  for (; first != last; ++first) print += hash_(static_cast<std::uint64_t>(*first));
  return print;
}

void ComponentLevels::erase(Key* key, std::uint32_t level) {
  KeyMap& keys = keys_[level];
  const auto [same_first, same_last] = keys.equal_range(key->first);
  for (auto it = same_first; it != same_last; ++it) {
    if (&*it == key) {
      keys.erase(it);
      return;
    }
  }
  throw InternalFailure("a key is missing from its level");
}

// Snapshots a key's count at its first touch in a step, so that a key that
// loses a holder and gains another within the step neither dies nor is born.
void ComponentLevels::touch(Key* key, std::uint32_t level, std::uint64_t step) {
  KeyState& state = key->second;
  if (state.seen_at == step) return;
  state.seen_at = step;
  state.before = state.count;
  touched_.push_back(Touch{level, key});
}

// Each touched key is listed once, so erasing a dying one leaves the others
// valid. Keys whose count moved but stayed positive simply continue.
void ComponentLevels::report(double weight, const RecordSink& out, InterruptTicker& ticker) {
  for (const Touch& t : touched_) {
    KeyState& state = t.key->second;
    if (state.count > 0) {
      if (state.before == 0) state.birth = weight;
      continue;
    }
    const std::vector<DenseVertex>& set = state.set;
    ticker.tick(set.size() + 1);
    if (state.before > 0) {
      out.record(static_cast<QLevel>(t.level), set.data(), set.data() + set.size(), state.birth, weight);
    }
    erase(t.key, t.level);
  }
}

void ComponentLevels::finish(double weight, const RecordSink& out, InterruptTicker& ticker) {
  for (std::size_t q = 0; q < keys_.size(); ++q) {
    for (const auto& [print, state] : keys_[q]) {
      ticker.tick(state.set.size() + 1);
      out.record(static_cast<QLevel>(q), state.set.data(), state.set.data() + state.set.size(), state.birth, weight);
    }
  }
}

const DenseVertex* ComponentLevels::first_of(const Part& p) const {
  return p.key != nullptr ? p.key->second.set.data() : opened_.begin_of(p.clique);
}

const DenseVertex* ComponentLevels::last_of(const Part& p) const {
  return p.key != nullptr ? p.key->second.set.data() + p.key->second.set.size() : opened_.end_of(p.clique);
}

}  // namespace korvane
