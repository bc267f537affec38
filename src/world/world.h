// The world: the live world objects of an open project, how they are made
// from their containers, and how their handlers are called.
//
// Objects are registered under serials that are never handed out twice;
// one name index answers the lookups by name (the newest object of a name
// first). Each creation site passes its loader table, the rows of object
// types it accepts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/errors.h"
#include "script/script_call.h"
#include "store/value_base.h"
#include "world/scheduler.h"
#include "world/world_object.h"

class CBFHP;
class CBitmap;
class CDesktop;
class CEventQueue;
class CPalette;
class CRecorder;
class CResourceLoader;
class CScriptMachine;
class CViewHostWindow;
class CWindow;
class CWPlaneViewWindow;
class CWDissolve;
class CMapDialog;
class CWMapObj;
class CWViewSet;
class CWorld;

// What the scheduler's entries of a world object are for.
// Entries of serial 0 are the world's own.
enum : uint32_t {
  kTickAutoUpdate = 1,
  kTickDissolve = 2,
  kTickArrow = 3,
  kTickCollect = 4,
  kTickRedraw = 5,
  kTickTimer = 6,  // a timer's one pending event
  // Animations: the next frame (or the start), the interrupt point; a
  // decoration's next piece frame.
  kTickAnimFrame = 7,
  kTickAnimInterrupt = 8,
  kTickDecorationFrame = 9,
};

// A loader that reports its failure in the log itself answers null and
// leaves the error 0.
using ObjectLoader = std::unique_ptr<CWObject> (*)(CWorld* world, StoreHandle own,
                                                   StoreHandle template_handle, ErrCode* error);

struct SLoaderRow {
  const char* type;  // the template's "Type", compared ignoring case
  ObjectLoader load;
};
using LoaderTable = std::span<const SLoaderRow>;

class CWorld {
 public:
  // Handler calls nest at most this deep.
  static constexpr uint32_t kMaxCallDepth = 64;

  CWorld(CValueBase* base, CScriptMachine* machine, CEventQueue* queue, bool tool_mode);
  ~CWorld();
  CWorld(const CWorld&) = delete;
  CWorld& operator=(const CWorld&) = delete;

  CValueBase& Base() const { return *m_base; }
  CScriptMachine& Machine() const { return *m_machine; }
  CWorldScheduler& Scheduler() { return m_scheduler; }
  uint32_t Now() const;
  bool ToolMode() const { return m_tool_mode; }
  int ModalLevel() const { return m_modal_level; }
  void SetModalLevel(int level) { m_modal_level = level; }

  // The registry.
  uint32_t Register(CWObject* object);
  void Unregister(CWObject* object);
  void Renamed(CWObject* object, const std::string& old_name);
  CWObject* Find(uint32_t serial) const;
  // The newest live object of that name, compared exactly.
  CWObject* FindByName(std::string_view name) const;
  size_t ObjectCount() const { return m_objects.size(); }
  // Destroys the object now, or, while a handler runs (it may be one of
  // the object's), once the event that called it is over.
  void Dispose(std::unique_ptr<CWObject> object);
  // A record of kind kDeliverObject: to the object its target names; a
  // stale serial finds no one.
  void DeliverToObject(const SEventRecord& record);

  // Where templates are looked for before "/Templates/": the containers of
  // the current view, then of its view sets, innermost first.
  void SetTemplateSearch(std::vector<StoreHandle> containers) { m_template_search = std::move(containers); }
  // The container the object container's "Template" names, or 0.
  StoreHandle ResolveTemplate(CVBContainer& container) const;
  // Makes the object of `own` by its template's "Type" from `loaders`,
  // named `name` (cut to 127 characters). Errors: no template, no loader,
  // or the loader's.
  std::unique_ptr<CWObject> CreateObject(std::string_view name, StoreHandle own, LoaderTable loaders,
                                         ErrCode* error);

  // Calls `handler` of `object` and traces the call on the "handlers"
  // channel, its arguments before the run and the values it gave back
  // after. A block compiled for another signature is compiled again in the
  // tool and refused in the game (BAD_PARAM_STRING); a block missing is
  // compiled in the tool only. A failed compile is logged once under the
  // script's path and tried again only when its source changes.
  ErrCode CallHandler(CWObject& object, const char* handler, const char* signature,
                      std::span<const SCallArg> args);
  uint32_t CallDepth() const { return m_depth; }
  // Compiled blocks fetched and decoded so far: a warm call adds none.
  uint64_t ProgramLoads() const { return m_program_loads; }

  // The loader tables of the creation sites.
  static LoaderTable ObjectLoaders();
  static LoaderTable SetLoaders();
  static LoaderTable ViewLoaders();

  // Views. Paths are below "/World/", names without "/" at either end.
  void SetDesktop(CDesktop* desktop) { m_desktop = desktop; }
  CDesktop* Desktop() const { return m_desktop; }
  CWindow* WindowById(uint32_t id) const;
  // The screen area of every view ("ViewRect" of "/World/").
  const TRect& ViewRect() const { return m_view_rect; }
  void SetViewRect(const TRect& rect) { m_view_rect = rect; }
  // The tool's edit mode: views are entered without their handlers.
  bool EditMode() const { return m_edit_mode; }
  bool IsView(std::string_view path) const;
  // Stores the change and queues it, unless the path is no view or a change
  // is pending already; the point travels along unused.
  void RequestView(std::string_view path, TPoint point, bool dissolve);
  // Carries out the pending change; "Unknown error" when no view is current
  // after it.
  ErrCode ChangeView();
  CWPlaneViewWindow* CurrentView() const { return m_view.get(); }
  // The current view's sets, innermost first.
  const std::vector<std::unique_ptr<CWViewSet>>& Chain() const { return m_chain; }
  // By view path, "/" at either end ignored.
  uint16_t TimesVisited(std::string_view path) const;
  // Dissolves the view to the picture, which then stays over it until the
  // next change; ignored while a change is pending or without a view.
  // INVALIDVALUE: no 8-bit picture of that name.
  ErrCode DissolveToImage(const char* name);
  // What the dissolve lays over the current view (null: nothing).
  const CWDissolve* Overlay() const { return m_dissolve.get(); }
  // Whether a change of view is dissolving, which drops clicks and keys.
  bool InputHeld() const;
  // What views and view sets need of the engine.
  std::unique_ptr<CBitmap> LoadPicture(const char* name) const;
  // The resource cache (null without a desktop).
  CResourceLoader* Resources() const;
  void ShowPalette(const CPalette& palette) const;
  // Sets a screen palette entry that later palettes keep while the world
  // lives.
  void FixColor(uint8_t index, uint8_t red, uint8_t green, uint8_t blue);
  uint32_t MakeViewWindow(CWPlaneViewWindow* view);
  void ShowSystemCursor(bool shown) const;
  // Moves the cursor to a point of the view.
  void WarpCursor(const CWPlaneViewWindow& view, TPoint point) const;
  // The cursor over the view: the picture at `path`, or the default for an
  // empty path. Without a view nothing changes; a picture that cannot be
  // had answers its error and changes nothing.
  ErrCode SetViewCursor(const std::string& path);
  // Whether sound recording runs: a press on the view then only stops it.
  bool Recording() const { return m_recording; }
  void SetRecording(bool recording) { m_recording = recording; }
  // The recorder Record starts (null: none).
  void SetRecorder(CRecorder* recorder) { m_recorder = recorder; }
  // Starts recording into `path` unless a recording runs.
  void StartRecording(const std::string& path);
  // Stops the recording, which writes its file, and tells the current view
  // ("OnRecordStop").
  void StopRecording();
  // The keyboard's modifier bits as the desktop saw them last.
  uint32_t Modifiers() const;
  // The world's own view set, whose objects come last in the search for
  // a map.
  void SetWorldSet(const CWViewSet* set) { m_world_set = set; }
  // The map of the current view: with the view's string "MapName" a new
  // map made from that path (handed over in `made`), else the first map
  // among the objects of the view, of its sets (innermost first) and of
  // the world's set. Null without one.
  CWMapObj* FindMap(std::unique_ptr<CWObject>* made);
  // Opens the map of the current view over it, unless one is open;
  // NOTFOUND without a map or a desktop. Closing it redraws the view.
  ErrCode OpenMap();
  // The open map, or null.
  CMapDialog* OpenedMap() const;
  bool IsEntered(const CWViewSet* set) const;
  void Left(const CWViewSet* set);

 private:
  CValueBase* m_base;
  CBFHP* m_store;
  CScriptMachine* m_machine;
  CEventQueue* m_queue;
  CWorldScheduler m_scheduler;
  bool m_tool_mode;
  int m_modal_level = 0;
  bool m_recording = false;
  CRecorder* m_recorder = nullptr;
  uint32_t m_next_serial = 1;
  uint32_t m_depth = 0;

  // Decoded code by compiled-block handle. Freeing any block of the store
  // or changing the globals starts a new era with an empty cache; entries
  // of objects hold the era their program came from.
  using Program = std::shared_ptr<const CDecodedBlock>;
  std::unordered_map<StoreHandle, Program> m_programs;
  uint32_t m_era = 1;
  uint32_t m_frees_seen = 0;
  uint32_t m_globals_seen = 0;
  uint64_t m_program_loads = 0;
  void DropStalePrograms();
  Program Decoded(StoreHandle code);
  // The handler's program, compiled first when needed and allowed; `call`
  // tells what the call comes to. A warm call finds it in the object's
  // entry; the rest is PrepareProgram's.
  ErrCode FindProgram(CWObject& object, const char* handler, const char* signature,
                      Program* program, SRunOutcome::ECall* call);
  ErrCode PrepareProgram(CWObject& object, CWObject::SHandler& found, const char* handler,
                         const char* signature, SRunOutcome::ECall* call);
  ErrCode Refuse(const CWObject& object, CWObject::SHandler& entry, const char* handler,
                 const char* signature);
  ErrCode Compile(CWObject::SHandler& entry, const char* handler, const char* signature);
  std::unordered_map<uint32_t, CWObject*> m_objects;
  std::vector<std::unique_ptr<CWObject>> m_doomed;  // until their event is over
  // Name -> serials, oldest first.
  std::unordered_map<std::string, std::vector<uint32_t>> m_names;
  std::vector<StoreHandle> m_template_search;
  StoreHandle m_templates = 0;
  // Takes `serial` out of the index under `name`.
  void Unfile(const std::string& name, uint32_t serial);

  struct SVisit {
    std::string name;
    uint16_t count;
  };
  std::unique_ptr<CWPlaneViewWindow> LoadView(std::string_view path, ErrCode* error);
  void LoadChain(std::string_view path, std::vector<std::unique_ptr<CWViewSet>>* chain);
  void CountVisit(const std::string& name);
  // Lays `picture` over the current view and starts the dissolve.
  void StartDissolve(std::unique_ptr<CBitmap> picture, bool away);
  // The dissolve's step due at `due`: redraws and schedules the next.
  void DissolveStep(uint32_t due);
  std::unique_ptr<CWDissolve> m_dissolve;
  uint32_t m_dissolve_start = 0;

  CDesktop* m_desktop = nullptr;
  TRect m_view_rect{0, 0, 639, 479};
  bool m_edit_mode = false;
  std::string m_pending;
  bool m_pending_dissolve = false;
  uint32_t m_change_target = 0;  // the queue's function that runs changes
  std::unique_ptr<CWPlaneViewWindow> m_view;
  // The view's sets, innermost first, and the sets entered now.
  std::vector<std::unique_ptr<CWViewSet>> m_chain;
  std::vector<const CWViewSet*> m_entered;
  std::vector<SVisit> m_visits;  // newest first
  const CWViewSet* m_world_set = nullptr;
  uint32_t m_map = 0;  // the open map's window id
  // Entries FixColor set, by index.
  std::map<uint8_t, std::array<uint8_t, 3>> m_fixed_colours;
};
