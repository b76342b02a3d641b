// The compiler: turns one top-level form into function prototypes over a
// constant heap of its own. A fresh Compiler serves one top-level form:
// with_vm, compile, finish. The caller imports the constant heap into the
// machine, relocates the prototypes and appends them (see CompileOutput).
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "compiler/compile_error.h"
#include "compiler/function_builder.h"
#include "support/interner.h"
#include "support/result.h"
#include "value.h"
#include "vm/clause.h"
#include "vm/heap.h"
#include "vm/prototype.h"
#include "vm/vm.h"

namespace quorvel {

struct CompileOutput {
  std::vector<Prototype> prototypes;            // in finishing order; the top-level one is last
  Heap constants;                               // the objects the constants refer to
  std::unordered_map<uint32_t, DocEntry> docs;  // by symbol key, from def and defn
};

// Where a symbol refers to.
struct Resolution {
  enum class Kind : uint8_t { Local, Upvalue, Global };
  Kind kind = Kind::Global;
  uint8_t index = 0;  // local slot or upvalue index
};

class Compiler {
 public:
  // A compiler for the machine: its interner, natives and global slots.
  static Compiler with_vm(VM& vm) { return Compiler(vm); }

  // Compiles a top-level form; returns the index of its prototype.
  Result<uint32_t, CompileError> compile(const Value& form);
  // Hands over the results; builders left by a failed compile are dropped.
  CompileOutput finish() &&;

 private:
  explicit Compiler(VM& vm);

  // A parameter list read from a clause's vector.
  struct ClauseSyntax;
  // One clause compiled: its prototypes and what the closure needs.
  struct ClauseCompile;
  // (name, span of the binding symbol) of the names a clause binds so far.
  using BoundNames = std::vector<std::pair<uint32_t, std::optional<Span>>>;

  // --- Builders (compiler.cpp) ------------------------------------------
  // The function being compiled. A builder is on the stack whenever a form
  // is compiled: compile pushes the top-level one first.
  FunctionBuilder& builder() { return builders_.back(); }
  void push_builder(uint32_t name, uint8_t arity, bool variadic);
  Prototype finish_function();
  // Appends to the finished prototypes; returns the index.
  uint32_t add_prototype(Prototype proto);

  uint32_t intern(std::string_view text) { return interner_.intern(text); }
  uint32_t symbol_key(const Symbol& sym) { return intern(sym.text()); }
  // Local slot, captured variable (through one descriptor per function
  // level between the use and the binding) or global.
  Result<Resolution, CompileError> resolve_symbol(uint32_t name, std::optional<Span> span);
  // The slot a new global receives, reserved in the machine.
  void define_global_slot(uint32_t name);

  // --- Expressions (forms.cpp) ------------------------------------------
  Result<Unit, CompileError> compile_expr(const Value& form);
  // compile_expr with the tail flag off.
  Result<Unit, CompileError> compile_operand(const Value& form);
  // The forms as `do`: nil when empty, Pop between values.
  Result<Unit, CompileError> compile_do(std::span<const Value> forms, std::optional<Span> span);
  Result<Unit, CompileError> compile_symbol(const Symbol& sym, std::optional<Span> span);
  Result<Unit, CompileError> compile_list(const List& list, std::optional<Span> span);
  // A special form by head name; nullopt when the name is not one.
  std::optional<Result<Unit, CompileError>> compile_special_form(std::string_view name,
                                                                 std::span<const Value> args,
                                                                 std::optional<Span> head_span,
                                                                 std::optional<Span> span);
  Result<Unit, CompileError> compile_if(std::span<const Value> args, std::optional<Span> span);
  Result<Unit, CompileError> compile_and_or(bool is_and, std::span<const Value> args,
                                            std::optional<Span> span);
  Result<Unit, CompileError> compile_let(std::span<const Value> args, std::optional<Span> span);
  Result<Unit, CompileError> compile_binding(const Value& pattern, std::optional<Span> span);
  Result<Unit, CompileError> compile_def(std::span<const Value> args, std::optional<Span> head_span,
                                         std::optional<Span> span);
  Result<Unit, CompileError> compile_defn(std::span<const Value> args,
                                          std::optional<Span> head_span, std::optional<Span> span);
  Result<Unit, CompileError> compile_loop(std::span<const Value> args, std::optional<Span> span);
  Result<Unit, CompileError> compile_recur(std::span<const Value> args, std::optional<Span> span);
  Result<Unit, CompileError> compile_assert(std::span<const Value> args, std::optional<Span> span);
  Result<Unit, CompileError> compile_quote(std::span<const Value> args, std::optional<Span> span);
  // `(def name ...)` and `(defn name ...)`: Dup, then bind the global.
  Result<Unit, CompileError> emit_define_global(uint32_t name, std::optional<Span> span);

  // --- Literals (literals.cpp) ------------------------------------------
  Result<Unit, CompileError> compile_collection(const Value& form, std::optional<Span> span);
  // Quoted data as a constant, its objects in the constant heap.
  Result<VMValue, CompileError> value_to_constant(const Value& form, std::optional<Span> span);
  VMValue string_constant(std::string_view text);
  VMValue regex_constant(const Value::Regex& regex);

  // --- Functions (functions.cpp) ----------------------------------------
  // (fn name? [params] body...) or (fn name? ([params] body...) ...); `args`
  // follow the head.
  Result<Unit, CompileError> compile_fn(std::span<const Value> args, std::optional<Span> span);
  Result<ClauseSyntax, CompileError> read_clause(const Value& params, std::optional<Span> span);
  Result<ClauseCompile, CompileError> compile_clause(uint32_t name, const ClauseSyntax& syntax,
                                                     std::span<const Value> body,
                                                     std::optional<Span> span);
  Result<CompiledPattern, CompileError> compile_parameter(const Value& param, BoundNames& bound,
                                                          std::optional<Span> span);

  // --- Calls (calls.cpp) ------------------------------------------------
  // The inline instruction sequence when the operator and count allow one.
  std::optional<Result<Unit, CompileError>> compile_inline_operator(std::string_view name,
                                                                    std::span<const Value> args,
                                                                    std::optional<Span> span);
  Result<Unit, CompileError> compile_operands(std::span<const Value> args,
                                              std::optional<Span> span);
  Result<Unit, CompileError> compile_perform_op(const Symbol& head, std::span<const Value> args,
                                                std::optional<Span> span);
  Result<Unit, CompileError> compile_native_call(uint16_t native, std::span<const Value> args,
                                                 std::optional<Span> span);
  Result<Unit, CompileError> compile_call(const Value& head, std::span<const Value> args,
                                          std::optional<Span> span);
  // The native a call head names, when no local or captured variable hides it.
  Result<std::optional<uint16_t>, CompileError> direct_native(const Symbol& head,
                                                              std::optional<Span> span);

  VM& vm_;
  Interner& interner_;
  Heap constants_;
  // Stable references: nested functions push and pop above the current one.
  std::deque<FunctionBuilder> builders_;
  std::vector<Prototype> prototypes_;
  std::unordered_map<uint32_t, DocEntry> docs_;
  std::unordered_map<uint32_t, uint16_t> natives_by_name_;
  std::unordered_map<uint32_t, uint32_t> globals_slots_;
  uint32_t next_global_slot_;
};

}  // namespace quorvel
