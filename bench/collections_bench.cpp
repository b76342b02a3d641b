// The persistent vector and map next to their std peers on 1M integer keys.
// Each PVector/PMap benchmark is followed by the std benchmark it is compared
// with; compare their per-item times.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

#include "support/hamt.h"
#include "support/pvector.h"
#include "support/siphash.h"

namespace quorvel {
namespace {

constexpr int64_t kCount = 1'000'000;

// Hashes an integer key the way the heap hashes an Int value: the tag as
// 8 bytes, then the payload, through the map's own SipHash-1-3 key.
struct IntKeyTraits {
  static constexpr uint64_t kIntTag = 2;
  static uint64_t hash(const SipKey& key, const int64_t& k) {
    SipHasher13 h(key);
    h.write_u64(kIntTag);
    h.write_u64(static_cast<uint64_t>(k));
    return h.finish();
  }
  static bool equal(const int64_t& a, const int64_t& b) { return a == b; }
};
using IntMap = PMap<int64_t, int64_t, IntKeyTraits>;

// The same hash for std::unordered_map, to separate the cost of the trie from
// the cost of the hash.
struct IntKeySipHash {
  SipKey key = next_collection_key();
  size_t operator()(int64_t k) const { return IntKeyTraits::hash(key, k); }
};

const std::vector<int64_t>& random_keys() {
  static const std::vector<int64_t> keys = [] {
    std::mt19937_64 rng(42);
    std::vector<int64_t> out(kCount);
    for (int64_t& k : out) k = static_cast<int64_t>(rng());
    return out;
  }();
  return keys;
}

// The same keys in another order, so lookups do not follow insertion order.
const std::vector<int64_t>& shuffled_keys() {
  static const std::vector<int64_t> keys = [] {
    std::vector<int64_t> out = random_keys();
    std::shuffle(out.begin(), out.end(), std::mt19937_64(7));
    return out;
  }();
  return keys;
}

void finish(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_PVectorPushBack(benchmark::State& state) {
  for (auto _ : state) {
    PVector<int64_t> v;
    for (int64_t i = 0; i < kCount; ++i) v = std::move(v).push_back(i);
    benchmark::DoNotOptimize(v.size());
  }
  finish(state);
}
BENCHMARK(BM_PVectorPushBack)->Unit(benchmark::kMillisecond);

void BM_StdVectorPushBack(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<int64_t> v;
    for (int64_t i = 0; i < kCount; ++i) v.push_back(i);
    benchmark::DoNotOptimize(v.data());
  }
  finish(state);
}
BENCHMARK(BM_StdVectorPushBack)->Unit(benchmark::kMillisecond);

std::vector<int64_t> iota_vector() {
  std::vector<int64_t> v(kCount);
  for (int64_t i = 0; i < kCount; ++i) v[i] = i;
  return v;
}

void BM_PVectorNth(benchmark::State& state) {
  const std::vector<int64_t> items = iota_vector();
  const auto v = PVector<int64_t>::from_range(items.begin(), items.end());
  for (auto _ : state) {
    int64_t sum = 0;
    for (size_t i = 0; i < v.size(); ++i) sum += v.nth(i);
    benchmark::DoNotOptimize(sum);
  }
  finish(state);
}
BENCHMARK(BM_PVectorNth)->Unit(benchmark::kMillisecond);

void BM_StdVectorIndex(benchmark::State& state) {
  const std::vector<int64_t> v = iota_vector();
  for (auto _ : state) {
    int64_t sum = 0;
    for (size_t i = 0; i < v.size(); ++i) sum += v[i];
    benchmark::DoNotOptimize(sum);
  }
  finish(state);
}
BENCHMARK(BM_StdVectorIndex)->Unit(benchmark::kMillisecond);

void BM_PVectorIterate(benchmark::State& state) {
  const std::vector<int64_t> items = iota_vector();
  const auto v = PVector<int64_t>::from_range(items.begin(), items.end());
  for (auto _ : state) {
    int64_t sum = 0;
    for (int64_t x : v) sum += x;
    benchmark::DoNotOptimize(sum);
  }
  finish(state);
}
BENCHMARK(BM_PVectorIterate)->Unit(benchmark::kMillisecond);

// assoc on a vector nobody else holds updates in place; on a shared one it
// copies the path to the leaf.
void BM_PVectorAssocInPlace(benchmark::State& state) {
  const std::vector<int64_t> items = iota_vector();
  auto v = PVector<int64_t>::from_range(items.begin(), items.end());
  for (auto _ : state) {
    for (int64_t i = 0; i < kCount; ++i) v = std::move(v).assoc(i, i + 1);
    benchmark::DoNotOptimize(v.size());
  }
  finish(state);
}
BENCHMARK(BM_PVectorAssocInPlace)->Unit(benchmark::kMillisecond);

void BM_PVectorAssocCopyingPath(benchmark::State& state) {
  const std::vector<int64_t> items = iota_vector();
  const auto v = PVector<int64_t>::from_range(items.begin(), items.end());
  for (auto _ : state) {
    for (int64_t i = 0; i < kCount; ++i) benchmark::DoNotOptimize(v.assoc(i, i + 1).size());
  }
  finish(state);
}
BENCHMARK(BM_PVectorAssocCopyingPath)->Unit(benchmark::kMillisecond);

void BM_StdVectorAssign(benchmark::State& state) {
  std::vector<int64_t> v = iota_vector();
  for (auto _ : state) {
    for (int64_t i = 0; i < kCount; ++i) v[i] = i + 1;
    benchmark::DoNotOptimize(v.data());
  }
  finish(state);
}
BENCHMARK(BM_StdVectorAssign)->Unit(benchmark::kMillisecond);

void BM_PMapInsert(benchmark::State& state) {
  const std::vector<int64_t>& keys = random_keys();
  for (auto _ : state) {
    IntMap m;
    for (int64_t k : keys) m = std::move(m).insert(k, k);
    benchmark::DoNotOptimize(m.size());
  }
  finish(state);
}
BENCHMARK(BM_PMapInsert)->Unit(benchmark::kMillisecond);

void BM_StdUnorderedMapInsert(benchmark::State& state) {
  const std::vector<int64_t>& keys = random_keys();
  for (auto _ : state) {
    std::unordered_map<int64_t, int64_t> m;
    for (int64_t k : keys) m.insert_or_assign(k, k);
    benchmark::DoNotOptimize(m.size());
  }
  finish(state);
}
BENCHMARK(BM_StdUnorderedMapInsert)->Unit(benchmark::kMillisecond);

void BM_PMapLookup(benchmark::State& state) {
  IntMap m;
  for (int64_t k : random_keys()) m = std::move(m).insert(k, k);
  const std::vector<int64_t>& probes = shuffled_keys();
  for (auto _ : state) {
    int64_t sum = 0;
    for (int64_t k : probes) sum += *m.find(k);
    benchmark::DoNotOptimize(sum);
  }
  finish(state);
}
BENCHMARK(BM_PMapLookup)->Unit(benchmark::kMillisecond);

// The peer lookups, with the standard hash and with the same SipHash-1-3 as
// the persistent map.
template <class Hash>
void BM_StdUnorderedMapLookup(benchmark::State& state) {
  std::unordered_map<int64_t, int64_t, Hash> m;
  for (int64_t k : random_keys()) m.insert_or_assign(k, k);
  const std::vector<int64_t>& probes = shuffled_keys();
  for (auto _ : state) {
    int64_t sum = 0;
    for (int64_t k : probes) sum += m.find(k)->second;
    benchmark::DoNotOptimize(sum);
  }
  finish(state);
}
BENCHMARK(BM_StdUnorderedMapLookup<std::hash<int64_t>>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdUnorderedMapLookup<IntKeySipHash>)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel

BENCHMARK_MAIN();
