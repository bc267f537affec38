// The world's registration module: where its functions sit and the version
// that pins its table.
#include <gtest/gtest.h>

#include "script/script_machine.h"
#include "world/world_natives.h"

// A table change without a new version text fails here.
TEST(WorldNativesTest, TheVersionPinsTheTable) {
  EXPECT_EQ(RowsHash(WorldFunctionRows()), kWorldFunctionsVersion.rows_hash)
      << "The table changed: set the date-and-time text of kWorldFunctionsVersion to the time "
         "of the change and its hash to "
      << RowsHash(WorldFunctionRows()) << ", together.";
}

// Compiled code names natives by slot: the world's start at 200, the array
// functions still at 321 after them.
TEST(WorldNativesTest, GoToViewTakesTheWorldModulesFirstSlot) {
  CScriptMachine machine;
  ASSERT_EQ(machine.Init(kWorldModules), err::kOk);
  EXPECT_EQ(machine.NativeName(kWorldModuleBase), "GoToView");
  EXPECT_EQ(machine.NativeName(kWorldModuleBase + 1), "");
  EXPECT_EQ(machine.NativeName(kArrayFunctionsBase), "ArrDef");
  EXPECT_EQ(machine.ArgumentBytes(kWorldModuleBase), 12u);
}
