#include <vector>

#include "script/array_functions.h"
#include "world/bindings/natives.h"

using rows::Fn;

namespace bindings {
namespace {

// Slot 300 on, in registration order: never reorder, only append. The
// array and INI functions come between these two parts, at 321 to 339.
const SRow kBeforeArrays[] = {
    Fn("SetObjImage", "void, str, str", SetImage<true>),
    Fn("SetImage", "void, str", SetImage<false>),
    Fn("GetID", "str", GetID),
    Fn("SetZ", "void, int", SetZ<false>),
    Fn("SetObjZ", "void, str, int", SetZ<true>),
    Fn("GetZ", "int", GetZ<false>),
    Fn("GetZ", "int, str", GetZ<true>),
    Fn("SetVisible", "void, bool", SetVisible<false>),
    Fn("SetObjVisible", "void, str, bool", SetVisible<true>),
    Fn("IsVisible", "bool", IsVisible<false>),
    Fn("IsObjVisible", "bool, str", IsVisible<true>),
    Fn("Random", "int, int, int", Random),
    Fn("RANDOM", "int, int, int", RandomBetween),
    Fn("SetFrame", "void, int", SetFrame<false>),
    Fn("SetObjFrame", "void, str, int", SetFrame<true>),
    Fn("AttachToCursor", "bool, str, int, int", AttachToCursor),
    Fn("IsAttached", "bool", IsAttached<false>),
    Fn("IsAttached", "bool, str", IsAttached<true>),
    Fn("DetachFromCursor", "void", DetachFromCursor),
    Fn("SetSnd", "void, str, str", PendingNative),
    Fn("Perm", "void, str*, str*", Perm),
};

const SRow kAfterArrays[] = {
    Fn("ClearDecoration", "void, str", ClearDecoration),
    Fn("AddDecoration", "void, str, int, int, str", AddDecoration<false>),
    Fn("AddDecoration", "void, str, int, int, str, int, int, int", AddDecoration<true>),
    Fn("GetDecoration", "bool, str, int, int, str*", GetDecoration),
    Fn("SaveDecoration", "bool, str, str, int", SaveDecoration),
    Fn("LoadDecoration", "bool, str, str, int*", LoadDecoration),
    Fn("SetMRHLine", "void, int, int, int", SetMRHLine),
    Fn("SetMRMask", "void, str, int, int", SetMRMask),
    Fn("MRRemove", "void", MRRemove),
    Fn("StrLeft", "str, str, int", StrLeft),
    Fn("StrRight", "str, str, int", StrRight),
    Fn("PaintReset", "void, str", PaintReset),
    Fn("PaintSetStamp", "void, str, str, int", PaintSetStamp),
    Fn("PaintSetBrush", "void, str, str, int", PaintSetBrush),
    Fn("PaintSetFillPattern", "void, str, str, int", PaintSetFillPattern),
    Fn("PaintSetRubber", "void, str, int, int", PaintSetRubber),
    Fn("PaintSetMap", "void, str, str", PaintSetMap),
    Fn("PaintSetColor", "void, str, int", PaintSetColor),
    Fn("PaintSelectBrush", "void, str", PaintSelectBrush),
    Fn("PaintSelectStamp", "void, str", PaintSelectStamp),
    Fn("PaintSelectFill", "void, str", PaintSelectFill),
    Fn("PaintSelectRubber", "void, str", PaintSelectRubber),
    Fn("PaintFill", "void, str, int", PaintFill),
    Fn("SetModal", "void, int", SetModal),
    Fn("ChangeModal", "void, str, int", ChangeModal<true>),
    Fn("ChangeModal", "void, int", ChangeModal<false>),
    Fn("GetModal", "int", GetModal),
    Fn("PlayAnimation", "void, str, int", PlayAnimation<true>),
    Fn("PlayAnimation", "void, int", PlayAnimation<false>),
    Fn("AnimRescale", "void, str, int, int", AnimRescale<true>),
    Fn("AnimRescale", "void, int, int", AnimRescale<false>),
    Fn("SetColumn", "void, str, int", SetColumn<true>),
    Fn("SetColumn", "void, int", SetColumn<false>),
    Fn("ReplaceColor", "void, int, int", (ReplaceColor<false, false>)),
    Fn("ReplaceColor", "void, str, int, int", (ReplaceColor<true, false>)),
    Fn("RReplaceColor", "void, int, int, TRect", (ReplaceColor<false, true>)),
    Fn("RReplaceColor", "void, str, int, int, TRect", (ReplaceColor<true, true>)),
    Fn("BReplaceColor", "void, str, int, int", RecolourObject<true>),
    Fn("PReplaceColor", "void, str, int, int", RecolourObject<false>),
    Fn("PaintSave", "void, str", PaintSave),
    Fn("PaintSaveImage", "void, str, str", PaintSaveImage),
    Fn("PaintLoadImage", "void, str, str", PaintLoadImage),
    Fn("PaintClear", "void, str", PaintClear),
    Fn("GetColumn", "int, str", GetColumn<true>),
    Fn("GetColumn", "int", GetColumn<false>),
    Fn("PrintBook", "bool, str, str, str, int", PrintBook),
    Fn("RedrawView", "void", UpdateAll),
    Fn("DBDef", "bool, str", PendingNative),
    Fn("DBUndef", "void, str", PendingNative),
    Fn("TblDef", "bool, str, str, str", PendingNative),
    Fn("TblUndef", "void, str, str", PendingNative),
    Fn("TblGetFilterText", "str, str, str, int, int, str", PendingNative),
    Fn("TblGetText", "str, str, str, int, int", PendingNative),
    Fn("TblGetNum", "int, str, str, int, int", PendingNative),
    Fn("TblSetText", "bool, str, str, int, int, str", PendingNative),
    Fn("TblSetNum", "bool, str, str, int, int, int", PendingNative),
    Fn("TblDelRow", "void, str, str, int", PendingNative),
    Fn("TblGetNumRows", "int, str, str", PendingNative),
    Fn("TblGetNumCols", "int, str, str, int", PendingNative),
    Fn("TSChooseWords", "str, str, str, str, int", PendingNative),
    Fn("ParChooseWords", "str, str, str, int, int", PendingNative),
    Fn("ThChooseWords", "str, str, str, str, str, str, bool, bool", PendingNative),
    Fn("DrawSprite", "void, str, str, int, int, int, int, int", DrawSprite),
    Fn("GetPixel", "int, str, int, int", GetPixel),
    Fn("TextOut", "void, str, str", TextOut),
    Fn("SetTextHLChar", "void, str, int, int", SetTextHLChar),
    Fn("GetUserID", "str", GetUserID),
    Fn("GetDate", "void, int*, int*, int*", GetDate),
    Fn("GetMasterVolume", "void, int*, int*", GetMasterVolume),
    Fn("SetMasterVolume", "void, int, int", SetMasterVolume),
    Fn("HPathFind", "int, int, int, int, int", HPathFind),
    Fn("SaveBmp", "void, str, str", SaveBmp),
    Fn("SetMousePos", "void, int, int", SetMousePos),
    Fn("HavePrinter", "bool", HavePrinter),
    Fn("Print", "void, str", Print),
    Fn("Record", "void, str", Record),
    Fn("MakeFN", "str, str, str, str", MakeFN),
    Fn("GetImage", "str, str", GetImage),
    Fn("FixColor", "void, int, int, int, int", FixColor),
    Fn("DisableAll", "void", DisableAll),
    Fn("GetMouseOver", "str", GetMouseOver),
    Fn("NOP", "void", Nop),
    Fn("Snapshot", "void, str", Snapshot),
    Fn("Mute", "void", Mute),
    Fn("InitTime", "void", InitTime),
    Fn("GetTime", "int", GetTime),
    Fn("Print2", "bool, str, str, int, int", Print2),
    Fn("SimClick", "void, str, int, int", SimClick),
    Fn("GetExeVer", "str", GetExeVer),
    Fn("Platform", "str", PlatformName),
};

// The whole table: both parts with the array and INI functions between
// them, IniDef behind the file gate.
std::vector<SRow> MakeEngineRows() {
  std::vector<SRow> table(std::begin(kBeforeArrays), std::end(kBeforeArrays));
  for (SRow row : ArrayFunctionRows()) {
    if (row.row == ERow::kFunction && std::string_view(row.name) == "IniDef")
      row = Fn(row.name, row.text, IniDefChecked);
    table.push_back(row);
  }
  table.insert(table.end(), std::begin(kAfterArrays), std::end(kAfterArrays));
  return table;
}

const std::vector<SRow>& EngineRows() {
  static const std::vector<SRow> table = MakeEngineRows();
  return table;
}

}  // namespace
}  // namespace bindings



// Changed together with the engine's rows (and the array functions').
const SModuleVersion kEngineFunctionsVersion = {"Tue Dec  8 03:38:00 2026", 0xa2f1d5b9};

std::span<const SRow> EngineFunctionRows() { return bindings::EngineRows(); }

uint32_t RegisterEngineFunctions(CScriptMachine* machine) {
  RegisterRows(machine, bindings::EngineRows());
  return BuildStamp(kEngineFunctionsVersion.date_time);
}
