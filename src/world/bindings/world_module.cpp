#include <vector>

#include "world/bindings/item_types.h"
#include "world/bindings/natives.h"

using rows::Cast;
using rows::Entry;
using rows::Fn;

namespace bindings {
namespace {

// Slot 200 on, in registration order: never reorder, only append.
const SRow kWorldFunctions[] = {
    rows::Type("TInvItem", kInvItemType, 8),
    rows::Type("item", kItemType, 4),
    rows::Op("&", 1, EOpKind::kInfix),
    rows::Op("|", 1, EOpKind::kInfix),
    rows::Op("^", 1, EOpKind::kInfix),
    rows::Op("~", 1, EOpKind::kPrefix),
    Fn("GoToView", "void, str, int, int", GoToView),
    Fn("StartConversation", "void, str", StartConversation),
    Fn("SetCursor", "void, str", SetCursor),
    Fn("UpdateAll", "void", UpdateAll),
    Fn("DissolveToView", "void, str, int, int", DissolveToView),
    Fn("DissolveToImage", "void, str", DissolveToImage),
    Fn("SetExamineText", "void, str, int", SetExamineNumber),
    Fn("GetInt", "bool, str, int*", GetInt<false>),
    Fn("GetSubHandle", "bool, str, int*", GetSubHandle),
    Fn("GetStr", "bool, str, str*", GetStr<false>),
    Fn("InvShow", "void", PendingNative),
    Fn("InvHide", "void", PendingNative),
    Fn("Wait", "void, int", Wait),
    Fn("UpdateObject", "void, str", UpdateObject),
    Fn("Update", "void", Update),
    Entry(ERow::kVoidCons, kInvItemType, InvItemVoid),
    Entry(ERow::kAddrCons, kInvItemType, InvItemCopy),
    Entry(ERow::kDestructor, kInvItemType, InvItemPop),
    Fn("InvAdd", "void, item", InvAdd),
    Fn("InvRemove", "void, item", InvRemove),
    Fn("IsItemInInv", "bool, item", IsItemInInv),
    Fn("InvTimesExamined", "int, item", InvTimesExamined),
    Fn("InvExamine", "void, item", InvExamine),
    Fn("InvAddVisual", "void, item", PendingNative),
    Fn("IsInvItemUsed", "bool, item", IsInvItemUsed),
    Fn("InvUse", "void, item", InvUse),
    Fn("GetState", "int", GetState<false>),
    Fn("GetState", "int, str", GetState<true>),
    Fn("SetState", "void, int", SetState<false>),
    Fn("SetState", "void, str, int", SetState<true>),
    Entry(ERow::kVoidCons, kItemType, ItemVoid),
    Entry(ERow::kAddrCons, kItemType, ItemCopy),
    Entry(ERow::kDestructor, kItemType, ItemPop),
    Cast(kInvItemType, kItemType, 10, InvItemToItem),
    Fn("InvItem", "item, str", InvItem),
    Fn("GetInvItem", "bool, str, item*", GetInvItem),
    Fn("=", "void, item*, item", ItemAssign),
    Fn("PlaySoundCh", "void, str, int", PendingNative),
    Fn("PlaySoundCh", "void, str, int, int", PendingNative),
    Fn("PlaySoundVol", "int, str, int", PendingNative),
    Fn("IsPlaying", "bool, int", PendingNative),
    Fn("SetVolume", "void, int, int", PendingNative),
    Fn("SetFixedChannels", "void, int", PendingNative),
    Fn("SetExamineText", "void, str, str", SetExamineText),
    Fn("Activate", "void, str, bool", Activate),
    Fn("IsActive", "bool, str", IsActive),
    Fn("SetVolume", "void, str, int, int", PendingNative),
    Fn("SetInOutTime", "void, str, int, int", SetInOutTime),
    Fn("SetTime", "void, str, int", SetTime),
    Fn("SetIntTime", "void, str, int", SetIntTime),
    Fn("Time", "int", Time),
    Fn("SaveGame", "void", PendingNative),
    Fn("QuitGame", "void", QuitGame),
    Fn("GGetStr", "bool, str, str*", GGetStr),
    Fn("GGetInt", "bool, str, int*", GGetInt),
    Fn("GetInt", "bool, str, str, int*", GetInt<true>),
    Fn("GetStr", "bool, str, str, str*", GetStr<true>),
    Fn("GetPos", "bool, TRect*", GetPos<false>),
    Fn("GetPos", "bool, str, TRect*", GetPos<true>),
    Fn("Move", "bool, int, int", Move<false>),
    Fn("Move", "bool, str, int, int", Move<true>),
    Fn("GetRect", "bool, str, TRect*", GetRect<false>),
    Fn("GetRect", "bool, str, str, TRect*", GetRect<true>),
    Fn("GetPoint", "bool, str, TPoint*", GetPoint<false>),
    Fn("GetPoint", "bool, str, str, TPoint*", GetPoint<true>),
    Fn("ShowMouse", "void", ShowMouse),
    Fn("HideMouse", "void", HideMouse),
    Fn("IToA", "str, int", IToA),
    Fn("AToI", "int, str", AToI),
    Fn("Exec", "void, str", Exec),
    Fn("Exec", "void, str, str", ExecObject),
    Fn("FileExist", "bool, str", FileExist),
    Fn("SetPos", "bool, TRect", SetPos<false>),
    Fn("SetPos", "bool, str, TRect", SetPos<true>),
    Fn("CreateObject", "bool, str", CreateObject),
    Fn("TestBit", "bool, int, int", TestBit),
    Fn("&", "int, int, int", BitAnd),
    Fn("|", "int, int, int", BitOr),
    Fn("^", "int, int, int", BitXor),
    Fn("~", "int, int", BitNot),
    Fn("SHL", "int, int, int", Shl),
    Fn("SHR", "int, int, int", Shr),
    Fn("GetWord", "str, str, int, str", GetWord),
    Fn("GetNumWords", "int, str, str", GetNumWords),
    Fn("MoveRect", "TRect, TRect, int, int", MoveRect),
    Fn("OffsetRect", "TRect, TRect, int, int", OffsetRect),
    Fn("StrLen", "int, str", StrLen),
    Fn("StrGetChr", "str, str, int", StrGetChr),
    Fn("Int", "int, str", Int),
    Fn("Chr", "str, int", Chr),
    Fn("StrCat", "void, str*, int", StrCatInt),
    Fn("IToA", "str, int, int", IToAWidth),
    Fn("ToolMode", "int", ToolMode),
};

}  // namespace
}  // namespace bindings

using bindings::MarshalItems;

// Changed together with kWorldFunctions.
const SModuleVersion kWorldFunctionsVersion = {"Tue Dec  8 03:38:00 2026", 0xf2f1b665};

std::span<const SRow> WorldFunctionRows() { return bindings::kWorldFunctions; }

uint32_t RegisterWorldFunctions(CScriptMachine* machine) {
  machine->Calls().host = std::make_unique<CScriptBindings>();
  machine->Calls().hook = MarshalItems;
  RegisterRows(machine, bindings::kWorldFunctions);
  return BuildStamp(kWorldFunctionsVersion.date_time);
}
