// Components per level and their keys; see component_levels.hpp.
#include "analyses/persistence/component_levels.hpp"

#include <algorithm>
#include <bit>

namespace korvane {

SlotIndex ComponentLevels::open(std::uint32_t level, const std::vector<DenseVertex>& clique) {
  // The forest grows ahead, by doubling: slots not handed out yet are
  // singletons nothing refers to.
  const std::size_t slot = slots_used_++;
  if (slot == forest_.size()) {
    // Doubling stops at the widest forest; past it, extend() throws before
    // a slot number would wrap.
    const std::size_t ahead = std::min(std::max<std::size_t>(16, 2 * slot), index_limit<SlotIndex>());
    forest_.extend(std::max(ahead, slot + 1));
    key_of_.resize(forest_.size(), kNone<KeyIndex>);
  }
  if (by_print_.size() <= level) by_print_.resize(std::size_t{level} + 1);
  // Nothing joins it in the step, so the clique is its key's set.
  check_capacity(opened_.size() + 1, index_limit<std::uint32_t>(), "cliques in one step");
  const auto clique_index = static_cast<std::uint32_t>(opened_.size());
  opened_.push_back(sets_.store(clique.data(), clique.data() + clique.size()));
  parts_.push_back(Part{static_cast<SlotIndex>(slot), static_cast<SlotIndex>(slot), level, clique_index, kNone<KeyIndex>, true});
  return static_cast<SlotIndex>(slot);
}

void ComponentLevels::add_to(SlotIndex slot, std::uint32_t level, const std::vector<DenseVertex>& clique) {
  stash(forest_.find(slot), level);
  own(slot, level, clique);
}

// The clique's vertices as a part of the component of `slot`.
void ComponentLevels::own(SlotIndex slot, std::uint32_t level, const std::vector<DenseVertex>& clique) {
  check_capacity(added_.count() + 1, index_limit<std::uint32_t>(), "cliques in one step");
  const auto clique_index = static_cast<std::uint32_t>(added_.count());
  added_.add(clique);
  parts_.push_back(Part{slot, slot, level, clique_index, kNone<KeyIndex>, false});
}

bool ComponentLevels::join(SlotIndex a, SlotIndex b, std::uint32_t level) {
  const auto merge = forest_.unite(a, b);
  if (!merge) return false;
  stash(merge->root, level);
  stash(merge->absorbed, level);
  return true;
}

// A root that carried a key hands it to the step's parts: the key's count
// is settled once the step's joins are done.
void ComponentLevels::stash(SlotIndex root, std::uint32_t level) {
  const KeyIndex key = key_of_[root];
  if (key == kNone<KeyIndex>) return;
  key_of_[root] = kNone<KeyIndex>;
  parts_.push_back(Part{root, root, level, 0, key, false});
}

void ComponentLevels::settle(std::uint64_t step, double weight, const RecordSink& out, InterruptTicker& ticker) {
  if (parts_.empty()) return;
  ticker.tick(parts_.size());
  for (Part& p : parts_) p.root = forest_.find(p.slot);
  if (parts_.size() > 1) {
    std::sort(parts_.begin(), parts_.end(), [](const Part& a, const Part& b) { return a.root < b.root; });
  }
  touched_.clear();
  for (auto first = parts_.begin(); first != parts_.end();) {
    auto last = first;
    while (last != parts_.end() && last->root == first->root) ++last;
    ticker.tick();
    if (first->opened) {
      // A component opened in the step, as most new cliques at their top
      // level are: its clique is a new key of its own, one of a kind (see
      // one_of_a_kind()).
      if (last - first != 1) throw InternalFailure("a component opened in the step was joined");
      const KeyIndex key = new_key(first->level, opened_[first->clique]);
      hold(key, step, weight);
      key_of_[first->slot] = key;
    } else {
      settle_component(&*first, &*first + (last - first), step, weight, ticker);
    }
    first = last;
  }
  if (!touched_.empty()) report(weight, out, ticker);
  parts_.clear();
  opened_.clear();
  if (!added_.items.empty()) {
    added_.items.clear();
    added_.starts.assign(1, 0);
  }
}

// One component touched in the step: its vertex set is the union of its
// parts' sets; the keys its parts carried lose a holder, its new key gains
// one.
void ComponentLevels::settle_component(const Part* first, const Part* last, std::uint64_t step, double weight,
                                       InterruptTicker& ticker) {
  const Part* base = pick_base(first, last);
  collect_extras(first, last, base, ticker);
  const KeyIndex key = merged_key(*base, first->level);
  for (const Part* p = first; p != last; ++p) {
    if (p->key == kNone<KeyIndex>) continue;
    touch(p->key, step);
    --keys_[p->key].count;
  }
  hold(key, step, weight);
  key_of_[first->root] = key;
}

// The key gains a holder. A key without holders that the step has not
// touched is new: it is born now, and it cannot die in the step (only keys
// from before it lose holders), so report() need not see it.
void ComponentLevels::hold(KeyIndex key, std::uint64_t step, double weight) {
  Key& k = keys_[key];
  if (k.count == 0 && k.seen_at != step) {
    k.seen_at = step;
    k.birth = weight;
  } else {
    touch(key, step);
  }
  ++k.count;
}

// The largest set among the parts, an old key before a new clique: most
// merges add few vertices, if any, to a set that is already there.
const ComponentLevels::Part* ComponentLevels::pick_base(const Part* first, const Part* last) const {
  const Part* base = first;
  for (const Part* p = first + 1; p != last; ++p) {
    const bool keyed = p->key != kNone<KeyIndex>;
    const bool base_keyed = base->key != kNone<KeyIndex>;
    const auto size = last_of(*p) - first_of(*p);
    const auto base_size = last_of(*base) - first_of(*base);
    if ((keyed && !base_keyed) || (keyed == base_keyed && size > base_size)) base = p;
  }
  return base;
}

// The vertices of the other parts that the base lacks, ascending, in
// extras_. Few vertices are looked up in the base by bisection; many are
// checked against marks on the base's vertices, which cost a pass over it.
void ComponentLevels::collect_extras(const Part* first, const Part* last, const Part* base, InterruptTicker& ticker) {
  extras_.clear();
  std::size_t others = 0;
  DenseVertex largest = *(last_of(*base) - 1);
  for (const Part* p = first; p != last; ++p) {
    if (p == base || (p->key != kNone<KeyIndex> && p->key == base->key)) continue;
    others += static_cast<std::size_t>(last_of(*p) - first_of(*p));
    largest = std::max(largest, *(last_of(*p) - 1));
  }
  if (others == 0) return;
  const auto base_size = static_cast<std::size_t>(last_of(*base) - first_of(*base));
  ticker.tick(others + 1);
  if (first->level == 0) {
    extras_at_level_zero(first, last, base);
  } else if (others * static_cast<std::size_t>(std::bit_width(base_size)) < base_size) {
    extras_by_bisection(first, last, base);
  } else {
    extras_by_marks(first, last, base, largest);
  }
}

void ComponentLevels::extras_by_bisection(const Part* first, const Part* last, const Part* base) {
  for (const Part* p = first; p != last; ++p) {
    if (p == base || (p->key != kNone<KeyIndex> && p->key == base->key)) continue;
    for (const DenseVertex* x = first_of(*p); x != last_of(*p); ++x) {
      if (!std::binary_search(first_of(*base), last_of(*base), *x)) extras_.push_back(*x);
    }
  }
  std::sort(extras_.begin(), extras_.end());
  extras_.erase(std::unique(extras_.begin(), extras_.end()), extras_.end());
}

// The components of level 0 partition the vertices, so the keys of the
// parts are apart from the base and from one another: only the vertices of
// cliques added to the component need looking up. Most such merges bring
// one other part, whose set (or what the base lacks of it) is the extras as
// it is.
void ComponentLevels::extras_at_level_zero(const Part* first, const Part* last, const Part* base) {
  for (const Part* p = first; p != last; ++p) {
    if (p == base) continue;
    const auto middle = static_cast<std::ptrdiff_t>(extras_.size());
    if (p->key != kNone<KeyIndex>) {
      extras_.insert(extras_.end(), first_of(*p), last_of(*p));
    } else {
      for (const DenseVertex* x = first_of(*p); x != last_of(*p); ++x) {
        if (!std::binary_search(first_of(*base), last_of(*base), *x)) extras_.push_back(*x);
      }
    }
    std::inplace_merge(extras_.begin(), extras_.begin() + middle, extras_.end());
  }
  extras_.erase(std::unique(extras_.begin(), extras_.end()), extras_.end());
}

// Marks carry the number of the pass that set them, so no pass clears them.
void ComponentLevels::extras_by_marks(const Part* first, const Part* last, const Part* base, DenseVertex largest) {
  if (marks_.size() <= largest) marks_.resize(std::size_t{largest} + 1, 0);
  if (++mark_ == 0) {
    std::fill(marks_.begin(), marks_.end(), 0);
    mark_ = 1;
  }
  for (const DenseVertex* x = first_of(*base); x != last_of(*base); ++x) marks_[*x] = mark_;
  for (const Part* p = first; p != last; ++p) {
    if (p == base || (p->key != kNone<KeyIndex> && p->key == base->key)) continue;
    for (const DenseVertex* x = first_of(*p); x != last_of(*p); ++x) {
      if (marks_[*x] == mark_) continue;
      marks_[*x] = mark_;
      extras_.push_back(*x);
    }
  }
  std::sort(extras_.begin(), extras_.end());
}

// Only one component can carry a set of level 0 (they partition the
// vertices) or one of level + 1 vertices (it is a single clique, which lies
// in one class): such a key is made without a look-up and left out of the
// level's table, which saves hashing most keys of a sparse graph.
bool ComponentLevels::one_of_a_kind(std::uint32_t level, std::size_t size) {
  return level == 0 || size == std::size_t{level} + 1;
}

// The key of the base's set plus extras_, added to the level's keys when
// new, unless one of a kind.
ComponentLevels::KeyIndex ComponentLevels::merged_key(const Part& base, std::uint32_t level) {
  if (extras_.empty() && base.key != kNone<KeyIndex>) return base.key;
  // The set is merged straight into its block; taking the block may move
  // the arena, so the base is read after.
  const std::size_t size = static_cast<std::size_t>(last_of(base) - first_of(base)) + extras_.size();
  SetArena<DenseVertex>::Block set = sets_.reserve(size);
  merge_extras(first_of(base), last_of(base), sets_.writable(set));
  if (one_of_a_kind(level, size)) return new_key(level, set);
  FingerprintTable& table = by_print_[level];
  const bool base_listed = base.key != kNone<KeyIndex> && keys_[base.key].listed;
  std::uint64_t print = base_listed ? keys_[base.key].print : table.fingerprint(first_of(base), last_of(base));
  print += table.fingerprint(extras_.begin(), extras_.end());
  const DenseVertex* merged = sets_.data(set);
  const KeyIndex same = table.find(print, [&](KeyIndex k) {
    return std::equal(sets_.data(keys_[k].set), sets_.end(keys_[k].set), merged, merged + size);
  });
  if (same != kNone<KeyIndex>) {
    sets_.release(set);
    return same;
  }
  const KeyIndex key = new_key(level, set);
  keys_[key].print = print;
  keys_[key].listed = true;
  table.insert(print, key);
  return key;
}

// out = [first, last) with extras_ put in place: runs of the base are
// copied whole, so adding a few vertices to a large set costs a copy.
void ComponentLevels::merge_extras(const DenseVertex* first, const DenseVertex* last, DenseVertex* out) {
  for (DenseVertex x : extras_) {
    const DenseVertex* at = std::lower_bound(first, last, x);
    out = std::copy(first, at, out);
    *out++ = x;
    first = at;
  }
  std::copy(first, last, out);
}

// A key without holders yet, not listed.
ComponentLevels::KeyIndex ComponentLevels::new_key(std::uint32_t level, const SetArena<DenseVertex>::Block& set) {
  KeyIndex key;
  if (!free_keys_.empty()) {
    key = free_keys_.back();
    free_keys_.pop_back();
  } else {
    check_capacity(keys_.size() + 1, kNone<KeyIndex>, "component keys");
    key = static_cast<KeyIndex>(keys_.size());
    keys_.emplace_back();
  }
  keys_[key].set = set;
  keys_[key].level = level;
  return key;
}

void ComponentLevels::drop_key(KeyIndex key) {
  Key& k = keys_[key];
  if (k.listed) by_print_[k.level].erase(k.print, key);
  sets_.release(k.set);
  k = Key{};
  free_keys_.push_back(key);
}

// Lists a key from before the step once, to be checked when the step's
// counts are done: a key that loses a holder and gains another within the
// step lives on.
void ComponentLevels::touch(KeyIndex key, std::uint64_t step) {
  Key& k = keys_[key];
  if (k.seen_at == step) return;
  k.seen_at = step;
  touched_.push_back(key);
}

// Each touched key is listed once, so dropping a dying one leaves the others
// valid. Keys whose count moved but stayed positive simply continue. The
// touched keys are keys from before the step, so a key without holders now
// had some before: it dies.
void ComponentLevels::report(double weight, const RecordSink& out, InterruptTicker& ticker) {
  for (const KeyIndex key : touched_) {
    const Key& k = keys_[key];
    if (k.count > 0) continue;
    ticker.tick(k.set.size + 1);
    out.record(static_cast<QLevel>(k.level), sets_.data(k.set), sets_.end(k.set), k.birth, weight);
    drop_key(key);
  }
}

// Places of dropped keys hold no holders, so the keys with holders are the
// ones present.
void ComponentLevels::finish(double weight, const RecordSink& out, InterruptTicker& ticker) {
  for (const Key& k : keys_) {
    if (k.count == 0) continue;
    ticker.tick(k.set.size + 1);
    out.record(static_cast<QLevel>(k.level), sets_.data(k.set), sets_.end(k.set), k.birth, weight);
  }
}

const DenseVertex* ComponentLevels::first_of(const Part& p) const {
  return p.key != kNone<KeyIndex> ? sets_.data(keys_[p.key].set) : added_.begin_of(p.clique);
}

const DenseVertex* ComponentLevels::last_of(const Part& p) const {
  return p.key != kNone<KeyIndex> ? sets_.end(keys_[p.key].set) : added_.end_of(p.clique);
}

}  // namespace korvane
