#include <vector>

#include "script/array_functions.h"
#include "world/bindings/natives.h"

using rows::Fn;

namespace bindings {
namespace {

// Slot 300 on, in registration order: never reorder, only append. The
// array and INI functions come between these two parts, at 321 to 339.
const SRow kBeforeArrays[] = {
    Fn("SetObjImage", "void, str, str", PendingNative),
    Fn("SetImage", "void, str", PendingNative),
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
    Fn("SetFrame", "void, int", PendingNative),
    Fn("SetObjFrame", "void, str, int", PendingNative),
    Fn("AttachToCursor", "bool, str, int, int", AttachToCursor),
    Fn("IsAttached", "bool", IsAttached<false>),
    Fn("IsAttached", "bool, str", IsAttached<true>),
    Fn("DetachFromCursor", "void", DetachFromCursor),
    Fn("SetSnd", "void, str, str", PendingNative),
    Fn("Perm", "void, str*, str*", Perm),
};

const SRow kAfterArrays[] = {
    Fn("ClearDecoration", "void, str", PendingNative),
    Fn("AddDecoration", "void, str, int, int, str", PendingNative),
    Fn("AddDecoration", "void, str, int, int, str, int, int, int", PendingNative),
    Fn("GetDecoration", "bool, str, int, int, str*", PendingNative),
    Fn("SaveDecoration", "bool, str, str, int", PendingNative),
    Fn("LoadDecoration", "bool, str, str, int*", PendingNative),
    Fn("SetMRHLine", "void, int, int, int", PendingNative),
    Fn("SetMRMask", "void, str, int, int", PendingNative),
    Fn("MRRemove", "void", PendingNative),
    Fn("StrLeft", "str, str, int", StrLeft),
    Fn("StrRight", "str, str, int", StrRight),
    Fn("PaintReset", "void, str", PendingNative),
    Fn("PaintSetStamp", "void, str, str, int", PendingNative),
    Fn("PaintSetBrush", "void, str, str, int", PendingNative),
    Fn("PaintSetFillPattern", "void, str, str, int", PendingNative),
    Fn("PaintSetRubber", "void, str, int, int", PendingNative),
    Fn("PaintSetMap", "void, str, str", PendingNative),
    Fn("PaintSetColor", "void, str, int", PendingNative),
    Fn("PaintSelectBrush", "void, str", PendingNative),
    Fn("PaintSelectStamp", "void, str", PendingNative),
    Fn("PaintSelectFill", "void, str", PendingNative),
    Fn("PaintSelectRubber", "void, str", PendingNative),
    Fn("PaintFill", "void, str, int", PendingNative),
    Fn("SetModal", "void, int", SetModal),
    Fn("ChangeModal", "void, str, int", ChangeModal<true>),
    Fn("ChangeModal", "void, int", ChangeModal<false>),
    Fn("GetModal", "int", GetModal),
    Fn("PlayAnimation", "void, str, int", PendingNative),
    Fn("PlayAnimation", "void, int", PendingNative),
    Fn("AnimRescale", "void, str, int, int", PendingNative),
    Fn("AnimRescale", "void, int, int", PendingNative),
    Fn("SetColumn", "void, str, int", PendingNative),
    Fn("SetColumn", "void, int", PendingNative),
    Fn("ReplaceColor", "void, int, int", PendingNative),
    Fn("ReplaceColor", "void, str, int, int", PendingNative),
    Fn("RReplaceColor", "void, int, int, TRect", PendingNative),
    Fn("RReplaceColor", "void, str, int, int, TRect", PendingNative),
    Fn("BReplaceColor", "void, str, int, int", PendingNative),
    Fn("PReplaceColor", "void, str, int, int", PendingNative),
    Fn("PaintSave", "void, str", PendingNative),
    Fn("PaintSaveImage", "void, str, str", PendingNative),
    Fn("PaintLoadImage", "void, str, str", PendingNative),
    Fn("PaintClear", "void, str", PendingNative),
    Fn("GetColumn", "int, str", PendingNative),
    Fn("GetColumn", "int", PendingNative),
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
    Fn("DrawSprite", "void, str, str, int, int, int, int, int", PendingNative),
    Fn("GetPixel", "int, str, int, int", PendingNative),
    Fn("TextOut", "void, str, str", PendingNative),
    Fn("SetTextHLChar", "void, str, int, int", PendingNative),
    Fn("GetUserID", "str", GetUserID),
    Fn("GetDate", "void, int*, int*, int*", GetDate),
    Fn("GetMasterVolume", "void, int*, int*", GetMasterVolume),
    Fn("SetMasterVolume", "void, int, int", SetMasterVolume),
    Fn("HPathFind", "int, int, int, int, int", HPathFind),
    Fn("SaveBmp", "void, str, str", PendingNative),
    Fn("SetMousePos", "void, int, int", SetMousePos),
    Fn("HavePrinter", "bool", HavePrinter),
    Fn("Print", "void, str", Print),
    Fn("Record", "void, str", Record),
    Fn("MakeFN", "str, str, str, str", MakeFN),
    Fn("GetImage", "str, str", PendingNative),
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
