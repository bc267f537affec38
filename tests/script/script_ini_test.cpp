#include <gtest/gtest.h>

#include "script/script_array.h"
#include "script/script_ini.h"
#include "script/string_leak_check.h"
#include "support/mem_fs.h"

namespace {

class ScriptIni : public CMemFsTest {
 protected:
  void SetUp() override {
    CMemFsTest::SetUp();
    m_start = StrLiveCount();
  }
  void TearDown() override {
    m_inis.Clear();
    m_arrays.Clear();
    EXPECT_EQ(StrLiveCount(), m_start);
    CMemFsTest::TearDown();
  }

  CScriptInis m_inis;
  CScriptArrays m_arrays;
  size_t m_start = 0;
};

TEST_F(ScriptIni, LookupsAreCaseSensitiveOnKeys) {
  Put("words.ini", "[Animals]\nCat=Tiger\ncat=lion\n[Sizes]\n0=3\n2=-1\n");
  EXPECT_TRUE(m_inis.Define("/mem/words.ini"));
  EXPECT_FALSE(m_inis.Define("/mem/words.ini"));
  EXPECT_FALSE(m_inis.Define("/mem/none.ini"));
  struct SCase {
    const char* section;
    const char* key;
    const char* value;  // null: no string
  };
  const SCase cases[] = {{"Animals", "Cat", "Tiger"}, {"Animals", "cat", "lion"},
                         {"Animals", "CAT", nullptr}, {"Plants", "Cat", nullptr}};
  for (const SCase& c : cases) {
    const StrHandle value = m_inis.Get("/mem/words.ini", c.section, c.key);
    if (c.value) {
      EXPECT_EQ(CStrText(value).view(), c.value);
    } else {
      EXPECT_EQ(value, 0u);
    }
    StrRelease(value);
  }
  EXPECT_EQ(m_inis.Get("/mem/other.ini", "Animals", "Cat"), 0u);

  // ArrLoad's source: element keys of a section.
  ASSERT_TRUE(m_arrays.Define("n", "int", 3));
  CScriptArray* array = m_arrays.Find("n");
  array->SetInt(1, 42);
  array->Fill(*m_inis.Find("/mem/words.ini"), "Sizes");
  EXPECT_EQ(array->GetInt(0), 3);
  EXPECT_EQ(array->GetInt(1), 42);
  EXPECT_EQ(array->GetInt(2), -1);

  EXPECT_TRUE(m_inis.Undefine("/mem/words.ini"));
  EXPECT_FALSE(m_inis.Undefine("/mem/words.ini"));
  EXPECT_EQ(m_inis.Find("/mem/words.ini"), nullptr);
}

}  // namespace
