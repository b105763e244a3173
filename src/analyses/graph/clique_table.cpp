// Compact storage of maximal cliques; see clique_table.hpp.
#include "analyses/graph/clique_table.hpp"

#include <algorithm>
#include <utility>

namespace korvane {

CliqueTable::CliqueTable(std::vector<std::vector<DenseVertex>> runs, std::size_t vertex_count)
    : runs_(std::move(runs)), vertex_count_(vertex_count) {
  const std::size_t largest = runs_.empty() ? 0 : runs_.size() - 1;
  at_least_.assign(largest + 2, 0);
  for (std::size_t s = largest; s >= 1; --s) at_least_[s] = at_least_[s + 1] + runs_[s].size() / s;
  at_least_[0] = at_least_[1];
  // Runs of no clique at the top are dropped, so that largest() is exact.
  while (at_least_.size() > 2 && at_least_[at_least_.size() - 2] == 0) at_least_.pop_back();
  runs_.resize(at_least_.size() - 1);
}

std::size_t CliqueTable::larger_size_of(std::size_t id) const noexcept {
  const auto past = std::partition_point(at_least_.begin() + 1, at_least_.end(),
                                         [id](std::size_t with) { return with > id; });
  return static_cast<std::size_t>(past - at_least_.begin()) - 1;
}

}  // namespace korvane
