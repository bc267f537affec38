// The engine's native table: every slot from 200 on as the modules fix it,
// which slots are still waiting for their owners, and the module versions.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "script/script_machine.h"
#include "world/bindings/bindings.h"

namespace {

// Slots 200 to 429, entry by entry.
const char* const kWorldEntries[] = {
    "void GoToView(str, int, int)", "void StartConversation(str)", "void SetCursor(str)",
    "void UpdateAll()", "void DissolveToView(str, int, int)", "void DissolveToImage(str)",
    "void SetExamineText(str, int)", "bool GetInt(str, int*)", "bool GetSubHandle(str, int*)",
    "bool GetStr(str, str*)", "void InvShow()", "void InvHide()", "void Wait(int)",
    "void UpdateObject(str)", "void Update()", "TInvItem constructor",
    "TInvItem address constructor", "TInvItem destructor", "void InvAdd(item)",
    "void InvRemove(item)", "bool IsItemInInv(item)", "int InvTimesExamined(item)",
    "void InvExamine(item)", "void InvAddVisual(item)", "bool IsInvItemUsed(item)",
    "void InvUse(item)", "int GetState()", "int GetState(str)", "void SetState(int)",
    "void SetState(str, int)", "item constructor", "item address constructor", "item destructor",
    "cast TInvItem -> item", "item InvItem(str)", "bool GetInvItem(str, item*)",
    "void =(item*, item)", "void PlaySoundCh(str, int)", "void PlaySoundCh(str, int, int)",
    "int PlaySoundVol(str, int)", "bool IsPlaying(int)", "void SetVolume(int, int)",
    "void SetFixedChannels(int)", "void SetExamineText(str, str)", "void Activate(str, bool)",
    "bool IsActive(str)", "void SetVolume(str, int, int)", "void SetInOutTime(str, int, int)",
    "void SetTime(str, int)", "void SetIntTime(str, int)", "int Time()", "void SaveGame()",
    "void QuitGame()", "bool GGetStr(str, str*)", "bool GGetInt(str, int*)",
    "bool GetInt(str, str, int*)", "bool GetStr(str, str, str*)", "bool GetPos(TRect*)",
    "bool GetPos(str, TRect*)", "bool Move(int, int)", "bool Move(str, int, int)",
    "bool GetRect(str, TRect*)", "bool GetRect(str, str, TRect*)", "bool GetPoint(str, TPoint*)",
    "bool GetPoint(str, str, TPoint*)", "void ShowMouse()", "void HideMouse()", "str IToA(int)",
    "int AToI(str)", "void Exec(str)", "void Exec(str, str)", "bool FileExist(str)",
    "bool SetPos(TRect)", "bool SetPos(str, TRect)", "bool CreateObject(str)",
    "bool TestBit(int, int)", "int &(int, int)", "int |(int, int)", "int ^(int, int)",
    "int ~(int)", "int SHL(int, int)", "int SHR(int, int)", "str GetWord(str, int, str)",
    "int GetNumWords(str, str)", "TRect MoveRect(TRect, int, int)",
    "TRect OffsetRect(TRect, int, int)", "int StrLen(str)", "str StrGetChr(str, int)",
    "int Int(str)", "str Chr(int)", "void StrCat(str*, int)", "str IToA(int, int)",
    "int ToolMode()"};

const char* const kEngineEntries[] = {
    "void SetObjImage(str, str)", "void SetImage(str)", "str GetID()", "void SetZ(int)",
    "void SetObjZ(str, int)", "int GetZ()", "int GetZ(str)", "void SetVisible(bool)",
    "void SetObjVisible(str, bool)", "bool IsVisible()", "bool IsObjVisible(str)",
    "int Random(int, int)", "int RANDOM(int, int)", "void SetFrame(int)",
    "void SetObjFrame(str, int)", "bool AttachToCursor(str, int, int)", "bool IsAttached()",
    "bool IsAttached(str)", "void DetachFromCursor()", "void SetSnd(str, str)",
    "void Perm(str*, str*)",
    // 321-339: the array and INI functions.
    "bool ArrDef(str, str, int)", "bool ArrGetSize(str, int*)", "bool ArrGetInt(str, int, int*)",
    "bool ArrGetStr(str, int, str*)", "bool ArrSetInt(str, int, int)",
    "bool ArrSetStr(str, int, str)", "void ArrUndef(str)", "bool ArrScramble(str, int, int, int)",
    "bool ArrScramble2(str, int, int, int)", "bool ArrLoad(str, str, str)",
    "bool ArrGetPt(str, int, TPoint*)", "bool ArrSetPt(str, int, TPoint)",
    "bool ArrFindInt(str, int, int*)", "bool ArrFindStr(str, str, int*)",
    "bool GetIni(str, str, str, str*)", "bool IniDef(str)", "void IniUndef(str)",
    "bool ArrGetRect(str, int, TRect*)", "bool ArrSetRect(str, int, TRect)",
    // 340 on.
    "void ClearDecoration(str)", "void AddDecoration(str, int, int, str)",
    "void AddDecoration(str, int, int, str, int, int, int)",
    "bool GetDecoration(str, int, int, str*)", "bool SaveDecoration(str, str, int)",
    "bool LoadDecoration(str, str, int*)", "void SetMRHLine(int, int, int)",
    "void SetMRMask(str, int, int)", "void MRRemove()", "str StrLeft(str, int)",
    "str StrRight(str, int)", "void PaintReset(str)", "void PaintSetStamp(str, str, int)",
    "void PaintSetBrush(str, str, int)", "void PaintSetFillPattern(str, str, int)",
    "void PaintSetRubber(str, int, int)", "void PaintSetMap(str, str)",
    "void PaintSetColor(str, int)", "void PaintSelectBrush(str)", "void PaintSelectStamp(str)",
    "void PaintSelectFill(str)", "void PaintSelectRubber(str)", "void PaintFill(str, int)",
    "void SetModal(int)", "void ChangeModal(str, int)", "void ChangeModal(int)", "int GetModal()",
    "void PlayAnimation(str, int)", "void PlayAnimation(int)", "void AnimRescale(str, int, int)",
    "void AnimRescale(int, int)", "void SetColumn(str, int)", "void SetColumn(int)",
    "void ReplaceColor(int, int)", "void ReplaceColor(str, int, int)",
    "void RReplaceColor(int, int, TRect)", "void RReplaceColor(str, int, int, TRect)",
    "void BReplaceColor(str, int, int)", "void PReplaceColor(str, int, int)",
    "void PaintSave(str)", "void PaintSaveImage(str, str)", "void PaintLoadImage(str, str)",
    "void PaintClear(str)", "int GetColumn(str)", "int GetColumn()",
    "bool PrintBook(str, str, str, int)", "void RedrawView()", "bool DBDef(str)",
    "void DBUndef(str)", "bool TblDef(str, str, str)", "void TblUndef(str, str)",
    "str TblGetFilterText(str, str, int, int, str)", "str TblGetText(str, str, int, int)",
    "int TblGetNum(str, str, int, int)", "bool TblSetText(str, str, int, int, str)",
    "bool TblSetNum(str, str, int, int, int)", "void TblDelRow(str, str, int)",
    "int TblGetNumRows(str, str)", "int TblGetNumCols(str, str, int)",
    "str TSChooseWords(str, str, str, int)", "str ParChooseWords(str, str, int, int)",
    "str ThChooseWords(str, str, str, str, str, bool, bool)",
    "void DrawSprite(str, str, int, int, int, int, int)", "int GetPixel(str, int, int)",
    "void TextOut(str, str)", "void SetTextHLChar(str, int, int)", "str GetUserID()",
    "void GetDate(int*, int*, int*)", "void GetMasterVolume(int*, int*)",
    "void SetMasterVolume(int, int)", "int HPathFind(int, int, int, int)",
    "void SaveBmp(str, str)", "void SetMousePos(int, int)", "bool HavePrinter()",
    "void Print(str)", "void Record(str)", "str MakeFN(str, str, str)", "str GetImage(str)",
    "void FixColor(int, int, int, int)", "void DisableAll()", "str GetMouseOver()", "void NOP()",
    "void Snapshot(str)", "void Mute()", "void InitTime()", "int GetTime()",
    "bool Print2(str, str, int, int)", "void SimClick(str, int, int)", "str GetExeVer()",
    "str Platform()"};

// The slots whose owners come later, as ranges.
const std::pair<int, int> kPendingRanges[] = {
    {237, 242}, {246, 246}, {319, 319}, {210, 211},
    {223, 223}, {251, 251}, {387, 398}, {399, 401}};

struct SLine {
  int slot;
  std::string entry;
  std::string state;
};

std::vector<SLine> Parse(const std::string& listing) {
  std::vector<SLine> lines;
  std::istringstream stream(listing);
  std::string line;
  while (std::getline(stream, line)) {
    const size_t first = line.find('\t');
    const size_t second = line.find('\t', first + 1);
    lines.push_back({std::stoi(line.substr(0, first)), line.substr(first + 1, second - first - 1),
                     line.substr(second + 1)});
  }
  return lines;
}

}  // namespace

TEST(BindingsTableTest, TheListingMatchesTheTableSlotBySlot) {
  CScriptMachine machine;
  ASSERT_EQ(machine.Init(kWorldModules), err::kOk);
  std::vector<std::pair<int, std::string>> expected;
  for (size_t i = 0; i < std::size(kWorldEntries); ++i) expected.emplace_back(200 + i, kWorldEntries[i]);
  for (size_t i = 0; i < std::size(kEngineEntries); ++i)
    expected.emplace_back(300 + i, kEngineEntries[i]);
  ASSERT_EQ(expected.back().first, 429);
  std::set<int> pending;
  for (auto [first, last] : kPendingRanges)
    for (int slot = first; slot <= last; ++slot) pending.insert(slot);

  std::vector<std::pair<int, std::string>> listed;
  for (const SLine& line : Parse(NativeListing(machine))) {
    if (line.slot < 200) {
      EXPECT_EQ(line.state, "built") << line.slot;
      continue;
    }
    listed.emplace_back(line.slot, line.entry);
    EXPECT_EQ(line.state, pending.count(line.slot) ? "pending" : "built") << line.slot;
  }
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(machine.NextSlot(), 430);
}

// A table change without a new version text fails here.
TEST(BindingsTableTest, TheVersionsPinTheTablesAndMakeTheStamp) {
  struct SModule {
    const char* name;
    std::span<const SRow> rows;
    const SModuleVersion& version;
  };
  const SModule modules[] = {{"kWorldFunctionsVersion", WorldFunctionRows(), kWorldFunctionsVersion},
                             {"kEngineFunctionsVersion", EngineFunctionRows(),
                              kEngineFunctionsVersion}};
  for (const SModule& module : modules)
    EXPECT_EQ(RowsHash(module.rows), module.version.rows_hash)
        << "The table of " << module.name
        << " changed: set its date-and-time text to the time of the change and its hash to "
        << RowsHash(module.rows) << ", together.";
  CScriptMachine first, second;
  ASSERT_EQ(first.Init(kWorldModules), err::kOk);
  ASSERT_EQ(second.Init(kWorldModules), err::kOk);
  EXPECT_EQ(first.Stamp(), second.Stamp());
  CScriptMachine library;
  ASSERT_EQ(library.Init({}), err::kOk);
  EXPECT_EQ(first.Stamp(), library.Stamp() + BuildStamp(kWorldFunctionsVersion.date_time) +
                               BuildStamp(kEngineFunctionsVersion.date_time));
}
