#include "vm/heap_refs.h"

#include <type_traits>
#include <vector>

#include "vm/heap.h"

namespace quorvel {

namespace {

void push_value(VMValue v, std::vector<HeapKey>& out) {
  if (v.is_heap()) out.push_back(v.as_heap());
}

void push_frame(const Frame& frame, std::vector<HeapKey>& out) {
  if (frame.closure) out.push_back(*frame.closure);
  if (frame.handler_call) out.push_back(frame.handler_call->continuation);
}

void push_handler(const HandlerRecord& record, std::vector<HeapKey>& out) {
  if (record.closure) out.push_back(*record.closure);
  if (record.dispatch) out.push_back(*record.dispatch);
}

void push_optic(const OpticKind& optic, std::vector<HeapKey>& out) {
  std::visit(
      [&out](const auto& k) {
        using K = std::decay_t<decltype(k)>;
        if constexpr (std::is_same_v<K, OpticKind::Key> || std::is_same_v<K, OpticKind::NotKey>) {
          out.push_back(k.key);
        } else if constexpr (std::is_same_v<K, OpticKind::Composed>) {
          out.insert(out.end(), k.parts.begin(), k.parts.end());
        } else if constexpr (std::is_same_v<K, OpticKind::Filtered> ||
                             std::is_same_v<K, OpticKind::When>) {
          out.push_back(k.predicate);
        } else if constexpr (std::is_same_v<K, OpticKind::First>) {
          out.push_back(k.inner);
        } else if constexpr (std::is_same_v<K, OpticKind::Lens>) {
          out.push_back(k.getter);
          out.push_back(k.setter);
        } else if constexpr (std::is_same_v<K, OpticKind::KeyCompare>) {
          out.push_back(k.key);
          push_value(k.literal, out);
        }
      },
      optic.kind);
}

HeapKey remap_key(HeapKey key, const HeapKeyMap& keys) {
  const auto it = keys.find(key);
  return it == keys.end() ? key : it->second;
}

void remap_optional(std::optional<HeapKey>& key, const HeapKeyMap& keys) {
  if (key) key = remap_key(*key, keys);
}

void remap_values(std::vector<VMValue>& values, const HeapKeyMap& keys) {
  for (VMValue& v : values) v = remap_heap_ref(v, keys);
}

void remap_optic(OpticKind& optic, const HeapKeyMap& keys) {
  std::visit(
      [&keys](auto& k) {
        using K = std::decay_t<decltype(k)>;
        if constexpr (std::is_same_v<K, OpticKind::Key> || std::is_same_v<K, OpticKind::NotKey>) {
          k.key = remap_key(k.key, keys);
        } else if constexpr (std::is_same_v<K, OpticKind::Composed>) {
          for (HeapKey& part : k.parts) part = remap_key(part, keys);
        } else if constexpr (std::is_same_v<K, OpticKind::Filtered> ||
                             std::is_same_v<K, OpticKind::When>) {
          k.predicate = remap_key(k.predicate, keys);
        } else if constexpr (std::is_same_v<K, OpticKind::First>) {
          k.inner = remap_key(k.inner, keys);
        } else if constexpr (std::is_same_v<K, OpticKind::Lens>) {
          k.getter = remap_key(k.getter, keys);
          k.setter = remap_key(k.setter, keys);
        } else if constexpr (std::is_same_v<K, OpticKind::KeyCompare>) {
          k.key = remap_key(k.key, keys);
          k.literal = remap_heap_ref(k.literal, keys);
        }
      },
      optic.kind);
}

}  // namespace

void Heap::trace_object(const HeapObject& object, std::vector<HeapKey>& worklist) {
  std::visit(
      [&worklist](const auto& o) {
        using O = std::decay_t<decltype(o)>;
        // Collections that never held a reference are not walked.
        if constexpr (std::is_same_v<O, SeqData>) {
          if (!o.items.may_hold_references()) return;
          for (const VMValue& v : o.items) push_value(v, worklist);
        } else if constexpr (std::is_same_v<O, VMSet>) {
          if (!o.may_hold_references()) return;
          for (const VMValue& v : o) push_value(v, worklist);
        } else if constexpr (std::is_same_v<O, VMMap>) {
          if (!o.may_hold_references()) return;
          for (const auto& [k, v] : o) {
            push_value(k, worklist);
            push_value(v, worklist);
          }
        } else if constexpr (std::is_same_v<O, Closure>) {
          for (const VMValue& v : o.upvalues) push_value(v, worklist);
        } else if constexpr (std::is_same_v<O, Continuation>) {
          for (const VMValue& v : o.stack) push_value(v, worklist);
          for (const Frame& f : o.frames) push_frame(f, worklist);
          for (const HandlerRecord& h : o.handlers) push_handler(h, worklist);
        } else if constexpr (std::is_same_v<O, AtomObject> || std::is_same_v<O, KeyBox>) {
          push_value(o.value, worklist);
        } else if constexpr (std::is_same_v<O, OpticKind>) {
          push_optic(o, worklist);
        } else if constexpr (std::is_same_v<O, VariantObject>) {
          for (const VMValue& v : o.fields) push_value(v, worklist);
        }
        // String, ClosureTemplate, Regex and Effect hold no references.
      },
      object);
}

void remap_heap_refs(HeapObject& object, const HeapKeyMap& keys) {
  std::visit(
      [&keys](auto& o) {
        using O = std::decay_t<decltype(o)>;
        if constexpr (std::is_same_v<O, SeqData>) {
          std::vector<VMValue> items(o.items.begin(), o.items.end());
          remap_values(items, keys);
          o.items = PVector<VMValue>::from_range(items.begin(), items.end());
        } else if constexpr (std::is_same_v<O, VMSet>) {
          VMSet rebuilt;
          for (const VMValue& v : o) rebuilt = std::move(rebuilt).insert(remap_heap_ref(v, keys));
          o = std::move(rebuilt);
        } else if constexpr (std::is_same_v<O, VMMap>) {
          VMMap rebuilt;
          for (const auto& [k, v] : o) {
            rebuilt = std::move(rebuilt).insert(remap_heap_ref(k, keys), remap_heap_ref(v, keys));
          }
          o = std::move(rebuilt);
        } else if constexpr (std::is_same_v<O, Closure>) {
          remap_values(o.upvalues, keys);
        } else if constexpr (std::is_same_v<O, Continuation>) {
          remap_values(o.stack, keys);
          for (Frame& f : o.frames) {
            remap_optional(f.closure, keys);
            if (f.handler_call) {
              f.handler_call->continuation = remap_key(f.handler_call->continuation, keys);
            }
          }
          for (HandlerRecord& h : o.handlers) {
            remap_optional(h.closure, keys);
            remap_optional(h.dispatch, keys);
          }
        } else if constexpr (std::is_same_v<O, AtomObject> || std::is_same_v<O, KeyBox>) {
          o.value = remap_heap_ref(o.value, keys);
        } else if constexpr (std::is_same_v<O, OpticKind>) {
          remap_optic(o, keys);
        } else if constexpr (std::is_same_v<O, VariantObject>) {
          remap_values(o.fields, keys);
        }
      },
      object);
}

}  // namespace quorvel
