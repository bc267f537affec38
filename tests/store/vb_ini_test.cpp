#include "store/vb_ini.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "store/hash_ini.h"
#include "store/value_base.h"
#include "store/vb_check.h"
#include "store/vb_walker.h"
#include "support/scratch_value_base.h"

namespace {

std::unique_ptr<CHashIni> NewIni() { return std::make_unique<CHashIni>(16, 64); }

using Keys = std::vector<std::array<const char*, 3>>;  // section, key, value

// Imports the keys into the base's root.
ErrCode Import(CScratchValueBase& base, const Keys& keys) {
  auto ini = NewIni();
  for (const auto& [section, key, value] : keys) ini->SetString(section, key, value);
  auto root = base.Root();
  return ImportIni(base.vb(), root.get(), ini.get());
}

const char* Get(const CHashIni& ini, const char* section, const char* key) {
  const char* value = ini.GetString(section, key);
  return value ? value : "<missing>";
}

// A tree with every kind of value, built through the text form itself.
std::unique_ptr<CHashIni> SampleTree() {
  auto ini = NewIni();
  ini->SetString("/", "n", "long:-5");
  ini->SetString("/", "s", "str:hello world");
  ini->SetString("/", "p", "point:1, -2");
  ini->SetString("/", "r", "rect:1, 2, 300, -400");
  ini->SetString("/", "Sub", "container");
  ini->SetString("/Sub/", "deep", "long:7");
  ini->SetString("/Sub/", "code", "script");
  const std::string source = "a;b\\c\n" + std::string(600, 'x') + "\nend";
  ini->SetString("/Sub/code", "Type", "34");
  ini->SetString("/Sub/code", "TextSize", std::to_string(source.size() + 1).c_str());
  ini->SetString("/Sub/code", "1", ".a\\sb\\\\c");
  ini->SetString("/Sub/code", "2", ("." + std::string(252, 'x') + "\\").c_str());
  ini->SetString("/Sub/code", "3", ("." + std::string(252, 'x') + "\\").c_str());
  ini->SetString("/Sub/code", "4", ("." + std::string(96, 'x')).c_str());
  ini->SetString("/Sub/code", "5", ".end");
  ini->SetString("/", "blob", "other");
  ini->SetString("/blob", "1", "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ");
  ini->SetString("/blob", "2", "a0 Ff");
  ini->SetString("/blob", "Size", "22");
  ini->SetString("/blob", "Type", "77");
  return ini;
}

TEST(VbIniTest, ImportReadsEveryForm) {
  CScratchValueBase base;
  auto root = base.Root();
  ASSERT_EQ(ImportIni(base.vb(), root.get(), SampleTree().get()), err::kOk);
  EXPECT_EQ(root->GetLong("n"), -5);
  EXPECT_STREQ(root->GetString("s"), "hello world");
  EXPECT_EQ(root->GetPoint("p").y, -2);
  EXPECT_EQ(root->GetRect("r").bottom, -400);
  const uint8_t* blob = root->GetValue("blob", 77);
  ASSERT_NE(blob, nullptr);
  ASSERT_EQ(ValueSize(blob), 22);
  EXPECT_EQ(blob[4], 0x00);
  EXPECT_EQ(blob[19], 0x0F);
  EXPECT_EQ(blob[20], 0xA0);
  EXPECT_EQ(blob[21], 0xFF);
  COpenContainer sub(base.vb(), base.vb()->OpenPath("/Sub", 0));
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->RefCount(), 1u);
  const uint8_t* code = sub->GetValue("code", kValueScript);
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(ValueSize(code), 12);
  EXPECT_EQ(ValueWord(code, 1), 0u);
  const std::vector<uint8_t>* text = base.vb()->GetData(ValueWord(code, 0));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(text->data())),
            "a;b\\c\n" + std::string(600, 'x') + "\nend");
  base.vb()->ReleaseData(ValueWord(code, 0));
}

// Keys and sections of an INI file ignore case, value names do not: of two
// names that differ only in case the export keeps one key, named as the
// first, with the value of the last, and only the last one's sections.
TEST(VbIniTest, ExportFollowsTheIniRulesForNamesDifferingInCase) {
  CScratchValueBase base;
  auto in = NewIni();
  ASSERT_EQ(in->LoadText("[/]\nBox=container\nx=long:0\na=long:1\nBOX=other\nA=container\n"
                         "[/Box/]\nb=long:2\nIn=container\n[/Box/In/]\nc=long:4\n"
                         "[/BOX]\n1=DE AD\nSize=6\nType=77\n[/A/]\nz=long:3\n"),
            err::kOk);
  auto out = NewIni();
  {
    auto root = base.Root();
    ASSERT_EQ(ImportIni(base.vb(), root.get(), in.get()), err::kOk);
    ASSERT_EQ(ExportIni(base.vb(), root.get(), out.get()), err::kOk);
  }
  EXPECT_EQ(out->Text(),
            "[/]\r\nBox=other\r\nx=long:0\r\na=container\r\n\r\n"
            "[/BOX]\r\n1=DE AD \r\nSize=6\r\nType=77\r\n\r\n"
            "[/A/]\r\nz=long:3\r\n\r\n");
}

TEST(VbIniTest, ExportWritesTheFormsAndRoundTrips) {
  CScratchValueBase base;
  auto ini = SampleTree();
  {
    auto root = base.Root();
    ASSERT_EQ(ImportIni(base.vb(), root.get(), ini.get()), err::kOk);
  }
  auto out = NewIni();
  {
    auto root = base.Root();
    ASSERT_EQ(ExportIni(base.vb(), root.get(), out.get()), err::kOk);
  }
  const std::string x252 = "." + std::string(252, 'x') + "\\";
  const std::string x96 = "." + std::string(96, 'x');
  const std::array<const char*, 3> expected[] = {
      {"/", "n", "long:-5"},            {"/", "p", "point:1, -2"},
      {"/", "r", "rect:1, 2, 300, -400"}, {"/", "Sub", "container"},
      {"/Sub/", "code", "script"},      {"/Sub/code", "Size", "12"},
      {"/Sub/code", "TextSize", "611"}, {"/Sub/code", "1", ".a\\sb\\\\c"},
      {"/Sub/code", "2", x252.c_str()}, {"/Sub/code", "4", x96.c_str()},
      {"/Sub/code", "5", ".end"},       {"/Sub/code", "6", "<missing>"},
      {"/blob", "1", "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "},
      {"/blob", "2", "A0 FF "},         {"/blob", "Size", "22"},
      {"/blob", "Type", "77"}};
  for (const auto& [section, key, value] : expected)
    EXPECT_STREQ(Get(*out, section, key), value) << section << key;

  // Into a second base and out again: the same text.
  CScratchValueBase copy;
  {
    auto root = copy.Root();
    ASSERT_EQ(ImportIni(copy.vb(), root.get(), out.get()), err::kOk);
  }
  auto again = NewIni();
  auto root = copy.Root();
  ASSERT_EQ(ExportIni(copy.vb(), root.get(), again.get()), err::kOk);
  EXPECT_EQ(again->Text(), out->Text());
  // Importing over the same tree replaces every value and frees what the
  // old ones held.
  ASSERT_EQ(ImportIni(copy.vb(), root.get(), out.get()), err::kOk);
  ASSERT_EQ(copy.vb()->Flush(), err::kOk);
  EXPECT_TRUE(CheckValueBase(copy.vb()).empty());
}

TEST(VbIniTest, ScriptLinesBreakAtEveryLineEnd) {
  CScratchValueBase base;
  // A lone "\" before a letter is dropped.
  ASSERT_EQ(Import(base, {{"/", "code", "script"},
                          {"/code", "Type", "34"},
                          {"/code", "TextSize", "99"},
                          {"/code", "1", ".x\\y"}}),
            err::kOk);
  auto root = base.Root();
  const uint8_t* code = root->GetValue("code", kValueScript);
  ASSERT_NE(code, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(base.vb()->GetData(ValueWord(code, 0))->data()),
               "xy\n");
  base.vb()->ReleaseData(ValueWord(code, 0));

  // CR LF, LF CR, CR and LF each end one line; an empty line stays.
  const std::string source = "a\r\nb\n\rc\rd\n\ne";
  CBFHP* store = base.vb()->Store();
  const StoreHandle block = store->NewHandle(static_cast<uint32_t>(source.size() + 1));
  ASSERT_EQ(store->Write(block, source.c_str(), 0, static_cast<uint32_t>(source.size() + 1)),
            err::kOk);
  const uint32_t payload[2] = {block, 0};
  ASSERT_EQ(root->SetValue("code", MakeValue(kValueScript, payload, 8).data()), err::kOk);
  auto out = NewIni();
  ASSERT_EQ(ExportIni(base.vb(), root.get(), out.get()), err::kOk);
  const char* lines[] = {".a", ".b", ".c", ".d", ".", ".e", "<missing>"};
  for (size_t i = 0; i < std::size(lines); ++i)
    EXPECT_STREQ(Get(*out, "/code", std::to_string(i + 1).c_str()), lines[i]);
  EXPECT_STREQ(Get(*out, "/code", "TextSize"), "13");
}

TEST(VbIniTest, BadTextGivesTheReadersErrors) {
  const std::string s1023 = "str:" + std::string(1023, 's');
  const std::string s1024 = "str:" + std::string(1024, 's');
  const std::string d100 = std::string(100, 'd'), section = "/" + d100 + "/";
  const std::string k26(26, 'k');
  const struct {
    const char* what;
    Keys keys;
    ErrCode expected;
  } cases[] = {
      {"1023 characters", {{"/", "s", s1023.c_str()}}, err::kOk},
      {"1024 characters", {{"/", "s", s1024.c_str()}}, err::kBadParams},
      {"no prefix", {{"/", "x", "lung:1"}}, err::kNotFound},
      {"bad hex", {{"/", "b", "other"}, {"/b", "1", "0G"}, {"/b", "Size", "5"}, {"/b", "Type", "9"}},
       err::kBadFormat},
      {"missing hex key", {{"/", "b", "other"}, {"/b", "1", "01 02"}, {"/b", "Size", "7"}, {"/b", "Type", "9"}},
       err::kBadFormat},
      {"size over 1024", {{"/", "b", "other"}, {"/b", "Size", "1025"}, {"/b", "Type", "9"}},
       err::kBadFormat},
      {"opaque container", {{"/", "b", "other"}, {"/b", "1", "01 00 00 00"}, {"/b", "Size", "8"}, {"/b", "Type", "1"}},
       err::kBadFormat},
      {"script of another type", {{"/", "c", "script"}, {"/c", "Type", "35"}}, err::kOk},
      {"path past the name buffer", {{"/", d100.c_str(), "container"}, {section.c_str(), k26.c_str(), "other"}},
       err::kBufferTooSmall},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CScratchValueBase base;
    EXPECT_EQ(Import(base, c.keys), c.expected);
  }
}

TEST(VbWalkerTest, StopsAndResumesAfterTheValue) {
  CScratchValueBase base;
  ASSERT_EQ(Import(base, {{"/", "a", "long:1"},
                          {"/", "B", "container"},
                          {"/B/", "c", "long:2"},
                          {"/B/", "D", "container"},
                          {"/B/D/", "e", "long:3"},
                          {"/", "f", "long:4"}}),
            err::kOk);
  CVBWalker walker(base.vb());
  std::vector<std::string> seen;
  std::string stop_at;
  auto visit = [&](CVBContainer*, const std::string&, const uint8_t*) {
    seen.push_back(walker.CurrentPath());
    return walker.CurrentPath() == stop_at ? 1 : 0;
  };
  stop_at = "B/c";
  EXPECT_EQ(walker.Walk(visit), err::kOk);
  EXPECT_EQ(walker.Position(), "B/c");
  stop_at = "B/D";
  EXPECT_EQ(walker.Walk(visit), err::kOk);
  stop_at.clear();
  EXPECT_EQ(walker.Walk(visit), err::kNotFound);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "B", "B/c", "B/D", "B/D/e", "f"}));
  EXPECT_EQ(walker.Position(), "");
  CVBWalker sub(base.vb(), "/B/");
  seen.clear();
  EXPECT_EQ(sub.Walk([&](CVBContainer*, const std::string& name, const uint8_t*) {
    seen.push_back(name);
    return 0;
  }),
            err::kNotFound);
  EXPECT_EQ(seen, (std::vector<std::string>{"c", "D", "e"}));
}

}  // namespace
