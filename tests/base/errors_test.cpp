// The error vocabulary: names, modules and lookups.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/base/errors.h"

namespace {

struct SModuleCodes {
  EErrModule module;
  std::vector<std::string> names;
};

// The whole vocabulary in declaration order.
const std::vector<SModuleCodes>& Vocabulary() {
  static const std::vector<SModuleCodes> vocabulary = {
      {EErrModule::kBase,
       {"\"Unknown error\"", "\"Not implemented yet\"", "ALLOCFAIL", "LOCKFAIL",
        "REALLOCFAIL", "NOTLOCKED", "INDEXOUTOFRANGE", "BUFFERTOOSMALL",
        "BADPARAMS", "OUTOFRANGE", "NOTFOUND", "INVALIDFORMAT", "WHATAMESS"}},
      {EErrModule::kSoundFormats, {"BADSIZE", "ADPCM_BADFORMAT"}},
      {EErrModule::kDct, {"DCTCOMPRESS"}},
      {EErrModule::kWindowSystem, {"WINDOWSYSTEM"}},
      {EErrModule::kFile,
       {"FILE", "NOTENOUGHMEM", "READFAIL", "WRITEFAIL", "EOF", "BADOPENMODE",
        "SEEKFAIL", "FILENOTFOUND", "BADFILEFORMAT", "OPENFAIL", "TRUNCFAIL",
        "FLUSHFAIL", "PATHNOTFOUND", "ACCESSDENIED", "FILEEXIST", "NOMOREFILES",
        "NOTREADY", "VOLUMENOTFOUND", "TOOMANYOPENFILES", "WRITEPROTECTED",
        "BADVOLUME", "DISKFULL", "SHARING", "ALREADYEXISTS", "UNKNOWNPID"}},
      {EErrModule::kGraphics,
       {"GRAPHICS", "PALNOMEM", "PALBIGINDEX", "BMPBADTYPE", "BMPNOMEM",
        "BMPNOTLOCKED"}},
      {EErrModule::kHashIni, {"HASHINI", "BADFILE", "NOTINLIST"}},
      {EErrModule::kCompressed, {"NOSUCHBITLENGTHS"}},
      {EErrModule::kPool,
       {"POOL", "COMPACTED", "OVERMAXSIZE", "NOTCREATED", "NOTPOOLFILE",
        "ZEROSIZE", "NOTENOUGHMEMORY", "NULLPOINTER", "SIZEOUTOFRANGE"}},
      {EErrModule::kMemoryDc, {"MEM_EXCEEDMAXSIZE"}},
      {EErrModule::kEventQueue, {"MHFULLHEAP"}},
      {EErrModule::kResourceCache, {"CRL"}},
      {EErrModule::kPlatformWindow, {"REGWNDCLASS", "CREATINGWND"}},
      {EErrModule::kBitmapFiles, {"NOBMPFILE", "BMP_BADFILEFORMAT"}},
      {EErrModule::kWorldLoading,
       {"\"No such template in the templates directory\"",
        "\"No loader function for this type of object\""}},
      {EErrModule::kWorldObjects, {"CAPTURE", "OBJTOOMANY", "INVALIDVALUE"}},
      {EErrModule::kScript,
       {"NOINIT", "NOSECTION", "NOKEY", "BADKEYVAL", "SYNTAX",
        "BAD_PARAM_STRING", "CODE_LIMITS", "STACK_LIMITS", "INVALID_COP",
        "INVALID_INDEX", "INVALID_STOFF"}},
      {EErrModule::kValueBase, {"\"Bad format\""}},
  };
  return vocabulary;
}

TEST(ErrorsTest, EveryCodeHasItsNameAndModuleInOrder) {
  ErrCode code = 1;
  for (const SModuleCodes& module : Vocabulary()) {
    for (const std::string& name : module.names) {
      EXPECT_EQ(ErrName(code), name) << "code " << code;
      EErrModule found{};
      ASSERT_TRUE(ErrModule(code, &found));
      EXPECT_EQ(found, module.module) << name;
      EXPECT_EQ(ErrFromName(name.c_str()), code) << name;
      ++code;
    }
  }
  EXPECT_EQ(code, 86u);
  EXPECT_STREQ(ErrName(code), "?");
  EErrModule untouched = EErrModule::kDct;
  EXPECT_FALSE(ErrModule(code, &untouched));
  EXPECT_EQ(untouched, EErrModule::kDct);
}

TEST(ErrorsTest, NamesAreDistinct) {
  std::set<std::string> names;
  for (ErrCode code = 1; code < 86; ++code) names.insert(ErrName(code));
  EXPECT_EQ(names.size(), 85u);
}

TEST(ErrorsTest, QuotedNamesKeepTheirQuotes) {
  EXPECT_STREQ(ErrName(err::kUnknownError), "\"Unknown error\"");
  EXPECT_STREQ(ErrName(err::kBadFormat), "\"Bad format\"");
  EXPECT_EQ(ErrFromName("Unknown error"), err::kOk);
  EXPECT_EQ(ErrFromName("\"Not implemented yet\""), err::kNotImplementedYet);
}

TEST(ErrorsTest, SimilarNamesOfOtherModulesDiffer) {
  EXPECT_NE(err::kNotEnoughMem, err::kNotEnoughMemory);
  EXPECT_STREQ(ErrName(err::kNotEnoughMem), "NOTENOUGHMEM");
  EXPECT_STREQ(ErrName(err::kNotEnoughMemory), "NOTENOUGHMEMORY");
  EXPECT_NE(err::kBmpBadType, err::kBmpBadFileFormat);
  EXPECT_NE(err::kBadFile, err::kBadFileFormat);
}

TEST(ErrorsTest, SuccessAndUnknownValues) {
  EXPECT_STREQ(ErrName(err::kOk), "0");
  EXPECT_STREQ(ErrName(0xFFFFFFFF), "?");
  EErrModule module{};
  EXPECT_FALSE(ErrModule(err::kOk, &module));
  EXPECT_EQ(ErrFromName("nothing"), err::kOk);
  EXPECT_EQ(ErrFromName(""), err::kOk);
}

}  // namespace
