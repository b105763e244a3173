// Overlaps among maximal cliques; see clique_overlaps.hpp.
#include "analyses/clique_overlaps.hpp"

#include <algorithm>
#include <cstdint>

#include "core/sorted_ranges.hpp"

namespace korvane {

namespace {

// True when the ascending cliques share a vertex below `bound`.
bool share_below(const DenseVertex* a, const DenseVertex* a_end, const DenseVertex* b, const DenseVertex* b_end,
                 DenseVertex bound) {
  while (a != a_end && b != b_end && *a < bound && *b < bound) {
    if (*a < *b) {
      ++a;
    } else if (*b < *a) {
      ++b;
    } else {
      return true;
    }
  }
  return false;
}

// A vertex held by more of one vertex's cliques than this is a hub for them.
constexpr std::size_t kHubBucket = 64;

// Pairs of maximal cliques to join, filed by level: a pair under s joins at
// every clique size k with 2 <= k <= s, and every two cliques sharing s >= 2
// vertices end up joined at size min(s, top), directly or through a chain.
// Two distinct maximal cliques share fewer vertices than either holds, so
// only cliques of three or more vertices take part.
//
// Pairs are found from the cliques through each vertex a, by the vertices
// above a that they share. A vertex shared by many of them (two hubs with a
// crowd of common neighbours) would make that quadratic, so such hub vertices
// are left out of the meeting scan: pairs met through another vertex add
// their shared hubs by a merge, and cliques that share hubs only are grouped
// by the set of hubs they hold.
class OverlapFinder {
 public:
  OverlapFinder(const CliqueList& cliques, std::size_t n, std::size_t top, InterruptTicker& ticker)
      : cliques_(cliques), top_(top), ticker_(ticker), pairs_(top + 1), tally_(n, 0), hub_(n, 0), bucket_(n) {}

  CliquePairs run() {
    const std::size_t n = bucket_.size();
    std::vector<std::vector<Through>> containing(n);
    for (std::size_t i = 0; i < cliques_.count(); ++i) {
      if (cliques_.size_of(i) < 3) continue;
      for (std::size_t at = cliques_.starts[i]; at < cliques_.starts[i + 1]; ++at) {
        containing[cliques_.items[at]].push_back(Through{static_cast<CliqueIndex>(i), at + 1});
      }
    }
    for (std::size_t a = 0; a < n; ++a) {
      if (containing[a].size() >= 2) through(static_cast<DenseVertex>(a), containing[a]);
    }
    return std::move(pairs_);
  }

 private:
  // A clique through vertex a, and where its vertices above a start.
  struct Through {
    CliqueIndex clique;
    std::size_t rest;
  };

  void file(CliqueIndex i, CliqueIndex j, std::size_t shared) {
    pairs_[std::min(shared, top_)].emplace_back(i, j);
  }

  const DenseVertex* rest_of(const Through& t) const { return cliques_.items.data() + t.rest; }
  const DenseVertex* end_of(const Through& t) const { return cliques_.end_of(t.clique); }

  const DenseVertex* hubs_begin(std::size_t p) const { return hubs_.data() + hub_start_[p]; }
  const DenseVertex* hubs_end(std::size_t p) const { return hubs_.data() + hub_start_[p + 1]; }

  // Marks the vertices held by more than kHubBucket cliques of the group and
  // lists each clique's hubs above a. Returns whether there is any.
  bool find_hubs(const std::vector<Through>& group) {
    hubs_.clear();
    hub_start_.assign(group.size() + 1, 0);
    // Fewer cliques than the bar cannot make a hub.
    if (group.size() <= kHubBucket) return false;
    tallied_.clear();
    for (const Through& t : group) {
      ticker_.tick(cliques_.size_of(t.clique));
      for (const DenseVertex* b = rest_of(t); b != end_of(t); ++b) {
        if (tally_[*b]++ == 0) tallied_.push_back(*b);
      }
    }
    bool any = false;
    for (DenseVertex b : tallied_) {
      hub_[b] = tally_[b] > kHubBucket ? 1 : 0;
      any = any || hub_[b] != 0;
    }
    for (std::size_t p = 0; p < group.size(); ++p) {
      for (const DenseVertex* b = rest_of(group[p]); b != end_of(group[p]); ++b) {
        if (hub_[*b] != 0) hubs_.push_back(*b);
      }
      hub_start_[p + 1] = hubs_.size();
    }
    return any;
  }

  // All pairs of cliques through a whose smallest shared vertex is a.
  void through(DenseVertex a, const std::vector<Through>& group) {
    const bool any_hub = find_hubs(group);
    filled_.clear();
    meetings_.assign(group.size(), Meeting{});
    for (std::size_t p = 0; p < group.size(); ++p) {
      const CliqueIndex i = group[p].clique;
      const DenseVertex* first = cliques_.begin_of(i);
      const DenseVertex* rest = rest_of(group[p]);
      met_.clear();
      for (const DenseVertex* b = rest; b != end_of(group[p]); ++b) {
        if (hub_[*b] != 0) continue;
        std::vector<CliqueIndex>& here = bucket_[*b];
        ticker_.tick(here.size() + 1);
        for (CliqueIndex q : here) {
          Meeting& meeting = meetings_[q];
          if (meeting.visit != p + 1) {
            meeting.visit = p + 1;
            meeting.shared = 1;
            met_.push_back(q);
          } else {
            ++meeting.shared;
          }
        }
        if (here.empty()) filled_.push_back(*b);
        here.push_back(static_cast<CliqueIndex>(p));
      }
      for (CliqueIndex q : met_) {
        const CliqueIndex j = group[q].clique;
        if (share_below(first, rest, cliques_.begin_of(j), cliques_.end_of(j), a)) continue;
        const std::size_t hubs =
            any_hub ? count_common_sorted(hubs_begin(p), hubs_end(p), hubs_begin(q), hubs_end(q)) : 0;
        file(i, j, 1 + meetings_[q].shared + hubs);
      }
    }
    if (any_hub) by_hub_sets(group);
    for (DenseVertex b : filled_) bucket_[b].clear();
    for (DenseVertex b : tallied_) {
      tally_[b] = 0;
      hub_[b] = 0;
    }
    tallied_.clear();
  }

  // Cliques holding the same hubs share them: chain them at that size. Two
  // different hub sets join their cliques at the size of their overlap. Both
  // only ever join cliques that share at least that many vertices.
  void by_hub_sets(const std::vector<Through>& group) {
    order_.clear();
    for (std::size_t p = 0; p < group.size(); ++p) {
      if (hub_start_[p + 1] > hub_start_[p]) order_.push_back(static_cast<CliqueIndex>(p));
    }
    auto less = [&](CliqueIndex x, CliqueIndex y) {
      return std::lexicographical_compare(hubs_begin(x), hubs_end(x), hubs_begin(y), hubs_end(y));
    };
    std::sort(order_.begin(), order_.end(), less);
    distinct_.clear();
    for (std::size_t x = 0; x < order_.size(); ++x) {
      const CliqueIndex p = order_[x];
      ticker_.tick();
      if (x > 0 && !less(order_[x - 1], p)) {
        file(group[order_[x - 1]].clique, group[p].clique, 1 + (hub_start_[p + 1] - hub_start_[p]));
      } else {
        distinct_.push_back(p);
      }
    }
    for (std::size_t x = 0; x < distinct_.size(); ++x) {
      const CliqueIndex p = distinct_[x];
      for (std::size_t y = x + 1; y < distinct_.size(); ++y) {
        const CliqueIndex q = distinct_[y];
        ticker_.tick(hub_start_[p + 1] - hub_start_[p]);
        const std::size_t hubs = count_common_sorted(hubs_begin(p), hubs_end(p), hubs_begin(q), hubs_end(q));
        if (hubs > 0) file(group[p].clique, group[q].clique, 1 + hubs);
      }
    }
  }

  struct Meeting {
    std::size_t visit = 0;     // 1 + position of the clique being scanned
    CliqueIndex shared = 0;  // non-hub vertices above a held by both
  };

  const CliqueList& cliques_;
  const std::size_t top_;
  InterruptTicker& ticker_;
  CliquePairs pairs_;
  std::vector<CliqueIndex> tally_;  // vertex -> cliques through a holding it
  std::vector<char> hub_;
  std::vector<std::vector<CliqueIndex>> bucket_;  // vertex -> positions in the group met so far
  std::vector<DenseVertex> filled_;   // vertices whose bucket is in use
  std::vector<DenseVertex> tallied_;  // vertices whose tally is in use
  std::vector<DenseVertex> hubs_;  // hub vertices of each group position, back to back
  std::vector<std::size_t> hub_start_;
  std::vector<Meeting> meetings_;
  std::vector<CliqueIndex> met_;
  std::vector<CliqueIndex> order_;
  std::vector<CliqueIndex> distinct_;
};

}  // namespace

CliquePairs overlapping_pairs(const CliqueList& cliques, std::size_t vertex_count, std::size_t top,
                              InterruptTicker& ticker) {
  return OverlapFinder(cliques, vertex_count, top, ticker).run();
}

}  // namespace korvane
