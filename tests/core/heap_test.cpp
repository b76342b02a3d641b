#include "vm/heap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "vm/prototype.h"

namespace quorvel {
namespace {

struct KeyRoots : RootSource {
  std::vector<HeapKey> keys;
  void collect_roots(std::vector<HeapKey>& out) const override {
    out.insert(out.end(), keys.begin(), keys.end());
  }
};

const KeyRoots kNoRoots;

VMValue str(Heap& heap, const std::string& text) {
  return VMValue::heap(heap.alloc_no_gc(StringObject{text}));
}

SeqData seq_of(std::vector<VMValue> items, bool is_vector) {
  return SeqData{PVector<VMValue>::from_range(items.begin(), items.end()), is_vector};
}

VMValue vec(Heap& heap, std::vector<VMValue> items) {
  return VMValue::heap(heap.alloc_no_gc(seq_of(std::move(items), true)));
}

VMValue list(Heap& heap, std::vector<VMValue> items) {
  return VMValue::heap(heap.alloc_no_gc(seq_of(std::move(items), false)));
}

// Inserts the keys unchanged (not canonicalised).
VMMap raw_map(std::vector<std::pair<VMValue, VMValue>> entries) {
  VMMap map;
  for (const auto& [k, v] : entries) map = std::move(map).insert(k, v);
  return map;
}

VMValue map(Heap& heap, std::vector<std::pair<VMValue, VMValue>> entries) {
  return VMValue::heap(heap.alloc_no_gc(raw_map(std::move(entries))));
}

VMValue set(Heap& heap, std::vector<VMValue> members) {
  VMSet s;
  for (const VMValue& m : members) s = std::move(s).insert(m);
  return VMValue::heap(heap.alloc_no_gc(std::move(s)));
}

VMValue closure(Heap& heap) {
  auto clauses = std::make_shared<const std::vector<ClauseInfo>>(1, ClauseInfo{});
  return VMValue::heap(heap.alloc_no_gc(Closure{clauses, {}}));
}

const VMValue kOne = VMValue::integer(1);
const VMValue kTwo = VMValue::integer(2);

// --- Values -----------------------------------------------------------------

TEST(VMValueDiagnostics, RendersEveryTag) {
  struct Case {
    VMValue value;
    const char* text;
  };
  const Case cases[] = {
      {VMValue::nil(), "nil"},
      {VMValue::boolean(false), "false"},
      {VMValue::integer(INT64_MIN), "-9223372036854775808"},
      {VMValue::floating(1.0), "1"},
      {VMValue::floating(-2.0), "-2"},
      {VMValue::floating(0.5), "0.5"},
      {VMValue::floating(0.1), "0.1"},
      {VMValue::floating(1.5e-7), "0.00000015"},
      {VMValue::floating(1e21), "1000000000000000000000"},
      {VMValue::ratio(-1, 2), "-1/2"},
      {VMValue::symbol(12), "sym(#12)"},
      {VMValue::keyword(3), ":#3"},
      {VMValue::heap(HeapKey{4, 2}), "heap(4v2)"},
      {VMValue::native(159), "native(159)"},
  };
  for (const Case& c : cases) EXPECT_EQ(to_diagnostic_string(c.value), c.text);
  EXPECT_TRUE(VMValue::integer(0).is_truthy());
  EXPECT_FALSE(VMValue::boolean(false).is_truthy());
  EXPECT_FALSE(VMValue::nil().is_truthy());
}

// --- Collection -------------------------------------------------------------

TEST(HeapCollection, AllocationAtThresholdCollectsAndSetsNextThreshold) {
  struct Case {
    size_t rooted;
    size_t next_threshold;
  };
  for (const Case c :
       {Case{0, 1024}, Case{300, 1024}, Case{512, 1024}, Case{600, 1200}, Case{1000, 2000}}) {
    Heap heap;
    KeyRoots roots;
    for (size_t i = 0; i < Heap::kInitialThreshold; ++i) {
      const HeapKey key = heap.alloc(StringObject{std::to_string(i)}, roots);
      if (i < c.rooted) roots.keys.push_back(key);
    }
    ASSERT_EQ(heap.live(), 1024u) << "no collection below the threshold";
    heap.alloc(StringObject{"trigger"}, roots);
    EXPECT_EQ(heap.live(), c.rooted + 1) << c.rooted;
    EXPECT_EQ(heap.threshold(), c.next_threshold) << c.rooted;
    for (HeapKey key : roots.keys) ASSERT_NE(heap.get(key), nullptr);
  }
}

// A few large live collections leave room for allocations in proportion
// to their values, so that tracing them is not repeated every 1024
// allocations.
TEST(HeapCollection, LargeLiveCollectionsWidenTheNextThreshold) {
  Heap heap;
  KeyRoots roots;
  roots.keys.push_back(heap.alloc(StringObject{"element"}, roots));
  std::vector<VMValue> items(64 * 1024, VMValue::heap(roots.keys[0]));
  roots.keys.push_back(heap.alloc(seq_of(items, true), roots));
  while (heap.live() < Heap::kInitialThreshold) heap.alloc(StringObject{"garbage"}, roots);
  heap.alloc(StringObject{"trigger"}, roots);
  EXPECT_EQ(heap.live(), 3u);
  // Only the string and the vector were live when the threshold was set.
  EXPECT_EQ(heap.threshold(), 2 + items.size() / Heap::kTracedValuesPerAllocation);
}

// Collections that never held a reference are not walked, so they leave the
// threshold to the object count; one that gains a reference later by any
// update is walked again.
TEST(HeapCollection, OnlyCollectionsThatHeldReferencesAreTraced) {
  Heap heap;
  const std::vector<VMValue> ints(5000, VMValue::integer(3));
  const PVector<VMValue> numbers = PVector<VMValue>::from_range(ints.begin(), ints.end());
  const HeapKey plain = heap.alloc_no_gc(SeqData{numbers, true});
  heap.collect({plain});
  EXPECT_EQ(heap.threshold(), Heap::kInitialThreshold);

  const VMValue one = VMValue::integer(1);
  const VMMap int_map = raw_map({{one, one}});
  VMSet int_set;
  int_set = std::move(int_set).insert(one);
  for (int update = 0; update < 5; ++update) {
    Heap h;
    const VMValue child = str(h, "child");
    const std::vector<HeapObject> gained = {
        SeqData{numbers.assoc(7, child), true},
        SeqData{numbers.push_back(child), false},
        int_map.insert(one, child),  // an equal key takes the new value
        int_map.insert(child, one),
        int_set.insert(child),
    };
    const HeapKey holder = h.alloc_no_gc(gained[update]);
    h.collect({holder});
    EXPECT_NE(h.get(child.as_heap()), nullptr) << "update " << update;
  }
}

TEST(HeapCollection, DisabledScopePreventsCollectionAndRestoresCounter) {
  Heap heap;
  for (int i = 0; i < 1024; ++i) heap.alloc_no_gc(StringObject{"x"});
  {
    GcDisabledScope outer(heap);
    {
      GcDisabledScope inner(heap);
      EXPECT_EQ(heap.gc_disabled(), 2u);
    }
    heap.alloc(StringObject{"y"}, kNoRoots);
    EXPECT_EQ(heap.live(), 1025u);
  }
  EXPECT_EQ(heap.gc_disabled(), 0u);
  heap.alloc(StringObject{"z"}, kNoRoots);
  EXPECT_EQ(heap.live(), 1u);
}

TEST(HeapCollection, DeadKeysStayDeadAfterSlotReuse) {
  Heap heap;
  const HeapKey old_key = heap.intern_string("gone");
  const VMValue old_value = VMValue::heap(old_key);
  heap.collect({});
  EXPECT_EQ(heap.get(old_key), nullptr);

  const HeapKey reused = heap.intern_string("gone");
  EXPECT_EQ(reused.index, old_key.index) << "the freed slot is reused";
  EXPECT_NE(reused, old_key);
  EXPECT_EQ(heap.get(old_key), nullptr);
  EXPECT_FALSE(heap.hash_vmvalue(old_value).has_value());
  EXPECT_EQ(heap.canonicalize_key(old_value), old_value);
  EXPECT_FALSE(heap.values_equal(old_value, VMValue::heap(reused)));
  const VMMap m = heap.map_insert(VMMap(), VMValue::heap(reused), kOne);
  EXPECT_FALSE(heap.map_get(m, old_value).has_value());
}

// Objects of every kind that holds references, each referring to `child`.
std::vector<HeapObject> holders_of(VMValue child) {
  const HeapKey key = child.as_heap();
  Continuation k;
  k.stack = {child};
  Frame frame;
  frame.closure = key;
  Continuation k_frame;
  k_frame.frames = {frame};
  Frame handler_frame;
  handler_frame.handler_call = HandlerCall{key, 0, 0, 0};
  Continuation k_handler_call;
  k_handler_call.frames = {handler_frame};
  HandlerRecord record;
  record.dispatch = key;
  Continuation k_record;
  k_record.handlers = {record};
  return {
      seq_of({kOne, child}, true),
      HeapObject(VMSet().insert(child)),
      HeapObject(raw_map({{child, kOne}})),
      HeapObject(raw_map({{kOne, child}})),
      Closure{nullptr, {kOne, child}},
      k,
      k_frame,
      k_handler_call,
      k_record,
      AtomObject{child},
      OpticKind{OpticKind::Key{key}},
      OpticKind{OpticKind::Composed{{key}}},
      OpticKind{OpticKind::Filtered{key}},
      OpticKind{OpticKind::First{key}},
      OpticKind{OpticKind::Lens{key, key}},
      OpticKind{OpticKind::KeyCompare{key, OpticKind::Compare::Equal, child}},
      KeyBox{child},
      VariantObject{VariantObject::make_tag(1, 0), {child}},
  };
}

std::vector<HeapKey> children(const Heap& heap, HeapKey key) {
  std::vector<HeapKey> out;
  Heap::trace_object(*heap.get(key), out);
  return out;
}

TEST(HeapCollection, MarkReachesChildrenOfEveryKind) {
  for (size_t i = 0; i < holders_of(VMValue::heap({0, 1})).size(); ++i) {
    Heap heap;
    const VMValue child = str(heap, "child");
    const HeapKey holder = heap.alloc_no_gc(holders_of(child)[i]);
    heap.collect({holder});
    EXPECT_NE(heap.get(child.as_heap()), nullptr) << "holder kind " << i;
    heap.collect({});
    EXPECT_EQ(heap.live(), 0u);
  }
}

TEST(HeapCollection, StressModeKeepsRootedDataAndFreesTheRest) {
  Heap heap;
  heap.set_stress(true);
  KeyRoots roots;
  const VMValue s = VMValue::heap(heap.alloc(StringObject{"kept"}, roots));
  roots.keys.push_back(heap.alloc(seq_of({s}, true), roots));
  for (int i = 0; i < 50; ++i) heap.alloc(StringObject{"garbage"}, roots);
  EXPECT_EQ(heap.live(), 3u) << "the vector, its string and the newest garbage";
  EXPECT_NE(heap.get(s.as_heap()), nullptr);

  // The children of the object being allocated survive its collection.
  const VMValue unrooted = VMValue::heap(heap.alloc_no_gc(StringObject{"child"}));
  const HeapKey holder = heap.alloc(seq_of({unrooted}, false), roots);
  EXPECT_NE(heap.get(unrooted.as_heap()), nullptr);
  EXPECT_NE(heap.get(holder), nullptr);
}

// --- Interning and canonicalisation ---------------------------------------

TEST(HeapInterning, EqualContentSharesOneCanonicalObject) {
  Heap heap;
  const HeapKey v1 = heap.intern_seq(seq_of({kOne, kTwo}, true));
  const HeapKey v2 = heap.intern_seq(seq_of({kOne, kTwo}, true));
  const HeapKey l = heap.intern_seq(seq_of({kOne, kTwo}, false));
  EXPECT_EQ(v1, v2);
  EXPECT_NE(v1, l);
  EXPECT_FALSE(heap.values_equal(VMValue::heap(v1), VMValue::heap(l)));
  EXPECT_TRUE(heap.language_equal(VMValue::heap(v1), VMValue::heap(l)).value());

  EXPECT_EQ(heap.intern_string("abc"), heap.intern_string("abc"));
  EXPECT_NE(heap.intern_string("abc"), heap.intern_string("abd"));
  const HeapKey variant = heap.intern_variant(VariantObject{VariantObject::make_tag(2, 1), {kOne}});
  EXPECT_EQ(heap.intern_variant(VariantObject{VariantObject::make_tag(2, 1), {kOne}}), variant);
  EXPECT_NE(heap.intern_variant(VariantObject{VariantObject::make_tag(3, 1), {kOne}}), variant);
}

TEST(HeapInterning, UnhashableCollectionIsNeverCanonical) {
  Heap heap;
  const VMValue fn = closure(heap);
  const HeapKey m1 = heap.intern_map(raw_map({{kOne, fn}}));
  const HeapKey m2 = heap.intern_map(raw_map({{kOne, fn}}));
  EXPECT_NE(m1, m2);
  EXPECT_FALSE(heap.cell_hash(m1).has_value());
  EXPECT_FALSE(heap.hash_vmvalue(VMValue::heap(m1)).has_value());
  EXPECT_EQ(heap.canonicalize_key(VMValue::heap(m1)), VMValue::heap(m1));
  const VMMap keyed = heap.map_insert(VMMap(), VMValue::heap(m1), kTwo);
  EXPECT_EQ(heap.map_get(keyed, VMValue::heap(m1)), kTwo) << "the same object finds itself";
  EXPECT_FALSE(heap.map_get(keyed, VMValue::heap(m2)).has_value());

  const VMValue atom = VMValue::heap(heap.alloc_no_gc(AtomObject{kOne}));
  EXPECT_FALSE(heap.hash_vmvalue(atom).has_value());
  EXPECT_EQ(heap.canonicalize_key(atom), atom);
}

TEST(HeapInterning, CanonicalizeKeyReplacesStructureByItsInternedObject) {
  Heap heap;
  const VMValue a = str(heap, "k");
  const VMValue b = str(heap, "k");
  const VMValue ca = heap.canonicalize_key(a);
  EXPECT_NE(ca, a);
  EXPECT_EQ(heap.canonicalize_key(b), ca);
  EXPECT_EQ(heap.canonicalize_key(ca), ca);
  EXPECT_FALSE(heap.cell_hash(a.as_heap()).has_value()) << "the original stays as it was";
  EXPECT_NE(heap.get(a.as_heap()), nullptr);

  // Nested non-canonical parts still make equal structures collide.
  const VMValue va = vec(heap, {a, kOne});
  const VMValue vb = vec(heap, {b, kOne});
  EXPECT_EQ(heap.canonicalize_key(va), heap.canonicalize_key(vb));
  const VMValue ma = map(heap, {{a, va}});
  const VMValue mb = map(heap, {{b, vb}});
  EXPECT_EQ(heap.canonicalize_key(ma), heap.canonicalize_key(mb));
  const VMValue sa = set(heap, {a, kTwo});
  EXPECT_EQ(heap.canonicalize_key(sa), heap.canonicalize_key(set(heap, {kTwo, b})));

  for (const VMValue scalar :
       {VMValue::nil(), kOne, VMValue::floating(1.5), VMValue::keyword(3), VMValue::native(4)}) {
    EXPECT_EQ(heap.canonicalize_key(scalar), scalar);
  }
}

TEST(HeapInterning, MapKeysCollideOnlyThroughCanonicalisation) {
  Heap heap;
  VMMap m = heap.map_insert(VMMap(), str(heap, "name"), kOne);
  EXPECT_EQ(heap.map_get(m, str(heap, "name")), kOne);
  m = heap.map_insert(m, str(heap, "name"), kTwo);
  EXPECT_EQ(m.size(), 1u);
  EXPECT_EQ(heap.map_get(m, str(heap, "name")), kTwo);

  m = heap.map_insert(m, VMValue::floating(1.0), kTwo);
  m = heap.map_insert(m, kOne, kOne);
  EXPECT_EQ(m.size(), 3u) << "1 and 1.0 are different keys";

  const VMValue nan = VMValue::floating(std::numeric_limits<double>::quiet_NaN());
  m = heap.map_insert(m, nan, kOne);
  EXPECT_EQ(m.size(), 4u);
  EXPECT_FALSE(heap.map_get(m, nan).has_value());
  EXPECT_EQ(heap.map_get(m, VMValue::floating(-0.0)), std::nullopt);
  m = heap.map_insert(m, VMValue::floating(0.0), kOne);
  EXPECT_EQ(heap.map_get(m, VMValue::floating(-0.0)), kOne);
}

// --- Equalities --------------------------------------------------------------

TEST(HeapEquality, InterningAndLanguageEquality) {
  Heap heap;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto regex = [&heap](const char* source) {
    return VMValue::heap(heap.alloc_no_gc(RegexObject{nullptr, source}));
  };
  const auto variant = [&heap](uint16_t type, std::vector<VMValue> fields) {
    return VMValue::heap(
        heap.alloc_no_gc(VariantObject{VariantObject::make_tag(type, 0), std::move(fields)}));
  };
  const auto atom = [&heap](VMValue v) { return VMValue::heap(heap.alloc_no_gc(AtomObject{v})); };
  const auto box = [&heap](VMValue v) { return VMValue::heap(heap.alloc_no_gc(KeyBox{v})); };
  struct Case {
    const char* name;
    VMValue a, b;
    bool interning, language;
  };
  const Case cases[] = {
      {"int/float", kOne, VMValue::floating(1.0), false, true},
      {"int/float differ", kOne, VMValue::floating(1.5), false, false},
      {"int/ratio n/1", kTwo, VMValue::ratio(2, 1), false, true},
      {"ratio/float", VMValue::ratio(1, 2), VMValue::floating(0.5), false, true},
      {"ratio/ratio", VMValue::ratio(1, 2), VMValue::ratio(1, 2), true, true},
      {"NaN", VMValue::floating(nan), VMValue::floating(nan), false, false},
      {"signed zeros", VMValue::floating(0.0), VMValue::floating(-0.0), true, true},
      {"symbol/keyword", VMValue::symbol(3), VMValue::keyword(3), false, false},
      {"strings", str(heap, "s"), str(heap, "s"), true, true},
      {"list/vector", list(heap, {kOne, kTwo}), vec(heap, {kOne, kTwo}), false, true},
      {"nested", vec(heap, {vec(heap, {kOne})}), vec(heap, {list(heap, {VMValue::floating(1)})}),
       false, true},
      {"sets", set(heap, {kOne, str(heap, "x")}), set(heap, {str(heap, "x"), kOne}), true, true},
      {"sets differ", set(heap, {kOne}), set(heap, {kTwo}), false, false},
      {"maps, separate string keys", map(heap, {{str(heap, "k"), kOne}}),
       map(heap, {{str(heap, "k"), kOne}}), true, true},
      {"maps, 1 and 1.0 keys", map(heap, {{kOne, kTwo}}),
       map(heap, {{VMValue::floating(1.0), kTwo}}), false, true},
      {"maps, values differ", map(heap, {{kOne, kOne}}), map(heap, {{kOne, kTwo}}), false, false},
      {"variants", variant(1, {kOne}), variant(1, {kOne}), true, true},
      {"variants of other types", variant(1, {kOne}), variant(2, {kOne}), false, false},
      {"atoms with equal values", atom(kOne), atom(kOne), false, false},
      {"closures", closure(heap), closure(heap), false, false},
      {"key boxes", box(kOne), box(kOne), false, true},
      {"regexes", regex("a+"), regex("a+"), false, true},
      {"regexes differ", regex("a+"), regex("b+"), false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(heap.values_equal(c.a, c.b), c.interning) << c.name;
    EXPECT_EQ(heap.language_equal(c.a, c.b).value(), c.language) << c.name;
    EXPECT_EQ(heap.language_equal(c.b, c.a).value(), c.language) << c.name << " (swapped)";
  }
  const VMValue fn = closure(heap);
  EXPECT_TRUE(heap.language_equal(fn, fn).value()) << "identity";
}

TEST(HeapEquality, StructuralHashFollowsTheByteLayout) {
  Heap heap;
  SipHasher13 expected;
  expected.write_u8(2);
  expected.write_u64(1);
  EXPECT_EQ(heap.hash_vmvalue(kOne), expected.finish());

  SipHasher13 text;
  text.write_u8(8);
  text.write("ab");
  text.write_u8(255);
  const uint64_t ab = text.finish();
  EXPECT_EQ(heap.hash_vmvalue(str(heap, "ab")), ab);

  SipHasher13 seq;
  seq.write_u8(10);
  seq.write_u8(1);
  seq.write_u64(2);
  seq.write_u64(ab);
  seq.write_u64(*heap.hash_vmvalue(kOne));
  const VMValue v = vec(heap, {str(heap, "ab"), kOne});
  EXPECT_EQ(heap.hash_vmvalue(v), seq.finish());
  EXPECT_EQ(heap.hash_vmvalue(heap.canonicalize_key(v)), heap.hash_vmvalue(v));
}

// --- Deep data --------------------------------------------------------------

TEST(HeapDeepData, HundredThousandLevelsNeitherCrashNorRecurseUnbounded) {
  Heap heap;
  const auto nest = [&heap] {
    VMValue v = vec(heap, {});
    for (int i = 0; i < 100000; ++i) v = vec(heap, {v});
    return v;
  };
  const VMValue a = nest();
  const VMValue b = nest();
  (void)heap.hash_vmvalue(a);
  (void)heap.values_equal(a, b);
  const auto eq = heap.language_equal(a, b);
  EXPECT_TRUE(!eq.ok() || eq.value()) << "too deep is an error, never a wrong answer";
  if (!heap.hash_vmvalue(a)) {
    EXPECT_EQ(heap.canonicalize_key(a), a);
  }

  const size_t live = heap.live();
  heap.collect({a.as_heap(), b.as_heap()});
  EXPECT_EQ(heap.live(), live);
  heap.collect({});
  EXPECT_EQ(heap.live(), 0u);
}

// --- Import ---------------------------------------------------------------

TEST(HeapImport, ReferencesAreRewrittenAndCanonicalObjectsMerged) {
  Heap machine;
  machine.alloc_no_gc(StringObject{"padding so keys differ"});
  const HeapKey existing_s = machine.intern_string("s");
  const HeapKey existing_vec = machine.intern_seq(seq_of({VMValue::heap(existing_s), kOne}, true));
  const size_t live_before = machine.live();

  Heap constants;
  const HeapKey c_s = constants.intern_string("s");
  const HeapKey c_plain = constants.alloc_no_gc(StringObject{"s"});
  const HeapKey c_vec = constants.intern_seq(seq_of({VMValue::heap(c_s), kOne}, true));
  const HeapKey c_map =
      constants.intern_map(raw_map({{VMValue::keyword(1), VMValue::heap(c_vec)}}));
  const HeapKey c_list = constants.alloc_no_gc(seq_of({VMValue::heap(c_plain)}, false));
  ClauseInfo clause;
  clause.proto = 0;
  clause.guard = 1;
  const auto shared = std::make_shared<const std::vector<ClauseInfo>>(1, clause);
  const HeapKey c_tmpl = constants.alloc_no_gc(ClosureTemplate{shared});

  const HeapKeyMap keys = machine.import_from(std::move(constants));
  ASSERT_EQ(keys.size(), 6u);
  EXPECT_EQ(keys.at(c_s), existing_s);
  EXPECT_EQ(keys.at(c_vec), existing_vec);
  EXPECT_NE(keys.at(c_plain), existing_s) << "a non-canonical string is not merged";
  EXPECT_EQ(machine.live(), live_before + 4) << "merged copies are freed";

  const auto& imported_map = std::get<VMMap>(*machine.get(keys.at(c_map)));
  EXPECT_EQ(*imported_map.find(VMValue::keyword(1)), VMValue::heap(existing_vec));
  EXPECT_TRUE(machine.cell_hash(keys.at(c_map)).has_value());
  EXPECT_EQ(machine.canonicalize_key(
                map(machine, {{VMValue::keyword(1), vec(machine, {str(machine, "s"), kOne})}})),
            VMValue::heap(keys.at(c_map)))
      << "the imported canonical map is in the intern table";
  EXPECT_EQ(children(machine, keys.at(c_list)), std::vector<HeapKey>{keys.at(c_plain)});

  machine.offset_proto_refs(10, keys);
  const auto& relocated = *std::get<ClosureTemplate>(*machine.get(keys.at(c_tmpl))).clauses;
  EXPECT_EQ(relocated[0].proto, 10u);
  EXPECT_EQ(relocated[0].guard, 11u);
  EXPECT_EQ((*shared)[0].proto, 0u) << "another holder of the clause list keeps its copy";

  Prototype proto;
  proto.constants = {VMValue::heap(c_vec), kOne, VMValue::heap(HeapKey{99, 1})};
  proto.remap_heap_keys(keys);
  EXPECT_EQ(proto.constants, (std::vector<VMValue>{VMValue::heap(existing_vec), kOne,
                                                   VMValue::heap(HeapKey{99, 1})}));
}

TEST(HeapImport, EveryKindOfReferenceIsRewritten) {
  for (size_t i = 0; i < holders_of(VMValue::heap({0, 1})).size(); ++i) {
    Heap constants;
    const VMValue child = str(constants, "child");
    const HeapKey holder = constants.alloc_no_gc(holders_of(child)[i]);
    Heap machine;
    machine.alloc_no_gc(StringObject{"padding"});
    const HeapKeyMap keys = machine.import_from(std::move(constants));
    for (HeapKey key : children(machine, keys.at(holder))) {
      EXPECT_EQ(key, keys.at(child.as_heap())) << "holder kind " << i;
    }
  }
}

}  // namespace
}  // namespace quorvel
