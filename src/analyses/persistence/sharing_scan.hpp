// Rows of bitsets, one per clique of a neighbourhood, scanned for a row that
// shares enough bits with a given one: how the new cliques through an edge
// find the ones they overlap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane {

using BitWord = std::uint64_t;

// `rows` holds rows of `words` words each. Returns the number of
// `candidates` (row numbers) passed before the first whose row shares at
// least `need` bits with row `a`; `count` when none does.
using FirstSharing = std::size_t (*)(const BitWord* rows, std::size_t words, std::size_t a,
                                     const std::uint32_t* candidates, std::size_t count, std::size_t need);

// Any processor.
std::size_t first_sharing_portable(const BitWord* rows, std::size_t words, std::size_t a,
                                   const std::uint32_t* candidates, std::size_t count, std::size_t need);

// The fastest scan this processor runs: the same answers as the portable one.
FirstSharing first_sharing_for_this_cpu();

}  // namespace korvane
