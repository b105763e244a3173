// Vertex sets that come and go, kept back to back in one array instead of
// one allocation each. A set takes a block of a power-of-two capacity; a
// block given back goes to the list of its capacity and is taken again by
// the next set of that capacity, so a component that keeps growing reuses
// the blocks of its earlier versions. Sets small enough to fit in the
// block's own offset field, such as the two ends of an edge, live there and
// take nothing from the array. Storing may move the array: pointers from
// data() hold until the next store() or reserve(), and for small sets as
// long as the block they were read from.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "core/failure.hpp"

namespace korvane {

template <class T>
class SetArena {
  static_assert(std::is_trivially_copyable_v<T>, "blocks are grown and filled as raw items");
  static_assert(sizeof(T) <= sizeof(std::size_t), "a block holds one item at least");

 public:
  // Sets of this many items or fewer are kept inside their block.
  static constexpr std::size_t kInline = sizeof(std::size_t) / sizeof(T);

  struct Block {
    union {
      std::size_t offset = 0;  // in the array, for sets of more than kInline items
      T items[kInline];        // the set itself otherwise
    };
    std::uint32_t size = 0;
    std::uint8_t room = 0;  // capacity is 2^room, in the array
  };

  // A block holding a copy of [first, last).
  Block store(const T* first, const T* last) {
    Block block = reserve(static_cast<std::size_t>(last - first));
    T* out = writable(block);
    if (block.size <= kInline) {
      // A call to memmove costs more than these few items; a fixed count
      // keeps the compiler from making the copy one.
      for (std::size_t i = 0; i < kInline; ++i) {
        if (i < block.size) out[i] = first[i];
      }
    } else {
      std::copy(first, last, out);
    }
    return block;
  }

  // A block of `size` items, to be filled through writable(): a set can be
  // written in place instead of through scratch.
  Block reserve(std::size_t size) {
    check_capacity(size, index_limit<std::uint32_t>(), "vertices in one set");
    Block block;
    block.size = static_cast<std::uint32_t>(size);
    if (size <= kInline) return block;
    block.room = static_cast<std::uint8_t>(std::bit_width(size == 0 ? 0 : size - 1));
    auto& spare = free_[block.room];
    if (!spare.empty()) {
      block.offset = spare.back();
      spare.pop_back();
    } else {
      // Blocks of a power-of-two size would lie a multiple of 4 KiB apart,
      // and copying a set from one into another, as a component that grows
      // does at every merge, then stalls on loads that seem to alias the
      // stores just made: a large fresh block starts a little further on.
      if ((std::size_t{sizeof(T)} << block.room) >= kSkewFrom) take(kSkew);
      block.offset = used_;
      take(std::size_t{1} << block.room);
    }
    return block;
  }

  // Precondition: `block` came from store() or reserve() and was not
  // released since.
  void release(const Block& block) {
    if (block.size > kInline) free_[block.room].push_back(block.offset);
  }

  const T* data(const Block& block) const noexcept {
    return block.size <= kInline ? block.items : items_.get() + block.offset;
  }
  T* writable(Block& block) noexcept { return block.size <= kInline ? block.items : items_.get() + block.offset; }
  const T* end(const Block& block) const noexcept { return data(block) + block.size; }

 private:
  // Appends `count` items, left unset: every block is written before it is
  // read. The array grows as a vector's resize() would, without zeroing.
  void take(std::size_t count) {
    if (capacity_ - used_ < count) {
      const std::size_t capacity = used_ + std::max(used_, count);
      std::unique_ptr<T[]> items(new T[capacity]);
      std::copy(items_.get(), items_.get() + used_, items.get());
      items_ = std::move(items);
      capacity_ = capacity;
    }
    used_ += count;
  }

  static constexpr std::size_t kSkewFrom = 256;  // bytes of a block
  static constexpr std::size_t kSkew = 64 / sizeof(T);

  std::unique_ptr<T[]> items_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
  // By room: offsets of blocks given back. Sizes fit 32 bits, so rooms run
  // up to 32.
  std::array<std::vector<std::size_t>, 33> free_;
};

}  // namespace korvane
