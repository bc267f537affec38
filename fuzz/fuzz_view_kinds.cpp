// A view whose objects of the visual kinds take their properties, types and
// values alike, from the bytes; the view is entered, run on the virtual
// clock with clicks in between, and left for an empty one.
//
// The bytes: the milliseconds of each run step (x 4), four clicks as x, y
// bytes (x 3, x 2), then objects, each a
// kind byte, a property count byte and per property a name byte, a type byte
// and the value: long 4 bytes, rect 4 x 2, point 2 x 2, str a byte choosing
// one of the known files or texts, or (128 and up) the length of a text
// whose characters come from a small alphabet; and three bytes more for the
// piece a decoration gets (place, name and mode, frames and delay). Texts
// get a line.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fs/mount_config.h"
#include "fs/replace.h"
#include "gfx/anim_writer.h"
#include "ui/test_windows.h"
#include "world/decoration.h"
#include "world/text.h"
#include "world/view.h"
#include "world_fuzz.h"

namespace {

constexpr const char* kKinds[] = {"Sprite", "Animation", "Text", "Decoration", "Paint", "Timer", "HotSpot"};

constexpr const char* kProperties[] = {
    "Pos",      "Polygon",  "Cols",      "ImageName", "Column",      "TColor",   "CacheSize",
    "Looping",  "AutoDelay", "SndObj",   "Safe",      "FontName",    "Color",    "LetterHL",
    "HLColor",  "SColor",   "Time",      "InPoint",   "OutPoint",    "InterruptTime", "Loop",
    "Active",   "Visible",  "ZOrder",    "Modal",     "Solid",       "Area",     "Attach",
    "AutoUpdate",
};

constexpr const char* kTypes[] = {"long", "str", "rect", "point"};

// The files the texts may name ("{dir}" is the rig's folder), and others.
constexpr const char* kTexts[] = {
    "{dir}strip.bmp", "{dir}back.bmp", "{dir}font.fnt", "blink",        "{dir}missing.bmp",
    "{dir}blink.ani", "missing",       "10,10;50,10;30,40", "0,0;600,0;600,400;0,400",
    "1,2;3",          "",              "{dir}piece.bmp",
};

constexpr char kAlphabet[] = "0123456789,;-./abAZ {}";

class CBytes {
 public:
  explicit CBytes(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
  bool Empty() const { return m_at >= m_bytes.size(); }
  uint8_t U8() { return Empty() ? 0 : m_bytes[m_at++]; }
  // Little-endian.
  uint32_t Bytes(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value |= uint32_t{U8()} << (8 * i);
    return value;
  }
  int16_t I16() { return static_cast<int16_t>(Bytes(2)); }
  int32_t I32() { return static_cast<int32_t>(Bytes(4)); }

 private:
  std::span<const uint8_t> m_bytes;
  size_t m_at = 0;
};

std::string Text(CBytes& bytes, const std::string& dir) {
  const uint8_t choice = bytes.U8();
  std::string text;
  if (choice < std::size(kTexts)) {
    text = kTexts[choice];
    if (const size_t at = text.find("{dir}"); at != std::string::npos) text.replace(at, 5, dir);
    return text;
  }
  for (int i = 128; i < choice; ++i) text += kAlphabet[bytes.U8() % (sizeof kAlphabet - 1)];
  return text;
}

// "<type>:<value>" of one property.
std::string Value(CBytes& bytes, const std::string& dir) {
  const uint8_t type = bytes.U8() % std::size(kTypes);
  std::string value = std::string(kTypes[type]) + ":";
  switch (type) {
    case 0: return value + std::to_string(bytes.I32());
    case 1: return value + Text(bytes, dir);
    case 2: {
      const int16_t l = bytes.I16(), t = bytes.I16(), r = bytes.I16(), b = bytes.I16();
      return value + std::to_string(l) + ", " + std::to_string(t) + ", " + std::to_string(r) + ", " +
             std::to_string(b);
    }
    default: {
      const int16_t x = bytes.I16(), y = bytes.I16();
      return value + std::to_string(x) + ", " + std::to_string(y);
    }
  }
}

struct SObject {
  std::string name;
  int kind;
  uint8_t piece[3];
};

// The tree: templates of the kinds, "Room" with the objects, empty "Hall".
std::string Tree(CBytes& bytes, const std::string& dir, std::vector<SObject>* objects) {
  std::string tree = "[/]\nTemplates=container\nWorld=container\n[/Templates/]\nPlaneView=container\n";
  std::string templates = "[/Templates/PlaneView/]\nType=str:PlaneView\n";
  for (const char* kind : kKinds) {
    tree += std::string(kind) + "=container\n";
    templates += "[/Templates/" + std::string(kind) + "/]\nType=str:" + kind + "\n";
  }
  std::string room = "[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:" + dir + "back.bmp\n";
  std::string sections;
  while (!bytes.Empty() && objects->size() < 16) {
    SObject object{"O" + std::to_string(objects->size()), bytes.U8() % static_cast<int>(std::size(kKinds)), {}};
    room += object.name + "=container\n";
    sections += "[/World/Room/" + object.name + "/]\nTemplate=str:" + kKinds[object.kind] + "\n";
    for (int count = bytes.U8() % 12; count > 0 && !bytes.Empty(); --count) {
      const char* property = kProperties[bytes.U8() % std::size(kProperties)];
      sections += std::string(property) + "=" + Value(bytes, dir) + "\n";
    }
    for (uint8_t& value : object.piece) value = bytes.U8();
    objects->push_back(object);
  }
  return tree + templates + "[/World/]\nRoom=container\nHall=container\n" + room + sections +
         "[/World/Hall/]\nTemplate=str:PlaneView\nImageName=str:" + dir + "back.bmp\n";
}

// Runs the world's work due over `ms` on the virtual clock.
void Run(CUiRig& rig, uint32_t ms) {
  const uint32_t until = rig.Queue().Now() + ms;
  for (uint32_t now; (now = rig.Queue().Now()) < until;) {
    rig.Pump();
    rig.Layer().Wait(until - rig.Queue().Now());
  }
  rig.Pump();
}

void Click(CUiRig& rig, TPoint point) {
  CDesktop& desktop = rig.Desktop();
  for (const uint32_t code : {kEvMouseMove, kEvLeftDown, kEvLeftUp})
    desktop.SendEvent(desktop.Id(), code, PackPoint(point), 0);
}

// What scripts would do first: a piece on each board, a line on each text.
void Furnish(CWorld& world, const std::vector<SObject>& objects, const std::string& dir) {
  for (const SObject& object : objects) {
    CWObject* found = world.FindByName(object.name);
    if (auto* board = KindOf<CDecoration>(found))
      board->AddPiece({static_cast<int16_t>(object.piece[0] % 40 - 8), 2}, dir + (object.piece[1] & 1 ? "piece" : "piece.bmp"),
                      object.piece[1] >> 1 & 3, object.piece[2] % 5, object.piece[2] >> 3);
    if (auto* text = KindOf<CText>(found)) text->TextOut("HELLO\nA LONGER LINE OF TEXT");
  }
}

void WriteFiles(const CTempDir& dir) {
  WritePicture(dir, "back.bmp", 64, std::vector<uint8_t>(64 * 48, 3));
  std::vector<uint8_t> strip(32 * 8);
  for (size_t i = 0; i < strip.size(); ++i) strip[i] = static_cast<uint8_t>(i % 32 < 16 ? 0 : i);
  WritePicture(dir, "strip.bmp", 32, strip);
  WritePicture(dir, "piece.bmp", 4, std::vector<uint8_t>(16, 9));
  WritePicture(dir, "piece1.bmp", 4, std::vector<uint8_t>(16, 10));
  WritePicture(dir, "piece2.bmp", 2, std::vector<uint8_t>(4, 0));
  WriteBoxFont(dir.Join("font.fnt"));
  // Three frames of 4 x 4 at 50 a second.
  SAnimFormat format{4, 4, 50, 2};
  CPalette palette;
  palette.SetCount(256);
  const std::vector<std::vector<uint8_t>> frames = {std::vector<uint8_t>(16, 1), std::vector<uint8_t>(16, 2),
                                                    {0, 3, 3, 0, 3, 0, 0, 3, 0, 0, 0, 0, 1, 1, 1, 1}};
  WriteReplacing(dir.Join("blink.ani").c_str(), 0,
                 [&](CFile& file) { return WriteAnimation(&file, format, palette, frames); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SHeadlessOptions options;
  options.idle_quit_ms = UINT32_MAX;
  CUiRig rig(std::make_unique<CHeadlessPlatform>(options));
  Tracer().Configure("", nullptr);
  WriteFiles(rig.Dir());
  const ConfigEntries mounts = {{"/anim/", "Trans, " + rig.Dir().Path()}};
  MountFromConfig(mounts);
  CBytes bytes({data, size});
  const uint32_t step_ms = bytes.U8() * 4u;
  TPoint clicks[4];
  for (TPoint& click : clicks) {
    const int x = bytes.U8() * 3;
    click = {static_cast<int16_t>(x), static_cast<int16_t>(bytes.U8() * 2)};
  }
  std::vector<SObject> objects;
  const std::string tree = Tree(bytes, rig.Dir().Path(), &objects);
  {
    CFuzzWorld fuzz(rig, tree);
    if (CWorld* world = fuzz.World()) {
      world->RequestView("Room", {0, 0}, false);
      Run(rig, 0);
      Furnish(*world, objects, rig.Dir().Path());
      for (const TPoint click : clicks) {
        Run(rig, step_ms);
        Click(rig, click);
      }
      Run(rig, step_ms);
      world->RequestView("Hall", {0, 0}, false);
      Run(rig, 0);
    }
  }
  UnmountFromConfig(mounts);
  return 0;
}
