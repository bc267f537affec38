// Inventory items: the TInvItem and item types, their handler-call
// marshalling, and the functions on item variables.
#include <cstring>
#include <string>

#include "world/bindings/item_types.h"
#include "world/bindings/natives.h"
#include "world/globals.h"
#include "world/world.h"

namespace bindings {

namespace {

constexpr uint32_t kInInventory = 1u << 16;
constexpr uint32_t kUsed = 1u << 17;
constexpr uint32_t kExaminedMask = 0xFFFF;

template <uint32_t kSize>
uint8_t* Zeros(uint8_t* sp) {
  std::memset(sp, 0, kSize);
  return sp + kSize;
}

template <uint32_t kSize>
uint8_t* Copy(uint8_t* sp, ScriptAddr source) {
  if (const uint8_t* bytes = ScriptDeref(source, kSize)) std::memcpy(sp, bytes, kSize);
  return sp + kSize;
}

// The item variable whose container is `handle`.
const SGlobalVariable* VariableOf(uint32_t handle) {
  CScriptBindings* bindings = Running();
  if (!handle || !bindings || !bindings->globals) return nullptr;
  for (const SGlobalVariable& variable : bindings->globals->Variables()) {
    if (variable.kind != EGlobalKind::kItem) continue;
    if (Peek<SItemRecord>(variable.storage).container == handle) return &variable;
  }
  return nullptr;
}

// The item variable named `name`.
const SGlobalVariable* VariableNamed(const std::string& name) {
  CScriptBindings* bindings = Running();
  if (!bindings || !bindings->globals) return nullptr;
  for (const SGlobalVariable& variable : bindings->globals->Variables())
    if (variable.kind == EGlobalKind::kItem && variable.name == name) return &variable;
  return nullptr;
}

std::unique_ptr<CWObject> LoadItem(CWorld* world, StoreHandle own, StoreHandle templ, ErrCode*) {
  return std::make_unique<CWObject>(world, own, templ);
}
const SLoaderRow kItemLoaders[] = {{"Inventory Item", LoadItem}};

// Runs an item's handler on a temporary object made from its container.
void CallItem(const SGlobalVariable& variable, const char* handler) {
  CWorld* world = RunningWorld();
  if (!world) return;
  ErrCode error = err::kOk;
  const uint32_t handle = Peek<SItemRecord>(variable.storage).container;
  if (std::unique_ptr<CWObject> item =
          world->CreateObject(variable.name, handle, kItemLoaders, &error))
    item->Call(handler, "void");
}

// Reads the item argument; the variable it names and its record.
struct SItemArg {
  const SGlobalVariable* variable;
  SItemRecord record;
  void Store() const { Poke(variable->storage, record); }
};
SItemArg ItemArg(uint8_t** sp) {
  CArgs args(sp, 4);
  const SGlobalVariable* variable = VariableOf(static_cast<uint32_t>(args.Int()));
  return {variable, variable ? Peek<SItemRecord>(variable->storage) : SItemRecord{}};
}

// A test of the item's state: bool(item).
template <uint32_t kBit>
uint8_t* StateBit(uint8_t* sp) {
  const SItemArg item = ItemArg(&sp);
  Push<uint8_t>(sp, (item.record.state & kBit) != 0);
  return sp;
}

}  // namespace

uint8_t* InvItemVoid(uint8_t* sp) { return Zeros<8>(sp); }
uint8_t* InvItemCopy(uint8_t* sp, ScriptAddr source) { return Copy<8>(sp, source); }
uint8_t* InvItemPop(uint8_t* sp) { return sp - 8; }
uint8_t* ItemVoid(uint8_t* sp) { return Zeros<4>(sp); }
uint8_t* ItemCopy(uint8_t* sp, ScriptAddr source) { return Copy<4>(sp, source); }
uint8_t* ItemPop(uint8_t* sp) { return sp - 4; }

uint8_t* InvItemToItem(uint8_t* sp) {
  const auto record = Pop<SItemRecord>(sp);
  Push(sp, record.container);
  return sp;
}

uint8_t* ItemAssign(uint8_t* sp) {
  const auto handle = Pop<uint32_t>(sp);
  const auto target = Pop<ScriptAddr>(sp);
  if (uint8_t* bytes = ScriptDeref(target, 4)) Poke(bytes, handle);
  return sp;
}

uint8_t* InvAdd(uint8_t* sp) {
  SItemArg item = ItemArg(&sp);
  if (!item.variable || (item.record.state & kInInventory)) return sp;
  item.record.state |= kInInventory;
  item.Store();
  CallItem(*item.variable, "OnAdd");
  return sp;
}

uint8_t* InvRemove(uint8_t* sp) {
  SItemArg item = ItemArg(&sp);
  if (!item.variable || !(item.record.state & kInInventory)) return sp;
  item.record.state &= ~kInInventory;
  item.Store();
  CallItem(*item.variable, "OnRemove");
  return sp;
}

uint8_t* IsItemInInv(uint8_t* sp) { return StateBit<kInInventory>(sp); }
uint8_t* IsInvItemUsed(uint8_t* sp) { return StateBit<kUsed>(sp); }

uint8_t* InvTimesExamined(uint8_t* sp) {
  const SItemArg item = ItemArg(&sp);
  Push<int32_t>(sp, item.variable ? static_cast<int32_t>(item.record.state & kExaminedMask) : -1);
  return sp;
}

uint8_t* InvExamine(uint8_t* sp) {
  const SItemArg item = ItemArg(&sp);
  if (!item.variable) return sp;
  CallItem(*item.variable, "OnExamine");
  // The handler may have changed the record: count on what it left.
  SItemRecord record = Peek<SItemRecord>(item.variable->storage);
  record.state = (record.state & ~kExaminedMask) | ((record.state + 1) & kExaminedMask);
  Poke(item.variable->storage, record);
  return sp;
}

uint8_t* InvUse(uint8_t* sp) {
  SItemArg item = ItemArg(&sp);
  if (!item.variable) return sp;
  item.record.state |= kUsed;
  item.Store();
  return sp;
}

uint8_t* InvItem(uint8_t* sp) {
  CArgs args(&sp, 4);
  const SGlobalVariable* variable = VariableNamed(args.Text());
  args.Result(variable ? Peek<SItemRecord>(variable->storage).container : 0u);
  return sp;
}

uint8_t* GetInvItem(uint8_t* sp) {
  CArgs args(&sp, 8);
  const SGlobalVariable* variable = VariableNamed(args.Text());
  uint8_t* out = variable ? Out(args.Addr(), 4) : nullptr;
  if (out) Poke(out, Peek<SItemRecord>(variable->storage).container);
  args.Result(out != nullptr);
  return sp;
}

bool MarshalItems(uint16_t type, uint8_t** sp, CTempCursor* temp, const SCallArg** args) {
  const uint16_t id = TypeId(type);
  const uint32_t size = id == kInvItemType ? 8 : id == kItemType ? 4 : 0;
  if (!size) return false;
  const SCallArg& arg = *(*args)++;
  ScriptAddr address = 0;
  if (!sp) {
    const uint8_t* slot = IsAddress(type) ? temp->Take(size, &address) : nullptr;
    if (slot && arg.pointer) std::memcpy(arg.pointer, slot, size);
    return true;
  }
  if (!IsAddress(type)) {
    std::memcpy(*sp, arg.value, size);
    *sp += size;
    return true;
  }
  uint8_t* slot = temp->Take(size, &address);
  if (!slot || !arg.pointer) return false;
  std::memcpy(slot, arg.pointer, size);
  Push(*sp, address);
  return true;
}

}  // namespace bindings
