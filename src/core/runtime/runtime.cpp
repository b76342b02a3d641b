#include "runtime/runtime.h"

#include <utility>
#include <vector>

#include "compiler/compiler.h"
#include "natives/table.h"
#include "reader.h"
#include "runtime/prelude.h"

namespace quorvel {

EvalError EvalError::runtime(VMError error) {
  return EvalError{VMErrorInfo{std::move(error), std::nullopt, {}}};
}

std::string EvalError::display() const {
  struct Visitor {
    std::string operator()(const Error& e) const { return e.display(); }
    std::string operator()(const CompileError& e) const { return "compile error: " + e.display(); }
    std::string operator()(const VMErrorInfo& e) const { return e.display(); }
  };
  return std::visit(Visitor{}, payload);
}

Runtime::Runtime() : vm_(std::make_unique<VM>(build_native_table())) {}

std::unique_ptr<Runtime> Runtime::create() {
  return std::unique_ptr<Runtime>(new Runtime());
}

Result<std::unique_ptr<Runtime>, EvalError> Runtime::with_stdlib() {
  auto runtime = create();
  auto loaded = runtime->load_stdlib();
  if (!loaded) return make_err(std::move(loaded).error());
  return runtime;
}

Result<Unit, EvalError> Runtime::load_stdlib() {
  const uint32_t source = vm_->interner().intern(kStdlibSourceName);
  auto result = eval_str_with_source(kPreludeText, source);
  if (!result) return make_err(std::move(result).error());
  if (auto id = vm_->types().find(vm_->interner().intern("ReduceSignal"))) {
    vm_->reduce_signal_type = *id;
  }
  return Unit{};
}

Result<VMValue, EvalError> Runtime::eval_str(std::string_view text) {
  return eval_str_with_source(text, vm_->interner().intern(kEvalSourceName));
}

Result<VMValue, EvalError> Runtime::eval_str_with_source(std::string_view text, uint32_t source) {
  Reader reader(std::string(text), source);
  auto forms = reader.read_all();
  if (!forms) return make_err(EvalError{std::move(forms).error()});
  VMValue last = VMValue::nil();
  for (const Value& form : *forms) {
    auto result = eval_expr(form);
    if (!result) return result;
    last = *result;
  }
  return last;
}

Result<VMValue, EvalError> Runtime::eval_expr(const Value& form) {
  auto compiler = Compiler::with_vm(*vm_);
  auto compiled = compiler.compile(form);
  if (!compiled) return make_err(EvalError{std::move(compiled).error()});
  CompileOutput output = std::move(compiler).finish();

  for (auto& [name, doc] : output.docs) vm_->docs()[name] = std::move(doc);

  // The constants move into the machine's heap; the prototypes then refer
  // to the imported objects and to prototype indexes counted from `base`.
  const auto base = static_cast<uint32_t>(vm_->prototypes().size());
  const HeapKeyMap imported = vm_->heap().import_from(std::move(output.constants));
  vm_->heap().offset_proto_refs(base, imported);
  for (Prototype& proto : output.prototypes) {
    proto.remap_heap_keys(imported);
    proto.offset_proto_refs(base);
    vm_->add_prototype(std::move(proto));
  }

  auto result = vm_->run(*compiled + base);
  if (!result) return make_err(EvalError{std::move(result).error()});
  return *result;
}

void Runtime::define(std::string_view name, VMValue value) {
  vm_->set_global(vm_->interner().intern(name), value);
}

Result<Unit, EvalError> Runtime::define_fn(std::string name, HostFunction function) {
  auto registered = vm_->register_dynamic_native(std::move(name), std::move(function));
  if (!registered) return make_err(EvalError::runtime(std::move(registered).error()));
  return Unit{};
}

std::optional<uint64_t> Runtime::get_effect_id(std::string_view name) const {
  return vm_->get_effect_id(name);
}

Result<Unit, EvalError> Runtime::register_native_handler_by_name(std::string_view effect,
                                                                 HostHandler handler) {
  const auto id = vm_->get_effect_id(effect);
  if (!id) return make_err(EvalError::runtime(VMError::type_error("effect not found")));
  vm_->set_host_handler(*id, std::move(handler));
  return Unit{};
}

}  // namespace quorvel
