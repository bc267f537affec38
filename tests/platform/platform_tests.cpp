#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "support/env_guard.h"
#include "platform/platform.h"
#include "platform/platform_support.h"
#include "platform/virtual_keys.h"

namespace {

// A platform for the shared methods; the back end does not matter for them.
std::unique_ptr<CPlatform> Headless() {
  CEnvGuard chosen("TARVOLIN_PLATFORM", "headless");
  ErrCode error = err::kUnknownError;
  auto platform = CPlatform::Create(&error);
  EXPECT_EQ(error, err::kOk);
  return platform;
}

TEST(PlatformCreate, EnvironmentChoosesTheBackEnd) {
  auto headless = Headless();
  ASSERT_TRUE(headless);
  EXPECT_STREQ(headless->Name(), "headless");
  ErrCode error = err::kOk;
  {
    CEnvGuard chosen("TARVOLIN_PLATFORM", "x11");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CPlatform::Create(&error));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(error, err::kWindowSystem);
  }
  CEnvGuard display("DISPLAY", nullptr);
  CEnvGuard wayland("WAYLAND_DISPLAY", "");
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    CEnvGuard chosen("TARVOLIN_PLATFORM", value);
    auto platform = CPlatform::Create(&error);
    ASSERT_TRUE(platform);
    EXPECT_STREQ(platform->Name(), "headless");
  }
}

TEST(PlatformMutex, ExclusiveWhileHeldEvenInOneProcess) {
  std::string directory = testing::TempDir() + "mutexXXXXXX";
  ASSERT_TRUE(mkdtemp(directory.data()));
  CEnvGuard runtime("XDG_RUNTIME_DIR", directory.c_str());
  auto platform = Headless();
  bool existed = true;
  auto first = platform->CreateNamedMutex("TOVM Mutex", &existed);
  ASSERT_TRUE(first);
  EXPECT_FALSE(existed);
  EXPECT_EQ(access((directory + "/TOVM Mutex.lock").c_str(), F_OK), 0);
  EXPECT_FALSE(platform->CreateNamedMutex("TOVM Mutex", &existed));
  EXPECT_TRUE(existed);
  EXPECT_TRUE(platform->CreateNamedMutex("Other", &existed));
  first.reset();
  EXPECT_TRUE(platform->CreateNamedMutex("TOVM Mutex", &existed));
  EXPECT_FALSE(existed);
  CEnvGuard missing("XDG_RUNTIME_DIR", (directory + "/none").c_str());
  EXPECT_FALSE(platform->CreateNamedMutex("TOVM Mutex", &existed));
  EXPECT_FALSE(existed);
}

TEST(PlatformDirectories, RuntimeDirectoryFallsBackInOrder) {
  auto platform = Headless();
  CEnvGuard tmp("TMPDIR", "/var/tmp");
  {
    CEnvGuard xdg("XDG_RUNTIME_DIR", "/run/user/7");
    EXPECT_EQ(platform->RuntimeDirectory(), "/run/user/7/");
  }
  {
    CEnvGuard xdg("XDG_RUNTIME_DIR", "");
    EXPECT_EQ(platform->RuntimeDirectory(), "/var/tmp/");
  }
  CEnvGuard xdg("XDG_RUNTIME_DIR", nullptr);
  {
    CEnvGuard slash("TMPDIR", "/scratch/");
    EXPECT_EQ(platform->RuntimeDirectory(), "/scratch/");
  }
  CEnvGuard none("TMPDIR", nullptr);
  EXPECT_EQ(platform->RuntimeDirectory(), "/tmp/");
}

TEST(PlatformDirectories, ExecutableAndCurrentDirectory) {
  auto platform = Headless();
  {
    CEnvGuard dir("TARVOLIN_DIR", "/opt/tarvolin");
    EXPECT_EQ(platform->ExecutableDirectory(), "/opt/tarvolin/");
  }
  CEnvGuard dir("TARVOLIN_DIR", nullptr);
  const std::string executable = platform->ExecutableDirectory();
  ASSERT_FALSE(executable.empty());
  EXPECT_EQ(executable.back(), '/');
  EXPECT_EQ(access((executable + "platform_tests").c_str(), X_OK), 0);
  char old[4096];
  ASSERT_TRUE(getcwd(old, sizeof old));
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(platform->CurrentDirectory(), "/");
  ASSERT_EQ(chdir(old), 0);
}

TEST(PlatformDrives, RootIsAFixedDriveAndPseudoSystemsAreLeftOut) {
  auto platform = Headless();
  const std::vector<SDriveRoot> roots = platform->DriveRoots();
  const auto root =
      std::find_if(roots.begin(), roots.end(),
                   [](const SDriveRoot& d) { return d.root == "/"; });
  ASSERT_NE(root, roots.end());
  EXPECT_TRUE(root->type == kDriveFixed || root->type == kDriveRemovable);
  for (const SDriveRoot& drive : roots) {
    SCOPED_TRACE(drive.root);
    EXPECT_NE(drive.type, 0);
    EXPECT_EQ(drive.root.back(), '/');
    EXPECT_FALSE(drive.root.starts_with("/proc/") ||
                 drive.root.starts_with("/sys/"));
    EXPECT_EQ(std::count_if(
                  roots.begin(), roots.end(),
                  [&](const SDriveRoot& d) { return d.root == drive.root; }),
              1);
  }
}

TEST(VirtualKeys, CharactersOfKeys) {
  EXPECT_EQ(KeyCharacter(kVkA), 'A');
  EXPECT_EQ(KeyCharacter(kVkA + 25), 'Z');
  EXPECT_EQ(KeyCharacter(kVkA + 26), 0);
  EXPECT_EQ(KeyCharacter(kVk0 + 9), '9');
  EXPECT_EQ(KeyCharacter(kVk0 + 10), 0);
  EXPECT_EQ(KeyCharacter(kVkSpace), ' ');
  EXPECT_EQ(KeyCharacter(kVkReturn), 13);
  EXPECT_EQ(KeyCharacter(kVkEscape), 27);
  // Codes that look like ASCII but are not characters.
  EXPECT_EQ(KeyCharacter(kVkF1), 0);      // 'p'
  EXPECT_EQ(KeyCharacter(kVkDelete), 0);  // '.'
  EXPECT_EQ(KeyCharacter(kVkLeft), 0);    // '%'

  EXPECT_EQ(TypedControlCharacter(kVkA, kModControl), 1);
  EXPECT_EQ(TypedControlCharacter(kVkA + 25, kModControl | kModShift), 26);
  EXPECT_EQ(TypedControlCharacter(kVkA, kModControl | kModAlt), 0);
  EXPECT_EQ(TypedControlCharacter(kVkA, kModShift), 0);
  EXPECT_EQ(TypedControlCharacter(kVkBack, kModControl), 8);
  EXPECT_EQ(TypedControlCharacter(kVkTab, 0), 9);
  EXPECT_EQ(TypedControlCharacter(kVkSpace, kModControl), 0);
  EXPECT_EQ(TypedControlCharacter(kVk0 + 1, kModControl), 0);
}

TEST(VirtualKeys, KeysByName) {
  const std::pair<const char*, uint16_t> names[] = {
      {"a", 0x41},    {"z", 0x5A},     {"0", 0x30},   {"9", 0x39},   {"f1", 0x70},
      {"f12", 0x7B},  {"f13", 0},      {"f0", 0},     {"f01", 0},    {"f", 0x46},
      {"enter", 13},  {"esc", 27},     {"back", 8},   {"pageup", 0x21},
      {"pagedown", 0x22}, {"delete", 0x2E}, {"alt", 0x12}, {"ctrl", 0x11},
      {"A", 0},       {"", 0},         {"aa", 0},     {"enter ", 0},
  };
  for (const auto& [name, key] : names) EXPECT_EQ(VirtualKeyByName(name), key) << name;
}

TEST(Clipboard, Utf8ToEngineFormAndBack) {
  const std::pair<const char*, const char*> from_utf8[] = {
      {"Gr\xC3\xBC\xC3\x9F", "Gr\xFC\xDF"},
      {"\xE2\x82\xAC|\xF0\x9F\x98\x80", "?|?"},  // beyond Latin-1: one "?" a character
      {"\xC3(\xE2\x82", "?(??"},                  // each stray byte its own "?"
      {"\xC0\xAF\xFF", "???"},
      {"a\nb\r\nc\r", "a\r\nb\r\nc\r"},
  };
  for (const auto& [utf8, engine] : from_utf8) EXPECT_EQ(ClipboardFromUtf8(utf8), engine) << utf8;
  const std::pair<const char*, const char*> to_utf8[] = {
      {"Gr\xFC\xDF\xFF", "Gr\xC3\xBC\xC3\x9F\xC3\xBF"},
      {"a\r\nb\rc\n", "a\nb\rc\n"},
  };
  for (const auto& [engine, utf8] : to_utf8) EXPECT_EQ(ClipboardToUtf8(engine), utf8) << engine;
}

TEST(Utf8, DecodesWellFormedAndRejectsTheRest) {
  std::vector<uint32_t> points{7};
  EXPECT_TRUE(DecodeUtf8("H\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", &points));
  EXPECT_EQ(points, (std::vector<uint32_t>{7, 'H', 0xE9, 0x20AC, 0x1F600}));
  for (const char* bad :
       {"\xC0\x80", "a\xC3", "\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
        "\xE2\x28\xA1", "\xF8\x88\x80\x80\x80"}) {
    SCOPED_TRACE(bad);
    std::vector<uint32_t> none;
    EXPECT_FALSE(DecodeUtf8(bad, &none));
    EXPECT_TRUE(none.empty());
  }
}

}  // namespace
