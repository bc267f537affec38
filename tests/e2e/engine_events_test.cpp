// One view full of objects, played headless in the game and in the tool:
// the handlers trace shows every call the clicks, moves and keys of the
// input script lead to, in order, as written here by hand.
#include <gtest/gtest.h>

#include <algorithm>

#include "game_run.h"

namespace {

// Room's objects, all hot spots of 100 x 100 pixels or smaller:
//   A (0,0)    B (100,0)    C (200,0)    Lamp (300,0)    Exit (500,0)
//   Any (0,100, every modal level)       Later (100,100, modal level 1)
//   Box (0,200) Stuck (100,200) Sticky (200,200) Basket (300,200)
//   Mover (500,400), ticking every second.
// Lamp's only handler is its template Lantern's; Deep's background has 24
// bits.
std::string WorldIni(const std::string& picture, const std::string& deep) {
  std::string ini =
      "[/]\r\nWorld=container\r\nTemplates=container\r\nGlobals=container\r\n"
      "[/Globals/]\r\nn=long:0\r\n"
      "[/Templates/]\r\nPlaneView=container\r\nViewSet=container\r\nHotSpot=container\r\n"
      "Lantern=container\r\n"
      "[/Templates/PlaneView/]\r\nType=str:PlaneView\r\n"
      "[/Templates/ViewSet/]\r\nType=str:ViewSet\r\n"
      "[/Templates/HotSpot/]\r\nType=str:HotSpot\r\n"
      "[/Templates/Lantern/]\r\nType=str:HotSpot\r\n"
      "[/World/]\r\nTemplate=str:ViewSet\r\nRoom=container\r\nDeep=container\r\n"
      "[/World/Deep/]\r\nTemplate=str:PlaneView\r\nImageName=str:" + deep + "\r\n"
      "[/World/Room/]\r\nTemplate=str:PlaneView\r\nImageName=str:" + picture + "\r\n";
  std::string objects;
  const auto object = [&](const std::string& name, const std::string& pos, const std::string& more,
                           const char* templ = "HotSpot") {
    ini += name + "=container\r\n";
    objects += "[/World/Room/" + name + "/]\r\nTemplate=str:" + templ +
               "\r\nActive=long:1\r\nPos=rect:" + pos + "\r\n" + more;
  };
  object("A", "0, 0, 99, 99", "");
  object("B", "100, 0, 199, 99", "");
  object("C", "200, 0, 299, 99", "");
  object("Lamp", "300, 0, 399, 99", "", "Lantern");
  object("Exit", "500, 0, 599, 99", "");
  object("Any", "0, 100, 99, 199", "Modal=long:-1\r\n");
  object("Later", "100, 100, 199, 199", "Modal=long:1\r\n");
  object("Box", "0, 200, 49, 249", "Attach=long:1\r\n");
  object("Stuck", "100, 200, 149, 249", "Attach=long:1\r\n");
  object("Sticky", "200, 200, 249, 249", "Attach=long:1\r\n");
  object("Basket", "300, 200, 399, 299", "");
  object("Mover", "500, 400, 509, 409", "AutoUpdate=long:1000\r\n");
  return ini + objects;
}

class EngineEventsTest : public GameRunTest {
 protected:
  void SetUp() override {
    m_game.WriteFile("tool.ini", GameConfig("autorun=intro\n"));
    m_game.WriteFile("back.bmp", GamePicture());
    m_game.WriteFile("deep.bmp", GamePicture(24));
    m_game.WriteFile("src/world.ini", WorldIni(m_game.Join("back.bmp"), m_game.Join("deep.bmp")));
    const std::pair<const char*, const char*> scripts[] = {
        {"World/OnNew", "GoToView(\"Room\", 0, 0);\n"},
        {"World/OnNIS", ";\n"},
        // A's clicks are taken away, B's go to C.
        {"World/Room/OnClick",
         "// signature: void, int x, int y, str name\n"
         "if name == \"A\" then { name = \"\"; }\nif name == \"B\" then { name = \"C\"; }\n"},
        {"World/Room/SecretSwitch", ";\n"},
        {"World/Room/A/OnMouseEnter", ";\n"},
        {"World/Room/A/OnMouseExit", ";\n"},
        {"World/Room/B/OnMouseEnter", ";\n"},
        {"World/Room/B/OnLButtonDown", ";\n"},
        {"World/Room/C/OnLButtonDown", ";\n"},
        {"Templates/Lantern/OnLButtonDown", ";\n"},
        {"World/Room/Exit/OnLButtonDown", "GoToView(\"Deep\", 0, 0);\n"},
        {"World/Room/Any/OnLButtonDown", ";\n"},
        {"World/Room/Later/OnLButtonDown", ";\n"},
        {"World/Room/Stuck/OnAttach", "return false;\n"},
        // Sticky stays on the cursor at the first drop only.
        {"World/Room/Sticky/OnDetach", "n = n + 1;\nreturn n > 1;\n"},
        {"World/Room/Basket/Accept", "x = 450;\ny = 300;\nreturn true;\n"},
        {"World/Room/Mover/IsActive", "return true;\n"},
        {"World/Room/Mover/CalcPos", "x = x + 10;\n"},
    };
    for (const auto& [path, text] : scripts) m_game.WriteFile(std::string("src/") + path + ".tvs", text);
  }

  // The input, `dy` pixels lower in the tool, whose menu bar moves the view.
  static std::string Input(int dy) {
    const std::pair<int, const char*> events[] = {
        {100, "move 50 50"},     {200, "move 150 50"},    {300, "ldown 150 50"},
        {310, "lup 150 50"},     {400, "move 50 50"},     {500, "ldown 50 50"},
        {510, "lup 50 50"},      {600, "move 350 50"},    {700, "rdown 350 50"},
        {710, "rup 350 50"},     {800, "move 50 150"},    {900, "ldown 50 150"},
        {910, "lup 50 150"},     {1200, "move 150 150"},  {1300, "ldown 150 150"},
        {1310, "lup 150 150"},   {1400, "move 25 225"},   {1500, "ldown 25 225"},
        {1510, "lup 25 225"},    {1600, "move 335 235"},  {1700, "ldown 335 235"},
        {1710, "lup 335 235"},   {1800, "move 475 325"},  {1900, "ldown 475 325"},
        {1910, "lup 475 325"},   {2200, "move 25 425"},   {2300, "ldown 25 425"},
        {2310, "lup 25 425"},    {2400, "move 125 225"},  {2500, "ldown 125 225"},
        {2510, "lup 125 225"},   {2600, "move 225 225"},  {2700, "ldown 225 225"},
        {2710, "lup 225 225"},   {2800, "move 25 425"},   {2900, "ldown 25 425"},
        {2910, "lup 25 425"},    {3200, "ldown 25 425"},  {3210, "lup 25 425"},
        {3300, "key 82 +ctrl"},  {3400, "key 27"},        {3500, "move 550 50"},
        {3600, "ldown 550 50"},  {3610, "lup 550 50"},
    };
    std::string input;
    for (const auto& [at, event] : events) {
      std::istringstream words(event);
      std::string verb;
      int x = 0, y = 0;
      words >> verb;
      input += std::to_string(at) + " " + verb;
      if (words >> x >> y) {
        input += " " + std::to_string(x) + " " + std::to_string(y + dy);
      } else {
        input += event + verb.size();
      }
      input += "\n";
    }
    return input + "3700 quit\n";
  }

  // The handlers and views lines from the room's entry on, without times;
  // `ticks` gets the times of Mover's ticks after the entry.
  std::vector<std::string> Story(std::vector<uint32_t>* ticks) const {
    std::vector<std::string> story;
    uint32_t entered = 0;
    bool in_room = false;
    for (const std::string& traced : TraceLines()) {
      const std::string line = WithoutTime(traced);
      if (line == "views\tcurrent\tRoom\t1") {
        in_room = true;
        entered = static_cast<uint32_t>(std::stoul(traced));
        continue;
      }
      if (!in_room || line.starts_with("stats\t")) continue;
      story.push_back(line);
      if (line.starts_with("handlers\tcall\t0\tMover\tIsActive"))
        ticks->push_back(static_cast<uint32_t>(std::stoul(traced)) - entered);
    }
    return story;
  }
};

// What the objects hear, by hand from the order the engine calls them in.
// `game`: the right button counts as the left one; `c_compiled`: whether
// C's handler has code, which the game needs.
std::vector<std::string> ExpectedStory(bool game, bool c_compiled = true) {
  const auto call = [](const std::string& object, const std::string& handler,
                       const std::string& outcome, const std::string& args = "") {
    return "handlers\tcall\t0\t" + object + "\t" + handler + "\t" + outcome + args;
  };
  const auto ret = [](const std::string& object, const std::string& handler,
                      const std::string& values = "") {
    return "handlers\treturn\t0\t" + object + "\t" + handler + values;
  };
  // A handler that runs, with its arguments and what it gave back.
  const auto run = [&](const std::string& object, const std::string& handler,
                       const std::string& args = "", const std::string& values = "") {
    return std::vector<std::string>{call(object, handler, "run", args), ret(object, handler, values)};
  };
  const auto at = [](int x, int y, const std::string& name) {
    return "\t" + std::to_string(x) + "\t" + std::to_string(y) + "\t\"" + name + "\"";
  };
  const auto local = [](int x, int y) { return "\t" + std::to_string(x) + "\t" + std::to_string(y); };
  const auto tick = [&](int x) {
    // "IsActive" starts from the Active flag.
    std::vector<std::string> lines = run("Mover", "IsActive", "\ttrue", "\ttrue");
    const std::vector<std::string> calc =
        run("Mover", "CalcPos", local(x, 400), local(x + 10, 400));
    lines.insert(lines.end(), calc.begin(), calc.end());
    return lines;
  };
  std::vector<std::vector<std::string>> parts = {
      // Into the view over A, then from A to B: A is left before B is entered.
      run("A", "OnMouseEnter"),
      {call("Room", "OnMouseEnter", "missing", at(50, 50, "A"))},
      run("A", "OnMouseExit"),
      {call("Room", "OnMouseExit", "missing", at(150, 50, "A"))},
      run("B", "OnMouseEnter"),
      {call("Room", "OnMouseEnter", "missing", at(150, 50, "B"))},
      // B's press goes to C, in C's own coordinates; B hears the release.
      run("Room", "OnClick", at(150, 50, "B")),
      c_compiled ? run("C", "OnLButtonDown", local(-50, 50))
                 : std::vector<std::string>{call("C", "OnLButtonDown", "uncompiled", local(-50, 50))},
      {call("B", "OnLButtonUp", "missing", local(50, 50))},
      {call("B", "OnMouseExit", "missing"), call("Room", "OnMouseExit", "missing", at(50, 50, "B"))},
      run("A", "OnMouseEnter"),
      {call("Room", "OnMouseEnter", "missing", at(50, 50, "A"))},
      // A's press is taken away.
      run("Room", "OnClick", at(50, 50, "A")),
      {call("A", "OnLButtonUp", "missing", local(50, 50))},
      run("A", "OnMouseExit"),
      {call("Room", "OnMouseExit", "missing", at(350, 50, "A")), call("Lamp", "OnMouseEnter", "missing"),
       call("Room", "OnMouseEnter", "missing", at(350, 50, "Lamp"))},
  };
  // The right button: a left press in the game, the template's handler.
  if (game) {
    parts.push_back(run("Room", "OnClick", at(350, 50, "Lamp")));
    parts.push_back(run("Lamp", "OnLButtonDown", local(50, 50)));
  } else {
    parts.push_back({call("Lamp", "OnRButtonDown", "missing", local(50, 50))});
  }
  const std::vector<std::vector<std::string>> rest = {
      {call("Lamp", "OnRButtonUp", "missing", local(50, 50)), call("Lamp", "OnMouseExit", "missing"),
       call("Room", "OnMouseExit", "missing", at(50, 150, "Lamp")), call("Any", "OnMouseEnter", "missing"),
       call("Room", "OnMouseEnter", "missing", at(50, 150, "Any"))},
      // Modal -1 hears the press at level 0; Later (level 1) is not even hit.
      run("Room", "OnClick", at(50, 150, "Any")),
      run("Any", "OnLButtonDown", local(50, 50)),
      {call("Any", "OnLButtonUp", "missing", local(50, 50))},
      tick(500),
      {call("Any", "OnMouseExit", "missing"), call("Room", "OnMouseExit", "missing", at(150, 150, "Any"))},
      run("Room", "OnClick", at(150, 150, "")),
      // Box, taken 25 pixels in, goes into the basket, which puts it at (450, 300).
      {call("Box", "OnMouseEnter", "missing"), call("Room", "OnMouseEnter", "missing", at(25, 225, "Box"))},
      run("Room", "OnClick", at(25, 225, "Box")),
      {call("Box", "OnLButtonDown", "missing", local(25, 25)),
       call("Box", "OnAttach", "missing", "\ttrue\t25\t25"), call("Box", "OnMouseExit", "missing"),
       call("Room", "OnMouseExit", "missing", at(25, 225, "Box"))},
      {call("Basket", "OnMouseEnter", "missing"), call("Room", "OnMouseEnter", "missing", at(335, 235, "Basket"))},
      run("Basket", "Accept", "\tfalse\t\"Box\"\t310\t210\t50\t50", "\ttrue\t450\t300"),
      {call("Box", "OnDetach", "missing", "\ttrue\t\"Basket\"\t{450, 300, 499, 349}")},
      run("Room", "OnClick", at(335, 235, "Basket")),
      {call("Basket", "OnLButtonDown", "missing", local(35, 35)),
       call("Basket", "OnLButtonUp", "missing", local(35, 35)), call("Basket", "OnMouseExit", "missing"),
       call("Room", "OnMouseExit", "missing", at(475, 325, "Basket")), call("Box", "OnMouseEnter", "missing"),
       call("Room", "OnMouseEnter", "missing", at(475, 325, "Box"))},
      // Taken again and dropped where nobody takes it: home to its "Pos".
      run("Room", "OnClick", at(475, 325, "Box")),
      {call("Box", "OnLButtonDown", "missing", local(25, 25)),
       call("Box", "OnAttach", "missing", "\ttrue\t25\t25"), call("Box", "OnMouseExit", "missing"),
       call("Room", "OnMouseExit", "missing", at(475, 325, "Box"))},
      tick(510),
      {call("Box", "OnDetach", "missing", "\ttrue\t\"\"\t{0, 200, 49, 249}")},
      run("Room", "OnClick", at(25, 425, "")),
      // Stuck will not come; Sticky will not go at the first drop.
      {call("Stuck", "OnMouseEnter", "missing"), call("Room", "OnMouseEnter", "missing", at(125, 225, "Stuck"))},
      run("Room", "OnClick", at(125, 225, "Stuck")),
      {call("Stuck", "OnLButtonDown", "missing", local(25, 25))},
      run("Stuck", "OnAttach", "\ttrue\t25\t25", "\tfalse\t25\t25"),
      {call("Stuck", "OnLButtonUp", "missing", local(25, 25)), call("Stuck", "OnMouseExit", "missing"),
       call("Room", "OnMouseExit", "missing", at(225, 225, "Stuck")), call("Sticky", "OnMouseEnter", "missing"),
       call("Room", "OnMouseEnter", "missing", at(225, 225, "Sticky"))},
      run("Room", "OnClick", at(225, 225, "Sticky")),
      {call("Sticky", "OnLButtonDown", "missing", local(25, 25)),
       call("Sticky", "OnAttach", "missing", "\ttrue\t25\t25"), call("Sticky", "OnMouseExit", "missing"),
       call("Room", "OnMouseExit", "missing", at(225, 225, "Sticky"))},
      run("Sticky", "OnDetach", "\ttrue\t\"\"\t{200, 200, 249, 249}", "\tfalse\t{200, 200, 249, 249}"),
      tick(520),
      run("Sticky", "OnDetach", "\ttrue\t\"\"\t{200, 200, 249, 249}", "\ttrue\t{200, 200, 249, 249}"),
      run("Room", "OnClick", at(25, 425, "")),
      // Ctrl+R, Escape, and the way out to a view that cannot be shown.
      run("Room", "SecretSwitch"),
      run("World", "OnNIS"),
      {call("Exit", "OnMouseEnter", "missing"), call("Room", "OnMouseEnter", "missing", at(550, 50, "Exit"))},
      run("Room", "OnClick", at(550, 50, "Exit")),
      {call("Exit", "OnLButtonDown", "run", local(50, 50)), "views\trequest\tDeep\t0\tqueued",
       ret("Exit", "OnLButtonDown"), "views\tleave\tRoom", call("Room", "OnExit", "missing"),
       "views\tenter\tDeep", "views\tcurrent\t\t0"},
  };
  parts.insert(parts.end(), rest.begin(), rest.end());
  std::vector<std::string> story;
  for (const auto& part : parts) story.insert(story.end(), part.begin(), part.end());
  return story;
}

}  // namespace

TEST_F(EngineEventsTest, TheGameAndTheToolCallTheHandlersInTheOrderOfTheirEvents) {
  const SProcessResult built = Build();
  ASSERT_EQ(built.exit_code, 0) << built.err;
  const std::vector<uint32_t> seconds = {1000, 2000, 3000};

  ASSERT_EQ(Play({}, Input(0)).exit_code, 0);
  std::vector<uint32_t> ticks;
  EXPECT_EQ(Story(&ticks), ExpectedStory(true));
  EXPECT_EQ(ticks, seconds);
  // The run's figures at its end: the quit's time, and every handler that
  // ran, "OnNew" before the room among them.
  const std::vector<std::string> lines = TraceLines();
  const auto ran = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("\thandlers\tcall\t") != std::string::npos && line.find("\trun") != std::string::npos;
  });
  const std::string stats = WithoutTime(lines.back());
  EXPECT_TRUE(stats.starts_with("stats\tvirtual_ms=3700\tframes=")) << stats;
  EXPECT_NE(stats.find("\thandler_calls=" + std::to_string(ran) + "\tcpu_ms="), std::string::npos) << stats;

  ASSERT_EQ(Play({"-tool"}, Input(20)).exit_code, 0);
  ticks.clear();
  EXPECT_EQ(Story(&ticks), ExpectedStory(false));
  EXPECT_EQ(ticks, seconds);
}

// A script without code is missing to the game; the tool compiles it at its
// first call and keeps the code when it closes, and the game then plays it.
TEST_F(EngineEventsTest, TheToolCompilesWhatTheGameCannotRunAndKeepsItForTheGame) {
  ASSERT_EQ(Build().exit_code, 0);
  const std::string project = m_game.Join("game.prj");
  ASSERT_EQ(Tvkit({"vb", "rm", project, "/World/Room/C/OnLButtonDown"}).exit_code, 0);
  m_game.WriteFile("c.ini", "[/]\r\nOnLButtonDown=script\r\n"
                            "[/OnLButtonDown]\r\nSize=12\r\nType=34\r\nTextSize=3\r\n1=.\\s\r\n");
  ASSERT_EQ(Tvkit({"vb", "import", project, m_game.Join("c.ini"), "/World/Room/C/"}).exit_code, 0);
  std::vector<uint32_t> ticks;
  ASSERT_EQ(Play({}, Input(0)).exit_code, 0);
  EXPECT_EQ(Story(&ticks), ExpectedStory(true, false));
  ASSERT_EQ(Play({"-tool"}, Input(20)).exit_code, 0);
  EXPECT_EQ(Story(&ticks), ExpectedStory(false));
  ASSERT_EQ(Play({}, Input(0)).exit_code, 0);
  EXPECT_EQ(Story(&ticks), ExpectedStory(true));
}
