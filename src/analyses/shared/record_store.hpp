// Sets packed back to back in one vector as [id, length, items...], the
// items (vertex ranks) ascending. The complex analysis keeps its table of
// simplices in this form, and both subset walks (of simplices and of
// cliques) stack projected copies in it, so a group of a walk is one
// contiguous region scanned in order. All offset arithmetic of the layout
// lives in this file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace korvane {

// A read-only view of one record. Valid until its store next grows.
template <class Idx>
class Record {
 public:
  explicit Record(const Idx* at) noexcept : at_(at) {}
  Idx id() const noexcept { return at_[0]; }
  std::size_t size() const noexcept { return static_cast<std::size_t>(at_[1]); }
  const Idx* begin() const noexcept { return at_ + 2; }
  const Idx* end() const noexcept { return begin() + size(); }

 private:
  const Idx* at_;
};

template <class Idx>
class RecordStore {
 public:
  // Slots taken by a record of `length` items.
  static constexpr std::size_t slots(std::size_t length) noexcept { return 2 + length; }

  // Offset just past the last record (or reserved slot).
  std::size_t end_offset() const noexcept { return data_.size(); }
  Record<Idx> at(std::size_t offset) const noexcept { return Record<Idx>(data_.data() + offset); }
  std::size_t next(std::size_t offset) const noexcept { return offset + slots(data_[offset + 1]); }

  void reserve(std::size_t total_slots) { data_.reserve(total_slots); }

  // Appends the record (id, [first, last)); returns its offset.
  std::size_t append(Idx id, const Idx* first, const Idx* last) {
    const std::size_t offset = data_.size();
    data_.push_back(id);
    data_.push_back(static_cast<Idx>(last - first));
    data_.insert(data_.end(), first, last);
    return offset;
  }

  // Appends `count` unwritten slots for write_kept(); returns where they start.
  std::size_t reserve_slots(std::size_t count) {
    const std::size_t offset = data_.size();
    data_.resize(offset + count);
    return offset;
  }

  // Writes at `offset`, inside reserved slots, the record of id and the items
  // of [first, last) that `keep` accepts; returns the offset just past it.
  // [first, last) may lie in this store, outside the slots written.
  template <class Keep>
  std::size_t write_kept(std::size_t offset, Idx id, const Idx* first, const Idx* last, Keep&& keep) {
    Idx* out = data_.data() + offset;
    Idx* put = out + 2;
    for (; first != last; ++first) {
      if (keep(*first)) *put++ = *first;
    }
    out[0] = id;
    out[1] = static_cast<Idx>(put - (out + 2));
    return static_cast<std::size_t>(put - data_.data());
  }

  // Removes the records at `dropped` (ascending offsets of records in
  // [first, last)) by moving the later ones down, in order; returns the new
  // end of the range. Records from `last` on are left where they are.
  std::size_t remove_records(std::size_t first, std::size_t last, const std::vector<std::size_t>& dropped) {
    std::size_t out = first;
    std::size_t d = 0;
    for (std::size_t at = first; at < last;) {
      const std::size_t after = next(at);
      if (d < dropped.size() && dropped[d] == at) {
        ++d;
      } else {
        // Moving down: the destination starts before the source.
        if (out != at) std::copy(data_.data() + at, data_.data() + after, data_.data() + out);
        out += after - at;
      }
      at = after;
    }
    return out;
  }

  // Drops everything from `offset` on.
  void truncate(std::size_t offset) { data_.resize(offset); }

  // The records in [first, last), for range-for; each step re-reads the
  // store, so the store may grow between steps.
  class Iterator {
   public:
    Iterator(const RecordStore* store, std::size_t offset) noexcept : store_(store), offset_(offset) {}
    Record<Idx> operator*() const noexcept { return store_->at(offset_); }
    std::size_t offset() const noexcept { return offset_; }
    Iterator& operator++() noexcept {
      offset_ = store_->next(offset_);
      return *this;
    }
    bool operator!=(const Iterator& other) const noexcept { return offset_ < other.offset_; }

   private:
    const RecordStore* store_;
    std::size_t offset_;
  };
  struct Range {
    Iterator first;
    Iterator last;
    Iterator begin() const noexcept { return first; }
    Iterator end() const noexcept { return last; }
  };
  Range records(std::size_t first, std::size_t last) const noexcept {
    return Range{Iterator(this, first), Iterator(this, last)};
  }

 private:
  std::vector<Idx> data_;
};

}  // namespace korvane
