// Vertex sets that come and go, kept back to back in one array instead of
// one allocation each. A set takes a block of a power-of-two capacity; a
// block given back goes to the list of its capacity and is taken again by
// the next set of that capacity, so a component that keeps growing reuses
// the blocks of its earlier versions. Storing may move the array: pointers
// from data() hold until the next store() or reserve().
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/failure.hpp"

namespace korvane {

template <class T>
class SetArena {
 public:
  struct Block {
    std::size_t offset = 0;
    std::uint32_t size = 0;
    std::uint8_t room = 0;  // capacity is 2^room
  };

  // A block holding a copy of [first, last).
  Block store(const T* first, const T* last) {
    const Block block = reserve(static_cast<std::size_t>(last - first));
    std::copy(first, last, writable(block));
    return block;
  }

  // A block of `size` items, to be filled through writable(): a set can be
  // written in place instead of through scratch.
  Block reserve(std::size_t size) {
    check_capacity(size, index_limit<std::uint32_t>(), "vertices in one set");
    Block block;
    block.size = static_cast<std::uint32_t>(size);
    block.room = static_cast<std::uint8_t>(std::bit_width(size == 0 ? 0 : size - 1));
    if (free_.size() <= block.room) free_.resize(block.room + 1);
    auto& spare = free_[block.room];
    if (!spare.empty()) {
      block.offset = spare.back();
      spare.pop_back();
    } else {
      block.offset = items_.size();
      items_.resize(items_.size() + (std::size_t{1} << block.room));
    }
    return block;
  }

  // Precondition: `block` came from store() or reserve() and was not
  // released since.
  void release(const Block& block) { free_[block.room].push_back(block.offset); }

  const T* data(const Block& block) const noexcept { return items_.data() + block.offset; }
  T* writable(const Block& block) noexcept { return items_.data() + block.offset; }
  const T* end(const Block& block) const noexcept { return data(block) + block.size; }

 private:
  std::vector<T> items_;
  std::vector<std::vector<std::size_t>> free_;  // by room: offsets of blocks given back
};

}  // namespace korvane
