// The error vocabulary: names, modules and lookups.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "base/errors.h"

namespace {

using enum EErrModule;

// The whole vocabulary in declaration order, codes counting from 1; each
// module's names are separated by '|'.
const std::pair<EErrModule, const char*> kVocabulary[] = {
    {kBase, "\"Unknown error\"|\"Not implemented yet\"|ALLOCFAIL|LOCKFAIL|REALLOCFAIL|NOTLOCKED|"
            "INDEXOUTOFRANGE|BUFFERTOOSMALL|BADPARAMS|OUTOFRANGE|NOTFOUND|INVALIDFORMAT|WHATAMESS"},
    {kSoundFormats, "BADSIZE|ADPCM_BADFORMAT"}, {kDct, "DCTCOMPRESS"},
    {kWindowSystem, "WINDOWSYSTEM"},
    {kFile, "FILE|NOTENOUGHMEM|READFAIL|WRITEFAIL|EOF|BADOPENMODE|SEEKFAIL|FILENOTFOUND|"
            "BADFILEFORMAT|OPENFAIL|TRUNCFAIL|FLUSHFAIL|PATHNOTFOUND|ACCESSDENIED|FILEEXIST|"
            "NOMOREFILES|NOTREADY|VOLUMENOTFOUND|TOOMANYOPENFILES|WRITEPROTECTED|BADVOLUME|"
            "DISKFULL|SHARING|ALREADYEXISTS|UNKNOWNPID"},
    {kGraphics, "GRAPHICS|PALNOMEM|PALBIGINDEX|BMPBADTYPE|BMPNOMEM|BMPNOTLOCKED"},
    {kHashIni, "HASHINI|BADFILE|NOTINLIST"}, {kCompressed, "NOSUCHBITLENGTHS"},
    {kPool, "POOL|COMPACTED|OVERMAXSIZE|NOTCREATED|NOTPOOLFILE|ZEROSIZE|NOTENOUGHMEMORY|"
            "NULLPOINTER|SIZEOUTOFRANGE"},
    {kMemoryDc, "MEM_EXCEEDMAXSIZE"}, {kEventQueue, "MHFULLHEAP"}, {kResourceCache, "CRL"},
    {kPlatformWindow, "REGWNDCLASS|CREATINGWND"}, {kBitmapFiles, "NOBMPFILE|BMP_BADFILEFORMAT"},
    {kWorldLoading, "\"No such template in the templates directory\"|"
                    "\"No loader function for this type of object\""},
    {kWorldObjects, "CAPTURE|OBJTOOMANY|INVALIDVALUE"},
    {kScript, "NOINIT|NOSECTION|NOKEY|BADKEYVAL|SYNTAX|BAD_PARAM_STRING|CODE_LIMITS|"
              "STACK_LIMITS|INVALID_COP|INVALID_INDEX|INVALID_STOFF"},
    {kValueBase, "\"Bad format\""},
};

TEST(ErrorsTest, EveryCodeHasItsOwnNameAndModuleInOrder) {
  ErrCode code = 1;
  std::set<std::string> names;
  for (const auto& [module, module_names] : kVocabulary) {
    std::istringstream list(module_names);
    for (std::string name; std::getline(list, name, '|'); ++code) {
      EXPECT_EQ(ErrName(code), name) << "code " << code;
      EErrModule found{};
      ASSERT_TRUE(ErrModule(code, &found));
      EXPECT_EQ(found, module) << name;
      EXPECT_EQ(ErrFromName(name.c_str()), code) << name;
      names.insert(name);
    }
  }
  EXPECT_EQ(code, 86u);
  EXPECT_EQ(names.size(), 85u);
  // Success and values that name nothing.
  EXPECT_STREQ(ErrName(err::kOk), "0");
  for (ErrCode code : {86u, 0xFFFFFFFFu}) EXPECT_STREQ(ErrName(code), "?");
  EErrModule untouched = kDct;
  for (ErrCode code : {0u, 86u}) EXPECT_FALSE(ErrModule(code, &untouched));
  EXPECT_EQ(untouched, kDct);
  // Quotes belong to the name; unknown names give kOk.
  for (const char* unknown : {"Unknown error", "nothing", ""})
    EXPECT_EQ(ErrFromName(unknown), err::kOk) << unknown;
}

}  // namespace
