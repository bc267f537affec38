// What the binding natives share: finding the world, the current object and
// objects by ID, and the natives each group file defines for the module
// tables.
#pragma once

#include <cstdint>
#include <string>

#include "script/native_args.h"
#include "script/script_string.h"
#include "world/bindings/bindings.h"

class CWVisualObject;

namespace bindings {

// Of the innermost run's machine; null outside a run or without bindings.
CScriptBindings* Running();
CWorld* RunningWorld();
CWPlaneViewWindow* RunningView();
// The object whose handler runs, when it belongs to the running world.
CWObject* CurrentObject();
// The object of the current view with exactly that ID, or null.
CWObject* ViewObject(StrHandle id);
CWVisualObject* AsVisual(CWObject* object);
// The current object, or (kNamed) the view's object named by the next
// argument.
template <bool kNamed>
CWObject* Target(CArgs& args) {
  if constexpr (kNamed) return ViewObject(args.Str());
  else return CurrentObject();
}
// Writes a result through an out-parameter: null when the address is bad
// (the run stops).
uint8_t* Out(ScriptAddr address, uint32_t size);
// Stores a new reference into a str variable, releasing the old one.
void StoreStr(uint8_t* variable, StrHandle value);

// Texts and numbers.
uint8_t* IToA(uint8_t* sp);
uint8_t* IToAWidth(uint8_t* sp);
uint8_t* AToI(uint8_t* sp);
uint8_t* TestBit(uint8_t* sp);
uint8_t* BitAnd(uint8_t* sp);
uint8_t* BitOr(uint8_t* sp);
uint8_t* BitXor(uint8_t* sp);
uint8_t* BitNot(uint8_t* sp);
uint8_t* Shl(uint8_t* sp);
uint8_t* Shr(uint8_t* sp);
uint8_t* GetWord(uint8_t* sp);
uint8_t* GetNumWords(uint8_t* sp);
uint8_t* MoveRect(uint8_t* sp);
uint8_t* OffsetRect(uint8_t* sp);
uint8_t* StrLen(uint8_t* sp);
uint8_t* StrGetChr(uint8_t* sp);
uint8_t* Int(uint8_t* sp);
uint8_t* Chr(uint8_t* sp);
uint8_t* StrCatInt(uint8_t* sp);
uint8_t* StrLeft(uint8_t* sp);
uint8_t* StrRight(uint8_t* sp);
uint8_t* MakeFN(uint8_t* sp);
uint8_t* Perm(uint8_t* sp);
uint8_t* HPathFind(uint8_t* sp);
uint8_t* Nop(uint8_t* sp);
uint8_t* GetExeVer(uint8_t* sp);
uint8_t* PlatformName(uint8_t* sp);

// Time, chance, files and the system.
uint8_t* Random(uint8_t* sp);
uint8_t* RandomBetween(uint8_t* sp);
uint8_t* Wait(uint8_t* sp);
uint8_t* Time(uint8_t* sp);
uint8_t* InitTime(uint8_t* sp);
uint8_t* GetTime(uint8_t* sp);
uint8_t* GetDate(uint8_t* sp);
uint8_t* QuitGame(uint8_t* sp);
uint8_t* ToolMode(uint8_t* sp);
uint8_t* GetUserID(uint8_t* sp);
uint8_t* HavePrinter(uint8_t* sp);
uint8_t* Print(uint8_t* sp);
uint8_t* Print2(uint8_t* sp);
uint8_t* PrintBook(uint8_t* sp);
uint8_t* FileExist(uint8_t* sp);
uint8_t* IniDefChecked(uint8_t* sp);
uint8_t* ShowMouse(uint8_t* sp);
uint8_t* SetCursor(uint8_t* sp);
uint8_t* GetMasterVolume(uint8_t* sp);
uint8_t* SetMasterVolume(uint8_t* sp);
uint8_t* Mute(uint8_t* sp);
uint8_t* FixColor(uint8_t* sp);
uint8_t* Snapshot(uint8_t* sp);
uint8_t* Record(uint8_t* sp);
uint8_t* HideMouse(uint8_t* sp);

// World objects and views.
uint8_t* GoToView(uint8_t* sp);
uint8_t* StartConversation(uint8_t* sp);
uint8_t* UpdateAll(uint8_t* sp);
uint8_t* UpdateObject(uint8_t* sp);
uint8_t* Update(uint8_t* sp);
uint8_t* SetExamineNumber(uint8_t* sp);
uint8_t* SetExamineText(uint8_t* sp);
template <bool kNamed> uint8_t* GetInt(uint8_t* sp);
template <bool kNamed> uint8_t* GetStr(uint8_t* sp);
template <bool kNamed> uint8_t* GetRect(uint8_t* sp);
template <bool kNamed> uint8_t* GetPoint(uint8_t* sp);
uint8_t* GetSubHandle(uint8_t* sp);
template <bool kNamed> uint8_t* GetState(uint8_t* sp);
template <bool kNamed> uint8_t* SetState(uint8_t* sp);
template <bool kNamed> uint8_t* GetPos(uint8_t* sp);
template <bool kNamed> uint8_t* SetPos(uint8_t* sp);
template <bool kNamed> uint8_t* Move(uint8_t* sp);
template <bool kNamed> uint8_t* SetZ(uint8_t* sp);
template <bool kNamed> uint8_t* GetZ(uint8_t* sp);
template <bool kNamed> uint8_t* SetVisible(uint8_t* sp);
template <bool kNamed> uint8_t* IsVisible(uint8_t* sp);
template <bool kNamed> uint8_t* IsAttached(uint8_t* sp);
template <bool kNamed> uint8_t* ChangeModal(uint8_t* sp);
uint8_t* Activate(uint8_t* sp);
uint8_t* IsActive(uint8_t* sp);
uint8_t* SetIntTime(uint8_t* sp);
uint8_t* GGetStr(uint8_t* sp);
uint8_t* GGetInt(uint8_t* sp);
uint8_t* Exec(uint8_t* sp);
uint8_t* ExecObject(uint8_t* sp);
uint8_t* CreateObject(uint8_t* sp);
uint8_t* GetID(uint8_t* sp);
uint8_t* AttachToCursor(uint8_t* sp);
uint8_t* DetachFromCursor(uint8_t* sp);
uint8_t* SetModal(uint8_t* sp);
uint8_t* GetModal(uint8_t* sp);
uint8_t* DisableAll(uint8_t* sp);
uint8_t* GetMouseOver(uint8_t* sp);
uint8_t* SimClick(uint8_t* sp);

// The visual kinds, dissolves and the cursor restriction.
uint8_t* DissolveToView(uint8_t* sp);
uint8_t* DissolveToImage(uint8_t* sp);
uint8_t* SetMRHLine(uint8_t* sp);
uint8_t* SetMRMask(uint8_t* sp);
uint8_t* MRRemove(uint8_t* sp);
uint8_t* SetMousePos(uint8_t* sp);
uint8_t* SetInOutTime(uint8_t* sp);
uint8_t* SetTime(uint8_t* sp);
template <bool kNamed> uint8_t* SetImage(uint8_t* sp);
template <bool kNamed> uint8_t* SetColumn(uint8_t* sp);
template <bool kNamed> uint8_t* GetColumn(uint8_t* sp);
uint8_t* GetImage(uint8_t* sp);
template <bool kNamed> uint8_t* SetFrame(uint8_t* sp);
template <bool kNamed> uint8_t* PlayAnimation(uint8_t* sp);
template <bool kNamed> uint8_t* AnimRescale(uint8_t* sp);
// ReplaceColor, and with kArea RReplaceColor.
template <bool kNamed, bool kArea> uint8_t* ReplaceColor(uint8_t* sp);
// BReplaceColor (kSource): a colour of the named object in what its picture
// is made from; PReplaceColor: in the picture shown.
template <bool kSource> uint8_t* RecolourObject(uint8_t* sp);
// A frame of a strip picture drawn into the named object's picture: the
// strip's name, x, y, the column, the number of columns and the key.
uint8_t* DrawSprite(uint8_t* sp);
// The picture a visual object shows: a pixel (object-local, -1 outside or
// without a picture), and the picture as an 8-bit BMP in the view's palette.
uint8_t* GetPixel(uint8_t* sp);
uint8_t* SaveBmp(uint8_t* sp);
uint8_t* TextOut(uint8_t* sp);
uint8_t* SetTextHLChar(uint8_t* sp);
uint8_t* ClearDecoration(uint8_t* sp);
// With kTimed the mode, frames and delay follow the name.
template <bool kTimed> uint8_t* AddDecoration(uint8_t* sp);
uint8_t* GetDecoration(uint8_t* sp);
uint8_t* SaveDecoration(uint8_t* sp);
uint8_t* LoadDecoration(uint8_t* sp);
uint8_t* PaintReset(uint8_t* sp);
uint8_t* PaintClear(uint8_t* sp);
uint8_t* PaintSelectBrush(uint8_t* sp);
uint8_t* PaintSelectStamp(uint8_t* sp);
uint8_t* PaintSelectFill(uint8_t* sp);
uint8_t* PaintSelectRubber(uint8_t* sp);
uint8_t* PaintSetColor(uint8_t* sp);
uint8_t* PaintFill(uint8_t* sp);
uint8_t* PaintSetBrush(uint8_t* sp);
uint8_t* PaintSetStamp(uint8_t* sp);
uint8_t* PaintSetFillPattern(uint8_t* sp);
uint8_t* PaintSetMap(uint8_t* sp);
uint8_t* PaintSetRubber(uint8_t* sp);
uint8_t* PaintLoadImage(uint8_t* sp);
uint8_t* PaintSave(uint8_t* sp);
uint8_t* PaintSaveImage(uint8_t* sp);

// Inventory items: the two types and the item functions.
uint8_t* InvItemVoid(uint8_t* sp);
uint8_t* InvItemCopy(uint8_t* sp, ScriptAddr source);
uint8_t* InvItemPop(uint8_t* sp);
uint8_t* ItemVoid(uint8_t* sp);
uint8_t* ItemCopy(uint8_t* sp, ScriptAddr source);
uint8_t* ItemPop(uint8_t* sp);
uint8_t* InvItemToItem(uint8_t* sp);
uint8_t* ItemAssign(uint8_t* sp);
uint8_t* InvAdd(uint8_t* sp);
uint8_t* InvRemove(uint8_t* sp);
uint8_t* IsItemInInv(uint8_t* sp);
uint8_t* InvTimesExamined(uint8_t* sp);
uint8_t* InvExamine(uint8_t* sp);
uint8_t* IsInvItemUsed(uint8_t* sp);
uint8_t* InvUse(uint8_t* sp);
uint8_t* InvItem(uint8_t* sp);
uint8_t* GetInvItem(uint8_t* sp);
// Marshals item and TInvItem positions of handler calls.
bool MarshalItems(uint16_t type, uint8_t** sp, CTempCursor* temp, const SCallArg** args);

}  // namespace bindings
