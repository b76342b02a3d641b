// The machine record: heap, operand stack, frames, handler records,
// globals, interner, loaded prototypes, natives, types, docs and effects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/interner.h"
#include "support/result.h"
#include "value.h"
#include "vm/error.h"
#include "vm/exec_code.h"
#include "vm/frame.h"
#include "vm/frame_stack.h"
#include "vm/handler_record.h"
#include "vm/heap.h"
#include "vm/native.h"
#include "vm/operand_stack.h"
#include "vm/prototype.h"
#include "vm/types.h"
#include "vm/vmvalue.h"

namespace quorvel {

// Documentation of a global: its text and where it was defined.
struct DocEntry {
  std::string text;
  std::optional<Span> span;
};

// Built-in effect ids.
inline constexpr uint64_t kExnEffectId = 0xFFFF0001;
inline constexpr uint64_t kConsoleEffectId = 0xFFFF0002;
inline constexpr uint64_t kRandomEffectId = 0xFFFF0004;

// The message of every depth limit the machine enforces on calls.
inline constexpr std::string_view kStackOverflowMessage = "stack overflow: too many nested calls";

class VM final : public RootSource {
 public:
  // A machine ready to run code, with the given static native table bound
  // as globals (the table outlives the machine).
  explicit VM(std::span<const NativeEntry> natives);
  VM(const VM&) = delete;
  VM& operator=(const VM&) = delete;

  // --- Running --------------------------------------------------------
  // Runs a prototype as a new top-level call. Afterwards the operand stack,
  // frames and handler records are as they were before, also on failure.
  Result<VMValue, VMErrorInfo> run(uint32_t proto, std::span<const VMValue> args = {});
  // Calls a value from native code and waits for its result.
  NativeResult apply(VMValue callee, std::span<const VMValue> args);
  // Calls a static or dynamic native with collection paused.
  NativeResult call_native_by_idx(uint16_t index, std::span<const VMValue> args);

  // --- Globals --------------------------------------------------------
  void set_global(uint32_t name, VMValue value);
  std::optional<VMValue> get_global(uint32_t name) const;
  std::optional<uint32_t> global_slot(uint32_t name) const;
  // Slot the next new global name receives (reserved slots included).
  uint32_t global_count() const { return static_cast<uint32_t>(globals_.size()); }
  const std::unordered_map<uint32_t, uint32_t>& global_index() const { return global_index_; }
  // Binds a name to a slot chosen by the compiler before the definition
  // runs; the slot reads as undefined until a value is bound. A name that
  // already has a slot, or a slot that belongs to another name, is left as
  // it is.
  void reserve_global_slot(uint32_t name, uint32_t slot);

  // --- Natives and host functions -------------------------------------
  std::span<const NativeEntry> natives() const { return natives_; }
  // Appends a host function, binds the global of that name to it and
  // returns its native index; fails once the 16-bit index space is full.
  Result<uint16_t, VMError> register_dynamic_native(std::string name, HostFunction function);

  // --- Prototypes, types, docs, effects -------------------------------
  uint32_t add_prototype(Prototype proto);
  const std::vector<Prototype>& prototypes() const { return prototypes_; }
  TypeRegistry& types() { return types_; }
  const TypeRegistry& types() const { return types_; }
  std::unordered_map<uint32_t, DocEntry>& docs() { return docs_; }
  // The id of the effect bound to the global of that name.
  std::optional<uint64_t> get_effect_id(std::string_view name) const;
  // The name of a live, named effect object with that id (scans the heap).
  std::optional<std::string> effect_name_by_id(uint64_t id) const;
  void set_host_handler(uint64_t effect_id, HostHandler handler);
  uint64_t take_next_effect_id() { return next_effect_id_++; }

  // --- Heap helpers ---------------------------------------------------
  Heap& heap() { return heap_; }
  const Heap& heap() const { return heap_; }
  Interner& interner() { return interner_; }
  const Interner& interner() const { return interner_; }
  void set_extra_roots(std::vector<HeapKey> roots) { extra_roots_ = std::move(roots); }
  void collect_roots(std::vector<HeapKey>& out) const override;

  // Allocation with a possible collection (the machine's roots; the new
  // object's children are kept alive).
  HeapKey alloc(HeapObject object) { return heap_.alloc(std::move(object), *this); }
  VMValue alloc_string(std::string text);
  VMValue make_list(std::vector<VMValue> items);
  VMValue make_vector(std::vector<VMValue> items);
  // The canonical representative of a map key or set member (never collects).
  VMValue canonicalize_key(VMValue value);
  // The language's `=`; data nested too deeply to compare is a value error.
  Result<bool, VMError> values_equal(VMValue a, VMValue b) const;

  // The type id of ReduceSignal, recorded once the prelude defines it.
  std::optional<uint16_t> reduce_signal_type;

  // Call frames allowed at once; one more is the stack-overflow value error.
  static constexpr size_t kMaxFrames = 100000;

 private:
  friend class Interpreter;
  friend class Calls;

  struct GlobalSlot {
    VMValue value;
    uint32_t name = 0;
    bool bound = false;
  };

  Heap heap_;
  OperandStack stack_;
  FrameStack frames_;
  std::vector<HandlerRecord> handlers_;
  std::vector<GlobalSlot> globals_;
  std::unordered_map<uint32_t, uint32_t> global_index_;
  Interner interner_;
  std::vector<Prototype> prototypes_;
  std::vector<ExecCode> exec_;  // parallel to prototypes_
  std::span<const NativeEntry> natives_;
  std::vector<DynamicNative> dynamic_natives_;
  std::vector<HeapKey> extra_roots_;
  TypeRegistry types_;
  std::unordered_map<uint32_t, DocEntry> docs_;
  std::vector<HeapKey> optic_singletons_;
  std::unordered_map<uint64_t, std::shared_ptr<const HostHandler>> host_handlers_;
  uint64_t next_effect_id_ = 1;
  // The closure the loop's fast call path entered last. A live key names one
  // object for the object's whole life, and a closure's clauses never
  // change, so a callee with this key needs no further checks.
  struct PlainCallee {
    uint64_t key = 0;  // payload of the HeapRef; 0 (no live key) when empty
    uint32_t proto = 0;
    uint16_t num_locals = 0;
    uint8_t arity = 0;
  };
  PlainCallee plain_callee_;
  // Lines of the stack trace of an error that has left a nested loop
  // (apply or a guard), whose frames are already unwound; innermost first.
  std::vector<VMStackFrame> pending_trace_;
};

}  // namespace quorvel
