// Rows of bitsets, one per clique of a neighbourhood, scanned for a row that
// shares enough bits with a given one: how the new cliques through an edge
// find the ones they overlap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analyses/shared/bits.hpp"

namespace korvane {

// `rows` holds rows of `words` words each. Returns the number of
// `candidates` (row numbers) passed before the first whose row shares at
// least `need` bits with row `a`; `count` when none does.
using FirstSharing = std::size_t (*)(const Word* rows, std::size_t words, std::size_t a,
                                     const std::uint32_t* candidates, std::size_t count, std::size_t need);

// The fastest scan for the given features (all give the same answers): by
// default this processor's. The scan runs on most pairs of new cliques, so
// it gets the popcount instruction wherever the processor has it.
FirstSharing first_sharing_for(const CpuFeatures& cpu = cpu_features()) noexcept;

}  // namespace korvane
