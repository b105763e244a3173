// The estimate behind the choice of cliques; see path_choice.hpp.
#include "analyses/persistence/path_choice.hpp"

#include <algorithm>
#include <bit>
#include <limits>
#include <utility>

#include "analyses/graph/dense_graph.hpp"
#include "analyses/shared/bits.hpp"

namespace korvane {

namespace {

constexpr std::uint32_t kNever = std::numeric_limits<std::uint32_t>::max();

// Every edge at both ends, with the step that first admits it.
struct TimedGraph {
  TimedGraph(const std::vector<WeightedEdge>& edges, std::size_t vertex_count) : start(vertex_count + 1, 0) {
    for (const WeightedEdge& e : edges) {
      if (e.u == e.v) continue;
      ++start[e.u + 1];
      ++start[e.v + 1];
    }
    for (std::size_t x = 0; x < vertex_count; ++x) start[x + 1] += start[x];
    ends.resize(start[vertex_count]);
    std::vector<std::size_t> fill(start.begin(), start.end() - 1);
    for (std::size_t t = 0; t < edges.size(); ++t) {
      const WeightedEdge& e = edges[t];
      if (e.u == e.v) continue;
      ends[fill[e.u]++] = {static_cast<DenseVertex>(e.v), static_cast<std::uint32_t>(t)};
      ends[fill[e.v]++] = {static_cast<DenseVertex>(e.u), static_cast<std::uint32_t>(t)};
    }
  }

  std::vector<std::size_t> start;
  std::vector<std::pair<DenseVertex, std::uint32_t>> ends;
};

// The common neighbourhood of one sampled step as bit rows, and the two
// counts, each stopped at a budget of units.
class Neighbourhood {
 public:
  explicit Neighbourhood(std::size_t vertex_count) : mark_(vertex_count, kNever), local_(vertex_count, kNever) {}

  // Loads the common neighbours of edge t = u-v among the edges before it.
  void load(const TimedGraph& graph, DenseVertex u, DenseVertex v, std::uint32_t t, InterruptTicker& ticker) {
    common_.clear();
    for (std::size_t i = graph.start[u]; i < graph.start[u + 1]; ++i) {
      if (graph.ends[i].second < t) mark_[graph.ends[i].first] = t;
    }
    for (std::size_t i = graph.start[v]; i < graph.start[v + 1]; ++i) {
      const DenseVertex w = graph.ends[i].first;
      if (graph.ends[i].second < t && w != u && mark_[w] == t && local_[w] == kNever) {
        local_[w] = static_cast<std::uint32_t>(common_.size());
        common_.push_back(w);
      }
    }
    ticker.tick(graph.start[u + 1] - graph.start[u] + graph.start[v + 1] - graph.start[v] + 1);
    words_ = words_for(common_.size());
    rows_.assign(common_.size() * words_, 0);
    for (std::size_t a = 0; a < common_.size(); ++a) {
      const DenseVertex w = common_[a];
      ticker.tick(graph.start[w + 1] - graph.start[w] + 1);
      for (std::size_t i = graph.start[w]; i < graph.start[w + 1]; ++i) {
        const std::uint32_t b = local_[graph.ends[i].first];
        if (b != kNever && graph.ends[i].second < t) set_bit(rows_.data() + a * words_, b);
      }
    }
    for (DenseVertex w : common_) local_[w] = kNever;
  }

  // The small cliques' work: every clique K of 1 .. most vertices of the
  // neighbourhood, (|K| + 2)^2 units each. `tops` gets the number of those
  // with `most` vertices (they make the bound's top cliques).
  std::uint64_t small(std::size_t most, std::uint64_t budget, std::uint64_t& tops) {
    tops = 0;
    units_ = 0;
    budget_ = budget;
    std::vector<Word> all(words_, 0);
    for (std::size_t a = 0; a < common_.size(); ++a) set_bit(all.data(), a);
    if (most > 0) count_small(all, 1, most, tops);
    return std::min(units_, budget_);
  }

  // The maximal cliques' work: |K| + 2 units for each maximal clique K, up
  // to `budget` (Bron–Kerbosch with a pivot).
  std::uint64_t maximal(std::uint64_t budget) {
    units_ = 0;
    budget_ = budget;
    std::vector<Word> p(words_, 0);
    std::vector<Word> x(words_, 0);
    for (std::size_t a = 0; a < common_.size(); ++a) set_bit(p.data(), a);
    count_maximal(p, x, 0);
    return std::min(units_, budget_);
  }

 private:
  const Word* row(std::size_t a) const { return rows_.data() + a * words_; }

  void count_small(const std::vector<Word>& candidates, std::size_t size, std::size_t most, std::uint64_t& tops) {
    std::vector<Word> next(words_);
    for (std::size_t w = 0; w < words_; ++w) {
      for (Word bits = candidates[w]; bits != 0; bits &= bits - 1) {
        if (units_ >= budget_) return;
        const std::size_t a = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
        units_ += (size + 2) * (size + 2);
        if (size == most) {
          ++tops;
          continue;
        }
        // Only later vertices extend the clique, so each is counted once.
        for (std::size_t i = 0; i < words_; ++i) next[i] = i < w ? 0 : candidates[i] & row(a)[i];
        next[w] &= ~Word{0} << (a % 64) << 1;
        count_small(next, size + 1, most, tops);
      }
    }
  }

  void count_maximal(std::vector<Word>& p, std::vector<Word>& x, std::size_t size) {
    if (units_ >= budget_) return;
    if (none(p.data(), words_)) {
      if (none(x.data(), words_)) units_ += size + 2;
      return;
    }
    // The pivot with most candidates next to it leaves fewest branches.
    std::size_t pivot = 0;
    std::size_t best = 0;
    for (const std::vector<Word>* side : {&p, &x}) {
      for (std::size_t w = 0; w < words_; ++w) {
        for (Word bits = (*side)[w]; bits != 0; bits &= bits - 1) {
          const std::size_t a = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
          const std::size_t next_to = count_common(p.data(), row(a), words_);
          if (next_to >= best) {
            best = next_to;
            pivot = a;
          }
        }
      }
    }
    std::vector<Word> branch(words_);
    for (std::size_t w = 0; w < words_; ++w) branch[w] = p[w] & ~row(pivot)[w];
    std::vector<Word> p2(words_);
    std::vector<Word> x2(words_);
    for (std::size_t w = 0; w < words_; ++w) {
      for (Word bits = branch[w]; bits != 0; bits &= bits - 1) {
        const std::size_t a = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
        for (std::size_t i = 0; i < words_; ++i) {
          p2[i] = p[i] & row(a)[i];
          x2[i] = x[i] & row(a)[i];
        }
        count_maximal(p2, x2, size + 1);
        if (units_ >= budget_) return;
        clear_bit(p.data(), a);
        set_bit(x.data(), a);
      }
    }
  }

  std::vector<std::uint32_t> mark_;
  std::vector<std::uint32_t> local_;
  std::vector<DenseVertex> common_;
  std::vector<Word> rows_;
  std::size_t words_ = 0;
  std::uint64_t units_ = 0;
  std::uint64_t budget_ = 0;
};

}  // namespace

bool small_cliques_pay(const std::vector<WeightedEdge>& edges, std::size_t vertex_count, std::uint64_t cap,
                       InterruptTicker& ticker) {
  // Up to a bound of 3, a step's small cliques are its common neighbours,
  // one each: never more work than its maximal cliques.
  if (cap <= 3) return true;
  if (edges.size() >= kNever) return false;
  const TimedGraph graph(edges, vertex_count);
  Neighbourhood around(vertex_count);
  const std::size_t samples = std::min(PathCosts::kSampleSteps, edges.size());
  double small = 0.0;
  double maximal = 0.0;

  for (std::size_t s = 0; s < samples; ++s) {
    const auto t = static_cast<std::uint32_t>((2 * s + 1) * edges.size() / (2 * samples));
    const WeightedEdge& e = edges[t];
    if (e.u == e.v) continue;
    around.load(graph, static_cast<DenseVertex>(e.u), static_cast<DenseVertex>(e.v), t, ticker);
    std::uint64_t tops = 0;
    small += static_cast<double>(around.small(static_cast<std::size_t>(cap - 2), PathCosts::kBudget, tops));
    maximal += PathCosts::kMaximalVertex * static_cast<double>(around.maximal(PathCosts::kBudget)) +
               PathCosts::kTopVertex * static_cast<double>(tops * cap);
  }
  return small <= maximal;
}

}  // namespace korvane
