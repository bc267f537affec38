// Time, chance, files, printing and the system.
#include <algorithm>
#include <cstring>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "base/log.h"
#include "base/random.h"
#include "fs/file_service.h"
#include "fs/replace.h"
#include "gfx/bitmap.h"
#include "gfx/bmp.h"
#include "gfx/palette.h"
#include "ui/cursor.h"
#include "ui/desktop.h"
#include "ui/os_layer.h"
#include "platform/platform.h"
#include "script/script_call.h"
#include "sound/mixer.h"
#include "script/script_ini.h"
#include "script/script_machine.h"
#include "script/script_run.h"
#include "world/bindings/path_check.h"
#include "world/bindings/natives.h"
#include "world/view.h"
#include "world/world.h"

namespace bindings {

namespace {

// The platform clock, or the world's when no platform is known.
uint32_t Clock() {
  CScriptBindings* bindings = Running();
  if (bindings && bindings->platform) return bindings->platform->TickCount();
  CWorld* world = RunningWorld();
  return world ? world->Now() : 0;
}

// What keys Random's sequences: the calling handler's compiled block, or
// for code compiled from a text, the code itself.
uint64_t CallingBlock() {
  CScriptRun* run = CScriptRun::Current();
  if (CWObject* object = CurrentObject()) {
    const char* handler = run->Machine().Calls().current.handler;
    if (handler)
      if (const StoreHandle code = object->Handler(handler).code) return code;
  }
  uint64_t hash = 14695981039346656037ull;
  for (uint32_t i = 0; i < run->CodeSize(); ++i) hash = (hash ^ run->Code()[i]) * 1099511628211ull;
  return hash | (1ull << 63);
}

// Where the cursor shapes named by scripts are.
constexpr char kCursorFolder[] = "/Game Interface/Cursors/";

// How long Wait sleeps between keeping the screen and the sound going.
constexpr uint32_t kWaitSliceMs = 20;

void NotPrinting() { LogMessage(kLogEngine, "Printing is not available"); }

}  // namespace

uint8_t* Random(uint8_t* sp) {
  CArgs args(&sp, 8);
  const int32_t lo = args.Int();
  const int32_t hi = args.Int();
  CScriptBindings* bindings = Running();
  args.Result(bindings ? bindings->NextRandom(CallingBlock(), CScriptRun::Current()->Ip(),
                                              std::min(lo, hi), std::max(lo, hi))
                       : 0);
  return sp;
}

uint8_t* RandomBetween(uint8_t* sp) {
  CArgs args(&sp, 8);
  const int32_t lo = args.Int();
  const int32_t hi = args.Int();
  args.Result(EngineRandom().Between(lo, hi));
  return sp;
}

uint8_t* Wait(uint8_t* sp) {
  CArgs args(&sp, 4);
  const auto duration = static_cast<uint32_t>(std::clamp(args.Int(), 0, 10000));
  CScriptBindings* bindings = Running();
  CPlatform* platform = bindings ? bindings->platform : nullptr;
  if (!platform) return sp;
  CDesktop* desktop = RunningWorld() ? RunningWorld()->Desktop() : nullptr;
  const uint32_t start = platform->TickCount();
  // The screen and the sound are kept going; waiting for messages lets the
  // time pass without taking any. When one is due the clock stands still,
  // and the wait ends there.
  for (uint32_t passed = 0; passed < duration;) {
    if (desktop) desktop->Present();
    if (bindings->mixer) bindings->mixer->Process();
    platform->WaitMessage(std::min(duration - passed, kWaitSliceMs));
    const uint32_t now = platform->TickCount() - start;
    if (now == passed) break;
    passed = now;
  }
  return sp;
}

uint8_t* Time(uint8_t* sp) {
  CScriptBindings* bindings = Running();
  CWorld* world = RunningWorld();
  Push<int32_t>(sp, world ? static_cast<int32_t>(world->Now() - bindings->time_origin) : 0);
  return sp;
}

uint8_t* InitTime(uint8_t* sp) {
  if (CScriptBindings* bindings = Running()) bindings->stopwatch = Clock();
  return sp;
}

uint8_t* GetTime(uint8_t* sp) {
  CScriptBindings* bindings = Running();
  Push<int32_t>(sp, bindings ? static_cast<int32_t>(Clock() - bindings->stopwatch) : 0);
  return sp;
}

namespace {

// The date TARVOLIN_DATE fixes ("yyyy-mm-dd"), else today's local date.
bool Today(int* year, int* month, int* day) {
  if (const char* fixed = std::getenv("TARVOLIN_DATE")) {
    char end = 0;
    return std::sscanf(fixed, "%4d-%2d-%2d%c", year, month, day, &end) == 3;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local)) return false;
  *year = local.tm_year + 1900;
  *month = local.tm_mon + 1;
  *day = local.tm_mday;
  return true;
}

}  // namespace

uint8_t* GetDate(uint8_t* sp) {
  CArgs args(&sp, 12);
  const ScriptAddr year_at = args.Addr(), month_at = args.Addr(), day_at = args.Addr();
  int year = 0, month = 0, day = 0;
  if (!Today(&year, &month, &day)) return sp;
  uint8_t* out_year = Out(year_at, 4);
  uint8_t* out_month = out_year ? Out(month_at, 4) : nullptr;
  uint8_t* out_day = out_month ? Out(day_at, 4) : nullptr;
  if (!out_day) return sp;
  Poke<int32_t>(out_year, year);
  Poke<int32_t>(out_month, month);
  Poke<int32_t>(out_day, day);
  return sp;
}

uint8_t* QuitGame(uint8_t* sp) {
  CScriptBindings* bindings = Running();
  if (bindings && bindings->platform) bindings->platform->PostQuit();
  return sp;
}

uint8_t* ToolMode(uint8_t* sp) {
  CScriptRun* run = CScriptRun::Current();
  Push<int32_t>(sp, run && run->Machine().Calls().tool_mode ? 1 : 0);
  return sp;
}

uint8_t* GetUserID(uint8_t* sp) {
  Push<StrHandle>(sp, 0);
  return sp;
}

uint8_t* HavePrinter(uint8_t* sp) {
  Push<uint8_t>(sp, 0);
  return sp;
}

uint8_t* Print(uint8_t* sp) {
  CArgs args(&sp, 4);
  args.Str();
  NotPrinting();
  return sp;
}

namespace {

// A printing function answering false: its first kStrs arguments are
// strings, kSize bytes in all.
template <int kStrs, uint32_t kSize>
uint8_t* PrintNothing(uint8_t* sp) {
  CArgs args(&sp, kSize);
  for (int i = 0; i < kStrs; ++i) args.Str();
  NotPrinting();
  args.Result(false);
  return sp;
}

}  // namespace

uint8_t* Print2(uint8_t* sp) { return PrintNothing<2, 16>(sp); }
uint8_t* PrintBook(uint8_t* sp) { return PrintNothing<3, 16>(sp); }

uint8_t* FileExist(uint8_t* sp) {
  CArgs args(&sp, 4);
  std::string path;
  args.Result(CheckScriptPath(args.Text(), EFileAccess::kRead, &path) && FsExists(path.c_str()));
  return sp;
}

uint8_t* IniDefChecked(uint8_t* sp) {
  CArgs args(&sp, 4);
  const StrHandle file = args.Str();
  std::string path;
  const bool allowed = file && CheckScriptPath(CStrText(file).view(), EFileAccess::kRead, &path);
  args.Result(allowed && CScriptRun::Current()->Machine().Inis().Define(CStrText(file).view()));
  return sp;
}

namespace {

template <bool kShown>
uint8_t* ShowCursor(uint8_t* sp) {
  if (CWorld* world = RunningWorld()) world->ShowSystemCursor(kShown);
  return sp;
}

}  // namespace

uint8_t* ShowMouse(uint8_t* sp) { return ShowCursor<true>(sp); }
uint8_t* HideMouse(uint8_t* sp) { return ShowCursor<false>(sp); }

uint8_t* SetCursor(uint8_t* sp) {
  CArgs args(&sp, 4);
  const std::string name = args.Text();
  CWorld* world = RunningWorld();
  std::string path;
  if (!name.empty() && !CheckScriptPath(kCursorFolder + name + ".bmp", EFileAccess::kRead, &path))
    return sp;
  if (ErrCode error = world ? world->SetViewCursor(path) : err::kOk)
    LogMessage(kLogEngine, "Cursor %s: %s\n", path.c_str(), ErrName(error));
  return sp;
}

uint8_t* GetMasterVolume(uint8_t* sp) {
  CArgs args(&sp, 8);
  const ScriptAddr left_at = args.Addr(), right_at = args.Addr();
  CScriptBindings* bindings = Running();
  uint16_t left = 0, right = 0;
  if (!bindings || !bindings->mixer || bindings->mixer->GetDeviceVolume(&left, &right)) return sp;
  uint8_t* out_left = Out(left_at, 4);
  uint8_t* out_right = out_left ? Out(right_at, 4) : nullptr;
  if (!out_right) return sp;
  Poke<int32_t>(out_left, left);
  Poke<int32_t>(out_right, right);
  return sp;
}

namespace {

void SetVolume(int32_t left, int32_t right) {
  CScriptBindings* bindings = Running();
  if (bindings && bindings->mixer)
    bindings->mixer->SetDeviceVolume(static_cast<uint16_t>(std::clamp(left, 0, 0xFFFF)),
                               static_cast<uint16_t>(std::clamp(right, 0, 0xFFFF)));
}

}  // namespace

uint8_t* SetMasterVolume(uint8_t* sp) {
  CArgs args(&sp, 8);
  const int32_t left = args.Int();
  SetVolume(left, args.Int());
  return sp;
}

uint8_t* Mute(uint8_t* sp) {
  SetVolume(0, 0);
  return sp;
}

uint8_t* FixColor(uint8_t* sp) {
  CArgs args(&sp, 16);
  const int32_t index = args.Int();
  uint8_t rgb[3];
  for (uint8_t& component : rgb) component = static_cast<uint8_t>(std::clamp(args.Int(), 0, 255));
  CWorld* world = RunningWorld();
  if (world && index >= 0 && index <= 255)
    world->FixColor(static_cast<uint8_t>(index), rgb[0], rgb[1], rgb[2]);
  return sp;
}

namespace {

// The frame last presented as an 8-bit bitmap with the screen palette.
std::unique_ptr<CBitmap> PresentedFrame() {
  CWorld* world = RunningWorld();
  CDesktop* desktop = world ? world->Desktop() : nullptr;
  CPlatformWindow* window = desktop ? desktop->TopLevel()->PlatformWindow() : nullptr;
  const SPresentedFrame frame = window ? window->Presented() : SPresentedFrame{};
  if (!frame.pixels || frame.width <= 0 || frame.height <= 0) return nullptr;
  auto palette = std::make_unique<CPalette>();
  if (palette->SetCount(256)) return nullptr;
  for (uint32_t i = 0; i < 256; ++i) {
    const SRgb rgb = frame.palette ? frame.palette[i] : SRgb{};
    palette->SetEntry(i, {rgb.blue, rgb.green, rgb.red, 0});
  }
  auto bitmap = std::make_unique<CBitmap>();
  if (bitmap->Create(static_cast<uint16_t>(frame.width), static_cast<uint16_t>(frame.height),
                     kPixel8, std::move(palette), kTopDown, 0))
    return nullptr;
  const CBitmapLock lock(*bitmap);
  for (int y = 0; y < frame.height; ++y)
    if (uint8_t* row = bitmap->PixelAddress(0, y))
      std::memcpy(row, frame.pixels + static_cast<size_t>(y) * frame.width, frame.width);
  return bitmap;
}

}  // namespace

uint8_t* Snapshot(uint8_t* sp) {
  CArgs args(&sp, 4);
  std::string path;
  if (!CheckScriptPath(args.Text(), EFileAccess::kWrite, &path)) return sp;
  std::unique_ptr<CBitmap> frame = PresentedFrame();
  if (!frame) return sp;
  if (ErrCode error = WriteReplacing(path.c_str(), 0,
                                     [&](CFile& file) { return WriteBmp(&file, *frame, 0); }))
    LogMessage(kLogEngine, "Snapshot %s: %s\n", path.c_str(), ErrName(error));
  return sp;
}

uint8_t* Record(uint8_t* sp) {
  CArgs args(&sp, 4);
  std::string path;
  CWorld* world = RunningWorld();
  if (CheckScriptPath(args.Text(), EFileAccess::kWrite, &path) && world)
    world->StartRecording(path);
  return sp;
}

}  // namespace bindings
