#include <gtest/gtest.h>

#include <vector>

#include "script/script_array.h"
#include "script/string_leak_check.h"
#include "store/hash_ini.h"

namespace {

class ScriptArray : public CStrLeakTest {
 protected:
  void TearDown() override {
    m_arrays.Clear();
    CStrLeakTest::TearDown();
  }

  CScriptArray* IntArray(const char* name, std::vector<int32_t> values) {
    EXPECT_TRUE(m_arrays.Define(name, "int", static_cast<int32_t>(values.size())));
    CScriptArray* array = m_arrays.Find(name);
    for (size_t i = 0; i < values.size(); ++i) array->SetInt(static_cast<int32_t>(i), values[i]);
    return array;
  }
  static std::vector<int32_t> Ints(const CScriptArray& array) {
    std::vector<int32_t> values;
    for (int32_t i = 0; i < array.Size(); ++i) values.push_back(array.GetInt(i));
    return values;
  }

  CScriptArrays m_arrays;
};

TEST_F(ScriptArray, DefinitionRules) {
  struct SCase {
    const char* name;
    const char* type;
    int32_t size;
    bool defined;
  };
  const SCase cases[] = {
      {"a", "int", 1, true},       {"a", "int", 1, false},  // existing name
      {"A", "str", 65535, true},   // names are case-sensitive
      {"p", "TPoint", 2, true},    {"r", "TRect", 3, true},
      {"x", "float", 1, false},    {"y", "Int", 1, false},   {"z", "int", 0, false},
      {"z", "int", 65536, false},  {"z", "int", -1, false},
  };
  for (const SCase& c : cases)
    EXPECT_EQ(m_arrays.Define(c.name, c.type, c.size), c.defined) << c.name << c.type << c.size;
  // Newest first.
  ASSERT_EQ(m_arrays.Count(), 4u);
  EXPECT_EQ(m_arrays.Arrays().front().Name(), "r");
  EXPECT_EQ(m_arrays.Find("p")->GetPoint(1).y, 0);
  EXPECT_TRUE(m_arrays.Undefine("a"));
  EXPECT_FALSE(m_arrays.Undefine("a"));
  EXPECT_EQ(m_arrays.Find("a"), nullptr);
}

TEST_F(ScriptArray, AccessChecksAndDiagnostic) {
  CScriptArray* array = IntArray("Score", {5, 6, 7});
  EXPECT_TRUE(array->Accepts(EArrayType::kInt, 2));
  EXPECT_FALSE(array->Accepts(EArrayType::kInt, 3));
  EXPECT_FALSE(array->Accepts(EArrayType::kInt, -1));
  EXPECT_FALSE(array->Accepts(EArrayType::kStr, 0));
  EXPECT_EQ(array->AccessText(3), "Arr Score, type 1, size 3, idx 3");
}

TEST_F(ScriptArray, StringElementsOwnReferences) {
  ASSERT_TRUE(m_arrays.Define("names", "str", 2));
  CScriptArray* array = m_arrays.Find("names");
  const StrHandle s = StrNew("tiger");
  array->SetStr(0, s);
  EXPECT_EQ(StrRefCount(s), 2);
  array->SetStr(1, s);
  array->SetStr(1, 0);
  EXPECT_EQ(StrRefCount(s), 2);
  EXPECT_EQ(array->GetStr(0), s);
  StrRelease(s);
  m_arrays.Undefine("names");  // releases the last reference
}

TEST_F(ScriptArray, Finding) {
  CScriptArray* ints = IntArray("i", {4, 9, 4, 1});
  struct SCase {
    int32_t value, from;
    bool found;
    int32_t index;
  };
  const SCase cases[] = {{4, 0, true, 0}, {4, 1, true, 2}, {4, 3, false, 3},
                         {1, 0, true, 3}, {9, -1, false, -1}, {9, 65536, false, 65536}};
  for (const SCase& c : cases) {
    int32_t index = c.from;
    EXPECT_EQ(ints->FindInt(c.value, &index), c.found);
    EXPECT_EQ(index, c.index);
  }
  ASSERT_TRUE(m_arrays.Define("s", "str", 3));
  CScriptArray* strs = m_arrays.Find("s");
  const StrHandle cat = StrNew("cat");
  const StrHandle other_cat = StrNew("cat");
  strs->SetStr(2, cat);
  int32_t index = 0;
  EXPECT_TRUE(strs->FindStr(other_cat, &index));
  EXPECT_EQ(index, 2);
  index = 0;
  EXPECT_FALSE(strs->FindStr(0, &index));  // null never matches
  EXPECT_FALSE(ints->FindStr(cat, &index));
  StrRelease(cat);
  StrRelease(other_cat);
}

// Draws from state 1 are r = 41, 18467, 6334.
TEST_F(ScriptArray, ScrambleSwapsWholeGroups) {
  // i = 0: Between(0, 2) with r 41: 82 / 32767 = 0, j = 0.
  // i = 1: Between(1, 2) with r 18467: remainder 18467 > 16383, j = 2.
  // i = 2: Between(2, 2): j = 2.
  CScriptArray* singles = IntArray("a", {10, 20, 30});
  CRandom random(1);
  EXPECT_TRUE(singles->Scramble(0, 3, 1, random));
  EXPECT_EQ(Ints(*singles), (std::vector<int32_t>{10, 30, 20}));

  CScriptArray* pairs = IntArray("b", {0, 1, 2, 3, 4, 5, 6, 7});
  random.Seed(1);
  EXPECT_TRUE(pairs->Scramble(1, 3, 2, random));
  EXPECT_EQ(Ints(*pairs), (std::vector<int32_t>{0, 1, 2, 5, 6, 3, 4, 7}));
  EXPECT_EQ(random.State(), 415139642u);  // three draws

  random.Seed(1);
  EXPECT_FALSE(pairs->Scramble(3, 3, 2, random));  // 3 + 6 > 8
  EXPECT_FALSE(pairs->Scramble(-1, 1, 1, random));
  EXPECT_EQ(random.State(), 1u);
  EXPECT_TRUE(pairs->Scramble(2, 3, 2, random));  // 2 + 6 = 8 fits
}

TEST_F(ScriptArray, Scramble2PermutesStridedElements) {
  // count 4: k = 0 draws Between(0, 2) = 0, k = 1 Between(1, 2) = 2 (swap
  // p1, p2), k = 2 Between(2, 2); p = 0 2 1 3, no neighbours 2k, 2k+1.
  // The element at i moves to p[i].
  CScriptArray* four = IntArray("f", {10, 20, 30, 40});
  CRandom random(1);
  EXPECT_TRUE(four->Scramble2(0, 4, 1, random));
  EXPECT_EQ(Ints(*four), (std::vector<int32_t>{10, 30, 20, 40}));

  // count 3, stride 2: k = 0 Between(0, 1) with r 41 = 0, k = 1 Between(1, 1);
  // p = 0 1 2, and p0, p1 differ in the lowest bit: swap p1, p2: 0 2 1.
  CScriptArray* strided = IntArray("s", {0, 10, 20, 30, 40, 50});
  random.Seed(1);
  EXPECT_TRUE(strided->Scramble2(0, 3, 2, random));
  EXPECT_EQ(Ints(*strided), (std::vector<int32_t>{0, 10, 40, 30, 20, 50}));
  EXPECT_FALSE(strided->Scramble2(1, 3, 2, random));  // 1 + 6 > 6
  EXPECT_FALSE(strided->Scramble2(0, 64, 0, random));

  // count 2 can never be separated: one restart, then the order reached.
  CScriptArray* two = IntArray("t", {1, 2});
  EXPECT_TRUE(two->Scramble2(0, 2, 1, random));
  EXPECT_EQ(Ints(*two), (std::vector<int32_t>{2, 1}));
}

TEST_F(ScriptArray, PersistenceFormWrittenAndRead) {
  ASSERT_TRUE(m_arrays.Define("first", "int", 2));
  ASSERT_TRUE(m_arrays.Define("pts", "TPoint", 1));
  ASSERT_TRUE(m_arrays.Define("rects", "TRect", 1));
  ASSERT_TRUE(m_arrays.Define("words", "str", 3));
  m_arrays.Find("first")->SetInt(1, -7);
  m_arrays.Find("pts")->SetPoint(0, {3, -4});
  m_arrays.Find("rects")->SetRect(0, {1, 2, 30, -40});
  const StrHandle word = StrNew("owl");
  m_arrays.Find("words")->SetStr(1, word);
  StrRelease(word);

  CHashIni ini(7, 31);
  m_arrays.Save(&ini);
  EXPECT_EQ(ini.Text(),
            "[Arrays]\r\nfirst=\r\npts=\r\nrects=\r\nwords=\r\n\r\n"
            "[first]\r\nCount=2\r\nType=int\r\n0=0\r\n1=-7\r\n\r\n"
            "[pts]\r\nCount=1\r\nType=TPoint\r\n0=3, -4\r\n\r\n"
            "[rects]\r\nCount=1\r\nType=TRect\r\n0=1, 2, 30, -40\r\n\r\n"
            "[words]\r\nCount=3\r\nType=str\r\n1=owl\r\n\r\n");

  CHashIni text(7, 31);
  ASSERT_EQ(text.LoadText(ini.Text()), err::kOk);
  m_arrays.Load(text);
  ASSERT_EQ(m_arrays.Count(), 4u);
  EXPECT_EQ(m_arrays.Arrays().front().Name(), "words");  // the order survives
  EXPECT_EQ(m_arrays.Find("first")->GetInt(1), -7);
  EXPECT_EQ(m_arrays.Find("pts")->GetPoint(0).y, -4);
  EXPECT_EQ(m_arrays.Find("rects")->GetRect(0).bottom, -40);
  EXPECT_EQ(CStrText(m_arrays.Find("words")->GetStr(1)).view(), "owl");
  EXPECT_EQ(m_arrays.Find("words")->GetStr(0), 0u);
}

TEST_F(ScriptArray, LoadSkipsBadEntries) {
  ASSERT_TRUE(m_arrays.Define("old", "int", 1));
  CHashIni ini(7, 31);
  ASSERT_EQ(ini.LoadText("[Arrays]\nok\nnocount\nbadtype\nmissing\nok\nOK\n"
                         "[ok]\nCount=3\nType=int\n0=5\n2=x\n7=9\n01=8\n-1=4\n"
                         "[nocount]\nType=int\n"
                         "[badtype]\nCount=1\nType=float\n"),
            err::kOk);
  m_arrays.Load(ini);
  ASSERT_EQ(m_arrays.Count(), 1u);
  // "2=x" does not parse; "7" lies outside; "01" names element 1.
  EXPECT_EQ(Ints(*m_arrays.Find("ok")), (std::vector<int32_t>{5, 8, 0}));
}

}  // namespace
