// How both subset walks split a group (complex/subset_walk.hpp,
// graph/clique_overlaps.cpp). A group is a run of members in a record store,
// each a projected copy; its children are the vertices of the copies held by
// two or more members but not all, one of them small: a child is the
// members holding its vertex, each cut down to its vertices after that one
// that the group does not hold in common (the child counts those as known).
//
// A walk counts the group's vertices here in its own tally, plans the
// children, each a region at the end of the store sized for its members'
// full suffixes (and filled with fewer, so a region may end in slack), and
// projects the members into them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analyses/shared/record_store.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"

namespace korvane {

template <class Idx>
class GroupSplit {
 public:
  struct Child {
    Idx members;
    std::size_t start;
    std::size_t fill;  // end of what is written so far
  };

  explicit GroupSplit(std::size_t vertex_count)
      : holders_(vertex_count, 0), slots_(vertex_count, 0), small_(vertex_count, 0), child_(vertex_count, kNone<Idx>) {}

  // A new tally: the counts of the last one must have been cleared.
  void start_tally() noexcept { touched_.clear(); }
  // A member holds v.
  void count(Idx v) {
    if (holders_[v]++ == 0) touched_.push_back(v);
  }
  // The slots each vertex's child's copy of `rec` would take, and whether a
  // small member holds the vertex.
  void count_slots(const Record<Idx>& rec, bool small) {
    std::size_t after = rec.size();
    for (Idx v : rec) {
      --after;
      slots_[v] += RecordStore<Idx>::slots(after);
      if (small) small_[v] = 1;
    }
  }
  // Both of the above in one pass.
  void count_with_slots(const Record<Idx>& rec, bool small) {
    std::size_t after = rec.size();
    for (Idx v : rec) {
      --after;
      count(v);
      slots_[v] += RecordStore<Idx>::slots(after);
      if (small) small_[v] = 1;
    }
  }

  // Vertices counted since the tally started, in order of first count.
  const std::vector<Idx>& touched() const noexcept { return touched_; }
  Idx holders(Idx v) const noexcept { return holders_[v]; }
  std::size_t slots(Idx v) const noexcept { return slots_[v]; }
  bool held_by_small(Idx v) const noexcept { return small_[v] != 0; }

  // Plans the children of a group of `members` among the counted vertices
  // below `below`, each a region at the end of `store`; returns where they
  // start in children().
  std::size_t plan(std::size_t members, Idx below, RecordStore<Idx>& store) {
    const std::size_t base = children_.size();
    std::size_t total = 0;
    for (Idx v : touched_) {
      if (holders_[v] >= 2 && holders_[v] < members && small_[v] != 0 && v < below) {
        child_[v] = static_cast<Idx>(children_.size() - base);
        children_.push_back(Child{holders_[v], total, total});
        total += slots_[v];
      }
    }
    const std::size_t offset = store.reserve_slots(total);
    for (std::size_t c = base; c < children_.size(); ++c) {
      children_[c].start += offset;
      children_[c].fill += offset;
    }
    return base;
  }

  // Calls join(first, id) for every other member of the group of `members`
  // in store[start, end), and copies each member's suffix after a planned
  // child's vertex into that child, less the vertices all members hold.
  template <class Join>
  void project(RecordStore<Idx>& store, std::size_t start, std::size_t end, std::size_t members,
               std::size_t child_base, Join&& join, InterruptTicker& ticker) {
    const Idx first = store.at(start).id();
    auto kept = [&](Idx v) { return holders_[v] != members; };
    for (std::size_t at = start; at < end; at = store.next(at)) {
      const Record<Idx> rec = store.at(at);
      if (at != start) join(first, rec.id());
      for (const Idx* v = rec.begin(); v != rec.end(); ++v) {
        const Idx c = child_[*v];
        if (c == kNone<Idx>) continue;
        Child& child = children_[child_base + c];
        child.fill = store.write_kept(child.fill, rec.id(), v + 1, rec.end(), kept);
      }
      ticker.tick(rec.size() + 1);
    }
  }

  // The children planned for the groups on the walk's path, stacked.
  const Child& child(std::size_t c) const noexcept { return children_[c]; }
  std::size_t child_count() const noexcept { return children_.size(); }
  void drop_children(std::size_t base) { children_.resize(base); }

  // Clears the counts of the tally (the touched list stays until the next).
  void clear() {
    for (Idx v : touched_) {
      holders_[v] = 0;
      slots_[v] = 0;
      small_[v] = 0;
      child_[v] = kNone<Idx>;
    }
  }

 private:
  // Indexed by vertex, zero (kNone) outside a tally.
  std::vector<Idx> holders_;
  std::vector<std::size_t> slots_;
  std::vector<std::uint8_t> small_;
  std::vector<Idx> child_;
  std::vector<Idx> touched_;
  std::vector<Child> children_;
};

}  // namespace korvane
