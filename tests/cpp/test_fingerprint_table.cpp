// The flat fingerprint table against a multimap, with few distinct
// fingerprints so that runs are long, wrap around the array's end and hold
// several numbers under one fingerprint.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "analyses/persistence/fingerprint_table.hpp"

namespace korvane {
namespace {

using Model = std::multimap<std::uint64_t, std::uint32_t>;

bool model_holds(const Model& model, std::uint64_t print, std::uint32_t value) {
  auto [first, last] = model.equal_range(print);
  for (; first != last; ++first) {
    if (first->second == value) return true;
  }
  return false;
}

void expect_same(const FingerprintTable& table, const Model& model, std::uint64_t prints, std::uint32_t values) {
  for (std::uint64_t print = 0; print < prints; ++print) {
    for (std::uint32_t value = 0; value < values; ++value) {
      const std::uint32_t found = table.find(print, [&](std::uint32_t v) { return v == value; });
      ASSERT_EQ(found != kNone<std::uint32_t>, model_holds(model, print, value)) << print << " " << value;
    }
  }
}

TEST(FingerprintTable, BehavesLikeAMultimapUnderInsertAndErase) {
  std::mt19937_64 rng(7);
  constexpr std::uint64_t kPrints = 40;
  constexpr std::uint32_t kValues = 30;
  FingerprintTable table;
  Model model;
  std::vector<std::pair<std::uint64_t, std::uint32_t>> present;
  for (int op = 0; op < 6000; ++op) {
    const bool grow = present.empty() || rng() % 100 < (op < 3000 ? 70 : 35);
    if (grow) {
      const std::uint64_t print = rng() % kPrints;
      const std::uint32_t value = static_cast<std::uint32_t>(rng() % kValues);
      if (model_holds(model, print, value)) continue;
      table.insert(print, value);
      model.emplace(print, value);
      present.emplace_back(print, value);
    } else {
      const std::size_t at = rng() % present.size();
      const auto [print, value] = present[at];
      table.erase(print, value);
      model.erase(std::find_if(model.begin(), model.end(),
                               [&](const auto& e) { return e.first == print && e.second == value; }));
      present[at] = present.back();
      present.pop_back();
    }
    if (op % 50 == 0) expect_same(table, model, kPrints, kValues);
  }
  expect_same(table, model, kPrints, kValues);
}

TEST(FingerprintTable, FindsTheNumberTheCallerAccepts) {
  FingerprintTable table;
  table.insert(5, 1);
  table.insert(5, 2);
  table.insert(6, 3);
  EXPECT_EQ(table.find(5, [](std::uint32_t v) { return v == 2; }), 2u);
  EXPECT_EQ(table.find(5, [](std::uint32_t v) { return v == 3; }), kNone<std::uint32_t>);
  EXPECT_EQ(table.find(7, [](std::uint32_t) { return true; }), kNone<std::uint32_t>);
  // Order-free: any listing of a set has its fingerprint.
  const std::vector<int> a{1, 2, 3};
  const std::vector<int> b{3, 1, 2};
  EXPECT_EQ(table.fingerprint(a.begin(), a.end()), table.fingerprint(b.begin(), b.end()));
  EXPECT_THROW(table.erase(6, 4), InternalFailure);
}

}  // namespace
}  // namespace korvane
