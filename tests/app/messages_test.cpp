// Start-up message texts and their caption.
#include <gtest/gtest.h>

#include "app/messages.h"
#include "store/hash_ini.h"

TEST(Messages, TextsEndInALineFeedAndMissingKeysShowThemselves) {
  CHashIni config(100, 1000);
  ASSERT_EQ(config.LoadText("[Messages]\nError=Oops\nAlreadyRunning=Busy\n"),
            err::kOk);
  SetMessageConfig(&config);
  EXPECT_STREQ(MessageCaption(), "Oops");
  EXPECT_STREQ(GetMessageText("alreadyrunning"), "Busy\n");
  EXPECT_STREQ(GetMessageText("CDNotFound"), "CDNotFound\n");
  SetMessageConfig(nullptr);
  EXPECT_STREQ(GetMessageText("CDNotFound"), "CDNotFound");
  EXPECT_STREQ(MessageCaption(), "Error");
}

TEST(Messages, TheCaptionIsCutAt255CharactersAndDefaultsToError) {
  CHashIni config(100, 1000);
  ASSERT_EQ(config.LoadText("[Messages]\nError=" + std::string(300, 'c') + "\n"),
            err::kOk);
  SetMessageConfig(&config);
  EXPECT_EQ(std::string(MessageCaption()), std::string(255, 'c'));
  CHashIni empty(100, 1000);
  SetMessageConfig(&empty);
  EXPECT_STREQ(MessageCaption(), "Error");
  SetMessageConfig(nullptr);
}
