#include "vm/interpreter.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "support/stack_guard.h"
#include "vm/arith.h"
#include "vm/calls.h"
#include "vm/vm.h"

namespace quorvel {

namespace {

// Values move through the loop one 8-byte word at a time, and values made
// here are written the same way, the tag as a whole word: a value stored in
// pieces and loaded back with one wider access would stall the processor's
// store-to-load forwarding at every such pair. The accesses are volatile so
// that the compiler keeps them word by word.
using Word = uint64_t __attribute__((may_alias));

struct Raw {
  uint64_t tag, first, second;
};

[[gnu::always_inline]] inline Raw raw_of(const VMValue& v) {
  const auto* words = reinterpret_cast<const volatile Word*>(&v);
  return {words[0], words[1], words[2]};
}

[[gnu::always_inline]] inline void put_raw(VMValue* dst, Raw r) {
  auto* words = reinterpret_cast<volatile Word*>(dst);
  words[0] = r.tag;
  words[1] = r.first;
  words[2] = r.second;
}

[[gnu::always_inline]] inline void put(VMValue* dst, const VMValue& v) {
  put_raw(dst, raw_of(v));
}

[[gnu::always_inline]] inline void put_int(VMValue* dst, int64_t i) {
  put_raw(dst, {static_cast<uint64_t>(ValueTag::Int), static_cast<uint64_t>(i), 0});
}

[[gnu::always_inline]] inline void put_bool(VMValue* dst, bool b) {
  put_raw(dst, {static_cast<uint64_t>(ValueTag::Bool), b ? 1u : 0u, 0});
}

[[gnu::always_inline]] inline void put_nil(VMValue* dst) {
  put_raw(dst, {0, 0, 0});
}

// Whether a comparison whose outcome mask (compare_mask) is in operand B
// of the word holds for a and b.
bool int_compare(uint32_t word, int64_t a, int64_t b) {
  const int order = (a > b) - (a < b) + 1;  // 0 less, 1 equal, 2 greater
  return (operand_b(word) >> order) & 1;
}

// The slow paths of the loop live out of line, so that the loop itself keeps
// its state in registers.

[[gnu::noinline]] void take_error(VMError& err, VMError&& error) {
  err = std::move(error);
}

[[gnu::noinline, gnu::cold]] VMError underflow_error() {
  return VMError::stack_underflow();
}

[[gnu::noinline, gnu::cold]] VMError effects_not_available() {
  return VMError::type_error("effects are not available yet");
}

// The error of an internal operation that replaced a bad word at load time.
[[gnu::noinline, gnu::cold]] VMError bad_code(uint32_t word) {
  switch (static_cast<ExecOp>(opcode_byte(word))) {
    case ExecOp::InvalidOpcode:
      return VMError::invalid_opcode(operand_a(word));
    case ExecOp::BadConstant:
      return VMError::value_error("invalid bytecode: constant index out of range");
    case ExecOp::BadJump:
      return VMError::value_error("invalid bytecode: jump target out of range");
    default:
      return VMError::value_error("invalid bytecode: execution ran past the end of the code");
  }
}

// A binary arithmetic or comparison instruction on operands[0] and
// operands[1]; the result replaces operands[0].
[[gnu::noinline]] bool slow_binary(VMError& err, uint8_t opcode, VMValue* operands) {
  const VMValue a = operands[0];
  const VMValue b = operands[1];
  const auto compared = [&](Result<bool, VMError> r) -> NativeResult {
    if (!r) return make_err(std::move(r).error());
    return VMValue::boolean(*r);
  };
  NativeResult result = [&]() -> NativeResult {
    switch (static_cast<OpCode>(opcode)) {
      case OpCode::Add:
        return arith_add(a, b);
      case OpCode::Sub:
        return arith_sub(a, b);
      case OpCode::Mul:
        return arith_mul(a, b);
      case OpCode::Div:
        return arith_div(a, b);
      case OpCode::Mod:
        return arith_mod(a, b);
      case OpCode::Lt:
        return compared(arith_lt(a, b));
      case OpCode::Le:
        return compared(arith_le(a, b));
      case OpCode::Gt:
        return compared(arith_gt(a, b));
      default:
        return compared(arith_ge(a, b));
    }
  }();
  if (!result) {
    err = std::move(result).error();
    return false;
  }
  operands[0] = *result;
  return true;
}

[[gnu::noinline]] bool slow_neg(VMError& err, VMValue* operand) {
  auto result = arith_neg(*operand);
  if (!result) {
    err = std::move(result).error();
    return false;
  }
  *operand = *result;
  return true;
}

[[gnu::noinline]] bool slow_equal(const VM& vm, VMError& err, VMValue* operands, bool negate) {
  auto equal = vm.values_equal(operands[0], operands[1]);
  if (!equal) {
    err = std::move(equal).error();
    return false;
  }
  operands[0] = VMValue::boolean(*equal != negate);
  return true;
}

}  // namespace

// The loop keeps the hot state in locals: the instruction pointer into the
// executable copy of the code, the constants, the operand-stack top and the
// frame base. SAVE writes them back before anything that can look at the
// machine; LOAD reads them again afterwards, because calls change the frame
// and anything that pushes may move the stack storage. Pops are checked
// against the end of the frame's locals: a frame never pops its own locals
// or anything of the frames below, so its locals always lie below the top.
Result<VMValue, VMError> Interpreter::execute(VM& vm, size_t stop_depth, bool offer_errors) {
  static void* const kLabels[] = {
      &&op_LoadConst,
      &&op_Pop,
      &&op_Dup,
      &&op_LoadLocal,
      &&op_StoreLocal,
      &&op_LoadUpvalue,
      &&op_StoreUpvalue,
      &&op_LoadGlobal,
      &&op_SetGlobal,
      &&op_DefineGlobal,
      &&op_Add,
      &&op_Sub,
      &&op_Mul,
      &&op_Div,
      &&op_Mod,
      &&op_Neg,
      &&op_Eq,
      &&op_NotEq,
      &&op_Lt,
      &&op_Le,
      &&op_Gt,
      &&op_Ge,
      &&op_Not,
      &&op_Jump,
      &&op_JumpIfFalse,
      &&op_JumpIfTrue,
      &&op_Call,
      &&op_TailCall,
      &&op_Return,
      &&op_MakeClosure,
      &&op_MakeClosureFromTemplate,
      &&op_MakeList,
      &&op_MakeVector,
      &&op_MakeMap,
      &&op_MakeSet,
      &&op_PushHandler,
      &&op_PopHandler,
      &&op_Perform,
      &&op_Resume,
      &&op_PerformOp,
      &&op_CallNative,
      &&op_LoadGlobalSlot,
      &&op_MakeVariant,
      &&op_InvalidOpcode,
      &&op_BadConstant,
      &&op_BadJump,
      &&op_EndOfCode,
      &&op_LoadLocalChecked,
      &&op_StoreLocalChecked,
      &&op_LocalConstCompareJump,
      &&op_LocalLocalCompareJump,
      &&op_LocalGlobalCompareJump,
      &&op_CompareJump,
      &&op_LocalConstAdd,
      &&op_LocalConstSub,
      &&op_LocalLocalAdd,
      &&op_LocalLocalSub,
      &&op_StoreLocalPair,
      &&op_GlobalSlotCall,
  };
  static_assert(std::size(kLabels) == kExecOpCount);

  FrameStack& frames = vm.frames_;
  OperandStack& stack = vm.stack_;
  if (frames.size() <= stop_depth) return make_err(VMError::stack_underflow());

  const uint32_t* code;  // the current frame's executable words
  const uint32_t* ip;
  const VMValue* consts;
  VMValue* sp;     // one past the top value
  VMValue* bp;     // local slot 0 of the current frame
  VMValue* floor;  // just past its locals: the frame pops nothing below
  uint32_t word;
  VMError err{};

#define SAVE()                                           \
  do {                                                   \
    stack.set_top(sp);                                   \
    frames.back().ip = static_cast<uint32_t>(ip - code); \
  } while (0)
// The current frame's code, constants and base; the stack top stays.
#define ENTER()                                     \
  do {                                              \
    const Frame& frame_ = frames.back();            \
    const ExecCode& exec_ = vm.exec_[frame_.proto]; \
    code = exec_.words.data();                      \
    ip = code + frame_.ip;                          \
    consts = exec_.constants;                       \
    bp = stack.begin_ptr() + frame_.base;           \
    floor = bp + exec_.num_locals;                  \
  } while (0)
#define LOAD()            \
  do {                    \
    sp = stack.top_ptr(); \
    ENTER();              \
  } while (0)
#define NEXT()                  \
  do {                          \
    word = *ip++;               \
    goto* kLabels[word & 0xFF]; \
  } while (0)
#define NEED(n)                           \
  do {                                    \
    if (sp < floor + (n)) goto underflow; \
  } while (0)
#define ROOM()                            \
  do {                                    \
    if (sp == stack.end_ptr()) goto grow; \
  } while (0)
// Runs a helper that works on the synced machine and may fail.
#define SYNCED(expr)                               \
  do {                                             \
    SAVE();                                        \
    auto result_ = (expr);                         \
    LOAD();                                        \
    if (!result_) {                                \
      take_error(err, std::move(result_).error()); \
      goto fail;                                   \
    }                                              \
  } while (0)
// Arithmetic and comparisons: `fast` when both operands are Ints and `also`
// holds, the full numeric tower otherwise.
#define BINARY(also, fast)                                 \
  do {                                                     \
    NEED(2);                                               \
    sp -= 2;                                               \
    if (sp[0].is_int() && sp[1].is_int() && (also)) {      \
      fast;                                                \
    } else if (!slow_binary(err, opcode_byte(word), sp)) { \
      goto fail;                                           \
    }                                                      \
    ++sp;                                                  \
    NEXT();                                                \
  } while (0)
// A fused LoadLocal, operand load, Add or Sub on Ints; `checked` is false
// for an Int constant.
#define LOCAL_ARITH(right, checked, op)                            \
  do {                                                             \
    ROOM();                                                        \
    const VMValue* x = bp + operand_a(word);                       \
    const VMValue* y = (right);                                    \
    if (!x->is_int() || ((checked) && !y->is_int())) goto unfused; \
    put_int(sp++, op(x->as_int(), y->as_int()));                   \
    ip += 2;                                                       \
    NEXT();                                                        \
  } while (0)
#define EQUALITY(negate)                                            \
  do {                                                              \
    NEED(2);                                                        \
    sp -= 2;                                                        \
    if (sp[0].is_int() && sp[1].is_int()) {                         \
      put_bool(sp, (sp[0].as_int() == sp[1].as_int()) != (negate)); \
    } else if (!slow_equal(vm, err, sp, negate)) {                  \
      goto fail;                                                    \
    }                                                               \
    ++sp;                                                           \
    NEXT();                                                         \
  } while (0)

  LOAD();
  NEXT();

op_LoadConst:
  ROOM();
  put(sp++, consts[operand_k16(word)]);
  NEXT();

op_Pop:
  NEED(1);
  --sp;
  NEXT();

op_Dup:
  NEED(1);
  ROOM();
  put(sp, sp[-1]);
  ++sp;
  NEXT();

op_LoadLocal:
  ROOM();
  put(sp++, bp[operand_a(word)]);
  NEXT();

op_StoreLocal:
  NEED(1);
  --sp;
  put(bp + operand_a(word), *sp);
  NEXT();

op_LoadLocalChecked : {
  ROOM();
  const VMValue* slot = bp + operand_a(word);
  if (slot >= sp) goto bad_local;
  put(sp++, *slot);
  NEXT();
}

op_StoreLocalChecked : {
  NEED(1);
  --sp;
  VMValue* slot = bp + operand_a(word);
  if (slot >= sp) goto bad_local;
  put(slot, *sp);
  NEXT();
}

op_LoadUpvalue:
  ROOM();
  SYNCED(load_upvalue(vm, operand_a(word)));
  NEXT();

op_StoreUpvalue:
  NEED(1);
  --sp;
  SYNCED(store_upvalue(vm, operand_a(word), *sp));
  NEXT();

op_LoadGlobal:
  ROOM();
  SYNCED(load_global(vm, consts[operand_k16(word)]));
  NEXT();

op_SetGlobal:
op_DefineGlobal:
  NEED(1);
  --sp;
  SYNCED(define_global(vm, consts[operand_k16(word)], *sp));
  NEXT();

op_Add:
  BINARY(true, put_int(sp, wrap_add(sp[0].as_int(), sp[1].as_int())));
op_Sub:
  BINARY(true, put_int(sp, wrap_sub(sp[0].as_int(), sp[1].as_int())));
op_Mul:
  BINARY(true, put_int(sp, wrap_mul(sp[0].as_int(), sp[1].as_int())));
op_Div:
  // An exact quotient by a positive divisor; everything else is exact
  // arithmetic (ratios, division by zero, the most negative integer).
  BINARY(sp[1].as_int() > 0 && sp[0].as_int() % sp[1].as_int() == 0,
         put_int(sp, sp[0].as_int() / sp[1].as_int()));
op_Mod:
  BINARY(sp[1].as_int() > 0, put_int(sp, sp[0].as_int() % sp[1].as_int()));
op_Lt:
  BINARY(true, put_bool(sp, sp[0].as_int() < sp[1].as_int()));
op_Gt:
  BINARY(true, put_bool(sp, sp[0].as_int() > sp[1].as_int()));
op_Le:
  BINARY(true, put_bool(sp, sp[0].as_int() <= sp[1].as_int()));
op_Ge:
  BINARY(true, put_bool(sp, sp[0].as_int() >= sp[1].as_int()));

op_Neg:
  NEED(1);
  if (!slow_neg(err, sp - 1)) {
    --sp;
    goto fail;
  }
  NEXT();

op_Eq:
  EQUALITY(false);
op_NotEq:
  EQUALITY(true);

op_Not:
  NEED(1);
  put_bool(sp - 1, !sp[-1].is_truthy());
  NEXT();

op_Jump:
  ip += operand_s16(word);
  NEXT();

op_JumpIfFalse:
  NEED(1);
  --sp;
  if (!sp->is_truthy()) ip += operand_s16(word);
  NEXT();

op_JumpIfTrue:
  NEED(1);
  --sp;
  if (sp->is_truthy()) ip += operand_s16(word);
  NEXT();

op_Call : {
  // Fast path: a closure whose single clause has plain parameters and takes
  // exactly these arguments, which already are its first locals.
  const size_t argc = operand_a(word);
  NEED(static_cast<ptrdiff_t>(argc) + 1);
  const VMValue& callee = sp[-1];
  if (!callee.is_heap()) goto op_TailCall;
  if (callee.payload0() != vm.plain_callee_.key && !remember_plain_callee(vm, callee.as_heap())) {
    goto op_TailCall;
  }
  const VM::PlainCallee& plain = vm.plain_callee_;
  VMValue* base = sp - 1 - argc;
  if (plain.arity != argc || frames.size() >= VM::kMaxFrames ||
      base + plain.num_locals > stack.end_ptr()) {
    goto op_TailCall;
  }
  const HeapKey key = callee.as_heap();
  SAVE();
  for (sp = base + argc; sp < base + plain.num_locals; ++sp) put_nil(sp);
  Frame& frame = frames.push();
  frame.proto = plain.proto;
  frame.base = static_cast<size_t>(base - stack.begin_ptr());
  frame.closure = key;
  ENTER();
  NEXT();
}

op_TailCall : {
  NEED(static_cast<ptrdiff_t>(operand_a(word)) + 1);
  SAVE();
  auto returns = Calls::do_call(vm, operand_a(word),
                                opcode_byte(word) == static_cast<uint8_t>(OpCode::TailCall));
  LOAD();
  if (!returns) {
    take_error(err, std::move(returns).error());
    goto fail;
  }
  if (*returns) goto op_Return;
  NEXT();
}

op_Return : {
  // Frames of running handler functions and resumed continuations are
  // finished by the effect machinery, which does not exist yet.
  NEED(1);
  const Raw result = raw_of(sp[-1]);
  sp = bp;
  frames.pop_back();
  if (frames.size() <= stop_depth) {
    stack.set_top(sp);
    VMValue value;
    put_raw(&value, result);
    return value;
  }
  put_raw(sp++, result);
  ENTER();
  NEXT();
}

op_MakeClosure:
  SYNCED(make_closure(vm, operand_k16(word), operand_c(word)));
  NEXT();

op_MakeClosureFromTemplate:
  SYNCED(make_closure_from_template(vm, consts[operand_k16(word)], operand_c(word)));
  NEXT();

op_MakeList:
op_MakeVector:
op_MakeMap:
op_MakeSet:
  SYNCED(make_collection(vm, opcode_byte(word), operand_k16(word)));
  NEXT();

op_PushHandler:
  NEED(1);
  --sp;
  goto no_effects;

op_PopHandler:
  goto no_effects;

op_Perform:
  SYNCED(perform(vm, consts[operand_k16(word)], nullptr, operand_c(word)));
  NEXT();

op_PerformOp:
  SYNCED(perform(vm, consts[operand_a(word)], &consts[operand_b(word)], operand_c(word)));
  NEXT();

op_Resume:
  NEED(2);
  sp -= 2;
  SYNCED(resume(vm, sp[0]));
  NEXT();

op_CallNative : {
  NEED(operand_c(word));
  SAVE();
  auto called = Calls::do_call_native(vm, operand_k16(word), operand_c(word), false);
  LOAD();
  if (!called) {
    take_error(err, std::move(called).error());
    goto fail;
  }
  NEXT();
}

op_LoadGlobalSlot : {
  ROOM();
  const uint16_t slot = operand_k16(word);
  if (slot >= vm.globals_.size() || !vm.globals_[slot].bound) {
    take_error(err, undefined_slot(vm, slot));
    goto fail;
  }
  put(sp++, vm.globals_[slot].value);
  NEXT();
}

op_MakeVariant:
  SYNCED(make_variant(vm, operand_k16(word), operand_c(word)));
  NEXT();

op_InvalidOpcode:
op_BadConstant:
op_BadJump:
op_EndOfCode:
  take_error(err, bad_code(word));
  goto fail;

op_LocalConstCompareJump : {
  const VMValue* x = bp + operand_a(word);
  const VMValue* y = consts + operand_k16(ip[0]);  // an Int: checked at load time
  if (!x->is_int()) goto unfused;
  const bool holds = int_compare(word, x->as_int(), y->as_int());
  const int16_t offset = operand_s16(ip[2]);
  ip += 3;
  if (!holds) ip += offset;
  NEXT();
}

op_LocalLocalCompareJump : {
  const VMValue* x = bp + operand_a(word);
  const VMValue* y = bp + operand_a(ip[0]);
  if (!x->is_int() || !y->is_int()) goto unfused;
  const bool holds = int_compare(word, x->as_int(), y->as_int());
  const int16_t offset = operand_s16(ip[2]);
  ip += 3;
  if (!holds) ip += offset;
  NEXT();
}

op_LocalGlobalCompareJump : {
  const VMValue* x = bp + operand_a(word);
  const uint16_t slot = operand_k16(ip[0]);
  // The slot exists (checked at load time); an unbound one holds nil.
  const VM::GlobalSlot& global = vm.globals_[slot];
  if (!x->is_int() || !global.value.is_int()) goto unfused;
  const bool holds = int_compare(word, x->as_int(), global.value.as_int());
  const int16_t offset = operand_s16(ip[2]);
  ip += 3;
  if (!holds) ip += offset;
  NEXT();
}

op_CompareJump : {
  if (sp < floor + 2 || !sp[-2].is_int() || !sp[-1].is_int()) goto unfused;
  sp -= 2;
  const bool holds = int_compare(word, sp[0].as_int(), sp[1].as_int());
  const int16_t offset = operand_s16(ip[0]);
  ip += 1;
  if (!holds) ip += offset;
  NEXT();
}

op_LocalConstAdd:
  LOCAL_ARITH(consts + operand_k16(ip[0]), false, wrap_add);
op_LocalConstSub:
  LOCAL_ARITH(consts + operand_k16(ip[0]), false, wrap_sub);
op_LocalLocalAdd:
  LOCAL_ARITH(bp + operand_a(ip[0]), true, wrap_add);
op_LocalLocalSub:
  LOCAL_ARITH(bp + operand_a(ip[0]), true, wrap_sub);

op_StoreLocalPair : {
  VMValue* first = bp + operand_a(word);
  VMValue* second = bp + operand_a(ip[0]);
  if (sp < floor + 2) goto unfused;
  put(first, sp[-1]);
  put(second, sp[-2]);
  sp -= 2;
  // With a Jump in the sequence, C is 1: it is taken right away.
  const uint32_t jumps = operand_c(word);
  ip += 1 + jumps;
  if (jumps) ip += operand_s16(ip[-1]);
  NEXT();
}

op_GlobalSlotCall : {
  ROOM();
  const VM::GlobalSlot& global = vm.globals_[operand_k16(word)];  // exists: checked at load time
  if (!global.bound) goto unfused;
  put(sp++, global.value);
  word = *ip++;
  goto op_Call;
}

unfused:
  // The fused sequence needs the general path: run its first instruction.
  word = unfused_word(vm, ip);
  goto* kLabels[word & 0xFF];

bad_local:
  take_error(err, VMError::index_out_of_bounds(bp + operand_a(word) - stack.begin_ptr(),
                                               static_cast<uint64_t>(sp - stack.begin_ptr())));
  goto fail;

no_effects:
  take_error(err, effects_not_available());
  goto fail;

grow:
  // Executes the instruction again once there is room.
  --ip;
  SAVE();
  stack.reserve(1);
  LOAD();
  NEXT();

underflow:
  take_error(err, underflow_error());
  goto fail;

fail:
  SAVE();
  if (offer_errors) {
    auto left = try_raise_error(vm, std::move(err));
    if (!left) {
      LOAD();
      NEXT();
    }
    return make_err(std::move(*left));
  }
  return make_err(std::move(err));

#undef SAVE
#undef ENTER
#undef LOAD
#undef NEXT
#undef NEED
#undef ROOM
#undef SYNCED
#undef BINARY
#undef EQUALITY
#undef LOCAL_ARITH
}

bool Interpreter::remember_plain_callee(VM& vm, HeapKey key) {
  const auto* closure = std::get_if<Closure>(vm.heap_.get(key));
  if (!closure || !closure->clauses || closure->clauses->size() != 1) return false;
  const ClauseInfo& clause = closure->clauses->front();
  if (clause.variadic || clause.guard || !clause.patterns.empty() ||
      clause.proto >= vm.prototypes_.size()) {
    return false;
  }
  const uint16_t locals = vm.prototypes_[clause.proto].num_locals;
  if (locals < clause.arity) return false;
  vm.plain_callee_ = {VMValue::heap(key).payload0(), clause.proto, locals, clause.arity};
  return true;
}

size_t Interpreter::temporaries(const VM& vm) {
  const Frame& frame = vm.frames_.back();
  const size_t floor = frame.base + vm.exec_[frame.proto].num_locals;
  return vm.stack_.size() > floor ? vm.stack_.size() - floor : 0;
}

uint32_t Interpreter::unfused_word(const VM& vm, const uint32_t* ip) {
  const uint32_t proto = vm.frames_.back().proto;
  return vm.prototypes_[proto].code[static_cast<size_t>(ip - 1 - vm.exec_[proto].words.data())];
}

Result<VMValue, VMErrorInfo> Interpreter::execute_rich(VM& vm) {
  auto result = execute(vm, vm.frames_.size() - 1, true);
  if (!result) return make_err(make_error(vm, std::move(result).error()));
  return *result;
}

Result<VMValue, VMError> Interpreter::execute_until_depth(VM& vm, const MachineMark& mark) {
  auto result = execute(vm, mark.frames, true);
  if (!result) unwind_nested(vm, mark);
  return result;
}

Result<bool, VMError> Interpreter::eval_guard(VM& vm, uint32_t guard, HeapKey closure,
                                              size_t locals_at, size_t count) {
  if (!StackGuard::has_room()) {
    return make_err(VMError::value_error(std::string(kStackOverflowMessage)));
  }
  if (guard >= vm.prototypes_.size()) {
    return make_err(VMError::value_error("invalid bytecode: prototype index out of range"));
  }
  const MachineMark mark{vm.stack_.size(), vm.frames_.size(), vm.handlers_.size()};
  OperandStack& stack = vm.stack_;
  stack.reserve(count);
  for (size_t i = 0; i < count; ++i) stack.push(stack[locals_at + i]);
  const size_t num_locals = vm.prototypes_[guard].num_locals;
  if (num_locals > count) stack.push_nils(num_locals - count);
  auto pushed = Calls::push_frame(vm, guard, mark.stack_len, closure, false);
  if (!pushed) {
    stack.truncate(mark.stack_len);
    return make_err(std::move(pushed).error());
  }
  auto result = execute(vm, mark.frames, false);
  if (!result) {
    unwind_nested(vm, mark);
    return make_err(std::move(result).error());
  }
  stack.truncate(mark.stack_len);
  vm.handlers_.resize(std::min(vm.handlers_.size(), mark.handlers));
  return result->is_truthy();
}

// --- Instructions ---------------------------------------------------------

Result<Unit, VMError> Interpreter::load_upvalue(VM& vm, uint8_t index) {
  const auto& closure_key = vm.frames_.back().closure;
  if (!closure_key) return make_err(VMError::type_error("no closure for upvalue access"));
  const auto* closure = std::get_if<Closure>(vm.heap_.get(*closure_key));
  if (!closure) return make_err(VMError::type_error("expected closure"));
  if (index >= closure->upvalues.size()) {
    return make_err(VMError::index_out_of_bounds(index, closure->upvalues.size()));
  }
  vm.stack_.push(closure->upvalues[index]);
  return Unit{};
}

Result<Unit, VMError> Interpreter::store_upvalue(VM& vm, uint8_t index, const VMValue& value) {
  const auto& closure_key = vm.frames_.back().closure;
  if (!closure_key) return make_err(VMError::type_error("no closure for upvalue access"));
  auto* closure = std::get_if<Closure>(vm.heap_.get_mut(*closure_key));
  if (!closure) return make_err(VMError::type_error("expected closure"));
  if (index >= closure->upvalues.size()) {
    return make_err(VMError::index_out_of_bounds(index, closure->upvalues.size()));
  }
  closure->upvalues[index] = value;
  return Unit{};
}

Result<Unit, VMError> Interpreter::load_global(VM& vm, const VMValue& name) {
  if (!name.is_symbol()) return make_err(VMError::type_error("expected symbol"));
  auto value = vm.get_global(name.name_key());
  if (!value) {
    return make_err(VMError::undefined_variable(std::string(vm.interner_.text(name.name_key()))));
  }
  vm.stack_.push(*value);
  return Unit{};
}

Result<Unit, VMError> Interpreter::resume(VM& vm, const VMValue& continuation) {
  const HeapObject* object =
      continuation.is_heap() ? vm.heap_.get(continuation.as_heap()) : nullptr;
  if (object && kind_of(*object) == HeapKind::Continuation) {
    return make_err(effects_not_available());
  }
  return make_err(VMError::type_error("expected continuation"));
}

Result<Unit, VMError> Interpreter::define_global(VM& vm, const VMValue& name,
                                                 const VMValue& value) {
  if (!name.is_symbol()) return make_err(VMError::type_error("expected symbol"));
  if (value.is_heap()) {
    auto* effect = std::get_if<EffectObject>(vm.heap_.get_mut(value.as_heap()));
    if (effect && !effect->name) effect->name = name.name_key();
  }
  vm.set_global(name.name_key(), value);
  return Unit{};
}

VMError Interpreter::undefined_slot(const VM& vm, uint16_t slot) {
  const uint32_t name = slot < vm.globals_.size() ? vm.globals_[slot].name : 0;
  if (name == 0) return VMError::undefined_variable("global slot " + std::to_string(slot));
  return VMError::undefined_variable(std::string(vm.interner_.text(name)));
}

Result<Unit, VMError> Interpreter::make_closure(VM& vm, uint16_t proto, uint8_t count) {
  OperandStack& stack = vm.stack_;
  if (temporaries(vm) < count) return make_err(VMError::stack_underflow());
  const size_t first = stack.size() - count;
  if (proto >= vm.prototypes_.size()) {
    stack.truncate(first);
    return make_err(VMError::value_error("invalid bytecode: prototype index out of range"));
  }
  Closure closure{vm.exec_[proto].single_clause,
                  std::vector<VMValue>(stack.top_ptr() - count, stack.top_ptr())};
  const HeapKey key = vm.alloc(std::move(closure));
  stack.truncate(first);
  stack.push(VMValue::heap(key));
  return Unit{};
}

Result<Unit, VMError> Interpreter::make_closure_from_template(VM& vm, const VMValue& constant,
                                                              uint8_t count) {
  OperandStack& stack = vm.stack_;
  if (temporaries(vm) < count) return make_err(VMError::stack_underflow());
  const size_t first = stack.size() - count;
  if (!constant.is_heap()) {
    stack.truncate(first);
    return make_err(VMError::type_error("expected closure template constant"));
  }
  const auto* tmpl = std::get_if<ClosureTemplate>(vm.heap_.get(constant.as_heap()));
  if (!tmpl) {
    stack.truncate(first);
    return make_err(VMError::type_error("expected closure template"));
  }
  Closure closure{tmpl->clauses, std::vector<VMValue>(stack.top_ptr() - count, stack.top_ptr())};
  const HeapKey key = vm.alloc(std::move(closure));
  stack.truncate(first);
  stack.push(VMValue::heap(key));
  return Unit{};
}

// The values stay on the stack until the new object is stored; a collection
// during the allocation also keeps the object's children alive.
Result<Unit, VMError> Interpreter::make_collection(VM& vm, uint8_t opcode, uint16_t count) {
  OperandStack& stack = vm.stack_;
  const auto op = static_cast<OpCode>(opcode);
  const size_t values = op == OpCode::MakeMap ? 2 * size_t{count} : count;
  if (temporaries(vm) < values) return make_err(VMError::stack_underflow());
  const size_t first = stack.size() - values;
  const VMValue* begin = stack.top_ptr() - values;
  const VMValue* end = stack.top_ptr();
  HeapObject object;
  if (op == OpCode::MakeMap) {
    VMMap map;
    for (const VMValue* p = begin; p != end; p += 2) {
      map = std::move(map).insert(vm.heap_.canonicalize_key(p[0]), p[1]);
    }
    object = std::move(map);
  } else if (op == OpCode::MakeSet) {
    VMSet set;
    for (const VMValue* p = begin; p != end; ++p) {
      set = std::move(set).insert(vm.heap_.canonicalize_key(*p));
    }
    object = std::move(set);
  } else {
    object = SeqData{PVector<VMValue>::from_range(begin, end), op == OpCode::MakeVector};
  }
  const HeapKey key = vm.alloc(std::move(object));
  stack.truncate(first);
  stack.push(VMValue::heap(key));
  return Unit{};
}

Result<Unit, VMError> Interpreter::make_variant(VM& vm, uint16_t type, uint8_t variant) {
  const TypeDef* def = vm.types_.get(type);
  if (!def) return make_err(VMError::type_error("unknown variant type"));
  if (variant >= def->variants.size()) {
    return make_err(VMError::type_error("unknown variant"));
  }
  const VariantDef& vdef = def->variants[variant];
  OperandStack& stack = vm.stack_;
  const size_t count = vdef.fields.size();
  if (count == 0) {
    if (!vdef.singleton) return make_err(VMError::type_error("unknown variant"));
    stack.push(VMValue::heap(*vdef.singleton));
    return Unit{};
  }
  if (temporaries(vm) < count) return make_err(VMError::stack_underflow());
  const size_t first = stack.size() - count;
  VariantObject object{VariantObject::make_tag(type, variant),
                       std::vector<VMValue>(stack.top_ptr() - count, stack.top_ptr())};
  const HeapKey key = vm.alloc(std::move(object));
  stack.truncate(first);
  stack.push(VMValue::heap(key));
  return Unit{};
}

Result<uint64_t, VMError> Interpreter::resolve_effect(const VM& vm, uint32_t name) {
  auto value = vm.get_global(name);
  if (!value) return make_err(VMError::undefined_variable(std::string(vm.interner_.text(name))));
  const auto* effect =
      value->is_heap() ? std::get_if<EffectObject>(vm.heap_.get(value->as_heap())) : nullptr;
  if (!effect) return make_err(VMError::type_error("expected effect"));
  return effect->id;
}

Result<Unit, VMError> Interpreter::perform(VM& vm, const VMValue& effect, const VMValue* op,
                                           uint8_t argc) {
  OperandStack& stack = vm.stack_;
  if (temporaries(vm) < argc) return make_err(VMError::stack_underflow());
  const std::vector<VMValue> args(stack.top_ptr() - argc, stack.top_ptr());
  stack.truncate(stack.size() - argc);
  if (!effect.is_symbol()) return make_err(VMError::type_error("expected symbol for effect"));
  if (op && !op->is_symbol()) return make_err(VMError::type_error("expected symbol for operation"));
  auto id = resolve_effect(vm, effect.name_key());
  if (!id) return make_err(std::move(id).error());
  return handle_effect(vm, *id, op ? op->name_key() : 0, args);
}

}  // namespace quorvel
