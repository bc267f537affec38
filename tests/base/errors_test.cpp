// The error vocabulary: names, modules and lookups.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "base/errors.h"

namespace {

using enum EErrModule;

// The whole vocabulary; each module's names are separated by '|'. Codes have
// no defined values, so they are looked up by name.
const std::pair<EErrModule, const char*> kVocabulary[] = {
    {kBase, "Unknown error|Not implemented yet|ALLOCFAIL|LOCKFAIL|REALLOCFAIL|NOTLOCKED|"
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
    {kWorldLoading, "No such template in the templates directory|"
                    "No loader function for this type of object"},
    {kWorldObjects, "CAPTURE|OBJTOOMANY|INVALIDVALUE"},
    {kScript, "NOINIT|NOSECTION|NOKEY|BADKEYVAL|SYNTAX|BAD_PARAM_STRING|CODE_LIMITS|"
              "STACK_LIMITS|INVALID_COP|INVALID_INDEX|INVALID_STOFF"},
    {kValueBase, "Bad format"},
};

TEST(ErrorsTest, EveryNameNamesItsOwnCodeInItsModule) {
  std::set<ErrCode> codes;
  size_t names = 0;
  ErrCode largest = 0;
  for (const auto& [module, module_names] : kVocabulary) {
    std::istringstream list(module_names);
    for (std::string name; std::getline(list, name, '|'); ++names) {
      const ErrCode code = ErrFromName(name.c_str());
      ASSERT_NE(code, err::kOk) << name;
      EXPECT_EQ(ErrName(code), name);
      EErrModule found{};
      ASSERT_TRUE(ErrModule(code, &found)) << name;
      EXPECT_EQ(found, module) << name;
      codes.insert(code);
      largest = std::max(largest, code);
    }
  }
  EXPECT_EQ(codes.size(), names);
  // Success and values that name nothing.
  EXPECT_STREQ(ErrName(err::kOk), "0");
  for (ErrCode code : {largest + 1, 0xFFFFFFFFu}) EXPECT_STREQ(ErrName(code), "?");
  EErrModule untouched = kDct;
  for (ErrCode code : {err::kOk, largest + 1}) EXPECT_FALSE(ErrModule(code, &untouched));
  EXPECT_EQ(untouched, kDct);
  // The quotes that set a name of words apart in prose are not part of it,
  // and the named codes are the ones their names look up.
  for (const char* unknown : {"\"Unknown error\"", "\"Bad format\"", "nothing", ""})
    EXPECT_EQ(ErrFromName(unknown), err::kOk) << unknown;
  const std::pair<ErrCode, const char*> named[] = {
      {err::kUnknownError, "Unknown error"}, {err::kNotImplementedYet, "Not implemented yet"},
      {err::kBadFormat, "Bad format"},       {err::kFileNotFound, "FILENOTFOUND"}};
  for (const auto& [code, name] : named) EXPECT_EQ(ErrFromName(name), code) << name;
}

}  // namespace
