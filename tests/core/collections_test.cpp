// Model-based tests of the persistent vector, map and set: random operations
// are mirrored on std containers, and a sample of old versions is kept with a
// copy of its model and checked at the end, so any update that leaks into a
// shared node shows up as a changed old version.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "support/hamt.h"
#include "support/pvector.h"

namespace quorvel {
namespace {

// An element that counts live instances, so a missed or doubled release shows.
struct Tracked {
  static inline int64_t live = 0;
  int64_t value = 0;
  Tracked(int64_t v = 0) : value(v) { ++live; }
  Tracked(const Tracked& other) : value(other.value) { ++live; }
  Tracked& operator=(const Tracked&) = default;
  ~Tracked() { --live; }
  friend bool operator==(const Tracked& a, const Tracked& b) { return a.value == b.value; }
};

// Every test must leave as many live elements as it found.
class CollectionsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(Tracked::live, live_at_start_) << "elements leaked or freed twice";
  }

 private:
  int64_t live_at_start_ = Tracked::live;
};

using Vec = PVector<Tracked>;
using Model = std::vector<int64_t>;

void expect_same(const Vec& v, const Model& model) {
  ASSERT_EQ(v.size(), model.size());
  ASSERT_EQ(v.empty(), model.empty());
  size_t i = 0;
  for (const Tracked& item : v) {
    ASSERT_LT(i, model.size());
    ASSERT_EQ(item.value, model[i]) << "iteration at " << i;
    ++i;
  }
  ASSERT_EQ(i, model.size());
  for (size_t j = 0; j < model.size(); ++j) ASSERT_EQ(v.nth(j).value, model[j]) << "nth " << j;
  EXPECT_EQ(v.get(model.size()), nullptr);
  if (!model.empty()) {
    EXPECT_EQ(v.back().value, model.back());
  }
}

TEST_F(CollectionsTest, VectorBoundarySizesAndUpdatesKeepTheOriginal) {
  const Vec empty;
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.begin(), empty.end());
  EXPECT_EQ(empty.get(0), nullptr);
  expect_same(Vec::from({1, 2, 3}), {1, 2, 3});
  // Sizes on both sides of the tail, the first level and the next two levels.
  for (size_t n : {1u, 31u, 32u, 33u, 64u, 1023u, 1024u, 1025u, 1056u, 1057u, 32768u, 32800u,
                   32801u, 33824u, 33825u}) {
    SCOPED_TRACE(n);
    Model model(n);
    for (size_t i = 0; i < n; ++i) model[i] = static_cast<int64_t>(i * 3);
    const Vec v = Vec::from_range(model.begin(), model.end());
    expect_same(v, model);

    Model popped(model.begin(), model.end() - 1);
    expect_same(v.pop_back(), popped);
    Model pushed = model;
    pushed.push_back(-1);
    expect_same(v.push_back(-1), pushed);
    Model first_changed = model;
    first_changed[0] = -2;
    expect_same(v.assoc(0, -2), first_changed);
    Model last_changed = model;
    last_changed[n - 1] = -3;
    expect_same(v.assoc(n - 1, -3), last_changed);
    // Dropping from the front shares the nodes; the rest keeps working on the
    // shorter version.
    const Vec rest = v.drop_front(1);
    Model rest_model(model.begin() + 1, model.end());
    expect_same(rest, rest_model);
    rest_model.push_back(-4);
    expect_same(rest.push_back(-4), rest_model);
    expect_same(v.drop_front(n - 1).assoc(0, -5), {-5});
    expect_same(v.drop_front(n - 1).pop_back(), {});
    expect_same(v.drop_front(n + 7), {});
    // Two versions grown from one base append to the same tail position.
    const Vec a = v.push_back(10);
    const Vec b = v.push_back(20);
    EXPECT_EQ(a.back().value, 10);
    EXPECT_EQ(b.back().value, 20);
    expect_same(v, model);
  }
}

TEST_F(CollectionsTest, VectorRandomOperationsMatchModelAndOldVersionsStayUnchanged) {
  std::mt19937_64 rng(12345);
  std::vector<std::pair<Vec, Model>> saved;
  {  // the live vector is gone before the saved ones are checked
    Vec v;
    Model model;
    int64_t next = 0;
    // Grow past three trie levels (32768 + tail), then shrink back to empty,
    // with pops and updates mixed in and occasional restarts from the latest
    // saved version, whose tail the live one has often grown since.
    for (int phase = 0; phase < 2; ++phase) {
      const bool growing = phase == 0;
      while (growing ? model.size() < 42000 : !model.empty()) {
        const bool in_place = rng() % 10 < 7;
        const int op = static_cast<int>(rng() % 100);
        if (op < (growing ? 70 : 25) || model.empty()) {
          v = in_place ? std::move(v).push_back(next) : v.push_back(next);
          model.push_back(next++);
        } else if (op < 88) {
          v = in_place ? std::move(v).pop_back() : v.pop_back();
          model.pop_back();
        } else if (op < 92) {
          const size_t k = rng() % 8 == 0 ? rng() % 100 : rng() % 3;
          v = in_place ? std::move(v).drop_front(k) : v.drop_front(k);
          model.erase(model.begin(),
                      model.begin() + static_cast<ptrdiff_t>(std::min(k, model.size())));
        } else {
          const size_t i = rng() % model.size();
          v = in_place ? std::move(v).assoc(i, -next) : v.assoc(i, -next);
          model[i] = -next++;
        }
        if (!model.empty()) {
          const size_t i = rng() % model.size();
          ASSERT_EQ(v.nth(i).value, model[i]);
          ASSERT_EQ(v.back().value, model.back());
        }
        ASSERT_EQ(v.size(), model.size());
        if (rng() % 500 == 0) saved.emplace_back(v, model);
        if (rng() % 500 == 0 && !saved.empty()) {
          v = saved.back().first;
          model = saved.back().second;
        }
      }
      expect_same(v, model);
    }
    EXPECT_GT(saved.size(), 200u);
  }
  for (const auto& [v, model] : saved) expect_same(v, model);
}

// Keys with an identity part (compared and hashed) and a tag (ignored), so a
// test can see which of two equal keys a map stored.
struct Key {
  int64_t id;
  int64_t tag;
};

struct SipTraits {
  static uint64_t hash(const SipKey& key, const Key& k) {
    SipHasher13 h(key);
    h.write_u64(static_cast<uint64_t>(k.id));
    return h.finish();
  }
  static bool equal(const Key& a, const Key& b) { return a.id == b.id; }
};

// Only seven distinct hashes: nearly every key lands in a collision node.
struct WeakTraits {
  static uint64_t hash(const SipKey&, const Key& k) { return static_cast<uint64_t>(k.id % 7); }
  static bool equal(const Key& a, const Key& b) { return a.id == b.id; }
};

// id -> (tag of the stored key, value)
using MapModel = std::map<int64_t, std::pair<int64_t, int64_t>>;

template <class Map>
MapModel contents_by_iteration(const Map& map) {
  MapModel seen;
  for (const auto& [key, value] : map) {
    EXPECT_TRUE(seen.emplace(key.id, std::make_pair(key.tag, value.value)).second)
        << "key " << key.id << " listed twice";
  }
  return seen;
}

template <class Map>
void expect_same_map(const Map& map, const MapModel& model) {
  ASSERT_EQ(map.size(), model.size());
  ASSERT_EQ(map.empty(), model.empty());
  EXPECT_EQ(contents_by_iteration(map), model);
  for (const auto& [id, entry] : model) {
    const Tracked* value = map.find(Key{id, 0});
    ASSERT_NE(value, nullptr) << "key " << id;
    EXPECT_EQ(value->value, entry.second);
  }
  // The same map lists its entries in the same order every time, through
  // both the iterator and for_each.
  std::vector<int64_t> first, second, visited;
  for (const auto& entry : map) first.push_back(entry.first.id);
  for (const auto& entry : map) second.push_back(entry.first.id);
  map.for_each([&visited](const Key& key, const Tracked&) { visited.push_back(key.id); });
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, visited);
}

template <class Traits>
class PMapTest : public CollectionsTest {};
using TraitKinds = ::testing::Types<SipTraits, WeakTraits>;
TYPED_TEST_SUITE(PMapTest, TraitKinds);

TYPED_TEST(PMapTest, RandomOperationsMatchModelAndOldVersionsStayUnchanged) {
  using Map = PMap<Key, Tracked, TypeParam>;
  std::mt19937_64 rng(777);
  const int64_t key_range = 1500;
  std::vector<std::pair<Map, MapModel>> saved;
  {
    Map map;
    const SipKey sip = map.sip_key();
    MapModel model;
    int64_t next = 0;
    // Fill up, then drain, so nodes split, collision nodes grow, and erases
    // must lift single entries back into their parents.
    for (int phase = 0; phase < 3; ++phase) {
      const int insert_percent = phase == 1 ? 25 : 75;
      for (int step = 0; step < 12000; ++step) {
        const int64_t id = static_cast<int64_t>(rng() % key_range);
        const bool in_place = rng() % 2 == 0;
        if (static_cast<int>(rng() % 100) < insert_percent) {
          const int64_t tag = ++next;
          map =
              in_place ? std::move(map).insert(Key{id, tag}, next) : map.insert(Key{id, tag}, next);
          auto [it, fresh] = model.emplace(id, std::make_pair(tag, next));
          if (!fresh) it->second.second = next;
        } else {
          map = in_place ? std::move(map).erase(Key{id, 0}) : map.erase(Key{id, 0});
          model.erase(id);
        }
        ASSERT_EQ(map.size(), model.size());
        const int64_t probe = static_cast<int64_t>(rng() % key_range);
        const auto it = model.find(probe);
        const Tracked* found = map.find(Key{probe, 0});
        ASSERT_EQ(found != nullptr, it != model.end()) << "key " << probe;
        ASSERT_EQ(map.contains(Key{probe, 0}), it != model.end());
        if (found) {
          ASSERT_EQ(found->value, it->second.second);
        }
        if (rng() % 200 == 0) saved.emplace_back(map, model);
      }
      expect_same_map(map, model);
    }
    // Draining every key leaves an empty map that still works.
    while (!model.empty()) {
      map = std::move(map).erase(Key{model.begin()->first, 0});
      model.erase(model.begin());
    }
    expect_same_map(map, model);
    map = std::move(map).insert(Key{5, 1}, 6);
    EXPECT_EQ(map.find(Key{5, 0})->value, 6);
    EXPECT_EQ(map.sip_key().k0, sip.k0);
    EXPECT_EQ(map.sip_key().k1, sip.k1);
  }
  ASSERT_GT(saved.size(), 100u);
  for (const auto& [map, model] : saved) expect_same_map(map, model);
}

TEST_F(CollectionsTest, SetRandomOperationsMatchModelAndOldVersionsStayUnchanged) {
  // The set keeps the first of two equal members it was given.
  struct Member {
    Key key;
    Tracked life;
  };
  struct MemberTraits {
    static uint64_t hash(const SipKey& sip, const Member& m) {
      return WeakTraits::hash(sip, m.key);
    }
    static bool equal(const Member& a, const Member& b) { return a.key.id == b.key.id; }
  };
  using Set = PSet<Member, MemberTraits>;
  using SetModel = std::map<int64_t, int64_t>;  // id -> tag
  auto expect_same_set = [](const Set& set, const SetModel& model) {
    ASSERT_EQ(set.size(), model.size());
    SetModel seen;
    for (const Member& m : set) EXPECT_TRUE(seen.emplace(m.key.id, m.key.tag).second);
    EXPECT_EQ(seen, model);
    size_t visited = 0;
    set.for_each([&visited](const Member&) { ++visited; });
    EXPECT_EQ(visited, model.size());
    for (const auto& [id, tag] : model) {
      const Member* found = set.find(Member{{id, 0}, {}});
      ASSERT_NE(found, nullptr) << "member " << id;
      EXPECT_EQ(found->key.tag, tag);
    }
  };

  std::mt19937_64 rng(99);
  std::vector<std::pair<Set, SetModel>> saved;
  {
    Set set;
    SetModel model;
    for (int step = 0; step < 20000; ++step) {
      const int64_t id = static_cast<int64_t>(rng() % 500);
      const bool in_place = rng() % 2 == 0;
      if (rng() % 100 < (step < 10000 ? 65u : 35u)) {
        const Member m{{id, step}, {}};
        set = in_place ? std::move(set).insert(m) : set.insert(m);
        model.emplace(id, step);
      } else {
        const Member probe{{id, 0}, {}};
        set = in_place ? std::move(set).erase(probe) : set.erase(probe);
        model.erase(id);
      }
      ASSERT_EQ(set.size(), model.size());
      ASSERT_EQ(set.contains(Member{{id, 0}, {}}), model.count(id) == 1);
      if (rng() % 100 == 0) saved.emplace_back(set, model);
    }
    expect_same_set(set, model);
  }
  for (const auto& [set, model] : saved) expect_same_set(set, model);
}

TEST_F(CollectionsTest, EveryNewCollectionGetsItsOwnKeyAndDerivedOnesKeepIt) {
  using Map = PMap<Key, Tracked, SipTraits>;
  const Map a;
  const Map b;
  const PSet<Key, SipTraits> c;
  EXPECT_EQ(b.sip_key().k0, a.sip_key().k0 + 1);
  EXPECT_EQ(b.sip_key().k1, a.sip_key().k1);
  EXPECT_EQ(c.sip_key().k0, b.sip_key().k0 + 1);
  const Map derived = a.insert(Key{1, 0}, 1).insert(Key{2, 0}, 2).erase(Key{1, 0});
  EXPECT_EQ(derived.sip_key().k0, a.sip_key().k0);
  EXPECT_EQ(derived.sip_key().k1, a.sip_key().k1);
}

}  // namespace
}  // namespace quorvel
