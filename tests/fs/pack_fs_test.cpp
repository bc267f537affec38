// Pack file systems: loading, lookups, reads, listings and bad directories.
#include <gtest/gtest.h>

#include <set>

#include "fs/compressed_file.h"
#include "fs/file_service.h"
#include "fs/memory_file.h"
#include "fs/mount_config.h"
#include "fs/native_fs.h"
#include "fs/pack_fs.h"
#include "fs/pack_writer.h"
#include "support/le_words.h"
#include "support/temp_dir.h"

namespace {

// One directory entry exactly as stored.
struct SRawEntry {
  uint8_t length;
  uint8_t shared;
  std::string rest;
  uint32_t offset;
  uint32_t size;
};

// A pack image: header, the entries as given, then `data`.
std::string PackImage(const std::vector<SRawEntry>& entries, const std::string& data,
                      uint32_t count_delta = 0, uint32_t size_delta = 0) {
  std::string directory;
  for (const SRawEntry& e : entries) {
    directory.push_back(static_cast<char>(e.length));
    directory.push_back(static_cast<char>(e.shared));
    directory += e.rest;
    directory += Le32(e.offset) + Le32(e.size);
  }
  std::string image("TOVSYS PackFile\n\x1A", 18);
  image.resize(32, '\0');
  return image + Le32(static_cast<uint32_t>(entries.size()) + count_delta) +
         Le32(static_cast<uint32_t>(directory.size()) + size_delta) + directory + data;
}

// Two files: ROOM1\BACK.BMP (offset 84, "0123456789ABCDEFGHIJ") and
// ROOM1\DOOR.BMP (offset 104, "door"). The directory takes 2 + 14 + 8 and
// 2 + 8 + 8 bytes: 42 bytes from offset 40, so data could start at 82; the
// two bytes between are padding.
std::string TwoFilePack() {
  return PackImage({{14, 0, "ROOM1\\BACK.BMP", 84, 20}, {14, 6, "DOOR.BMP", 104, 4}},
                   std::string("pp") + "0123456789ABCDEFGHIJ" + "door");
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override { InitFileService(8); }
  void TearDown() override { ShutdownFileService(); }

  ErrCode Mount(const std::string& image, const char* prefix = "/World/") {
    return MountPack(std::make_unique<CMemoryFile>(std::make_shared<std::string>(image)),
                     prefix);
  }
  static std::string ReadAll(const char* path) {
    std::unique_ptr<CFile> file = FsOpen(path, kOpenRead | kOpenShareRead, nullptr);
    if (!file) return "<none>";
    std::string bytes(file->GetSize(), '\0');
    if (file->Read(bytes.data(), file->GetSize(), nullptr)) return "<error>";
    return bytes;
  }
  static std::vector<std::pair<std::string, uint32_t>> List(const char* directory) {
    std::vector<std::pair<std::string, uint32_t>> found;
    FindContext context;
    for (ErrCode e = FsFindFirst(&context, directory); e == err::kOk;
         e = FsFindNext(&context))
      found.emplace_back(context.name, context.attributes);
    FsFindClose(&context);
    return found;
  }
};

}  // namespace

TEST_F(PackTest, LookupsOffsetsAndReadsOfTheEntries) {
  ASSERT_EQ(Mount(TwoFilePack()), err::kOk);
  // Paths match in any case with either separator.
  EXPECT_EQ(ReadAll("/world/Room1/back.bmp"), "0123456789ABCDEFGHIJ");
  EXPECT_EQ(ReadAll("/World/room1\\back.bmp"), "0123456789ABCDEFGHIJ");
  EXPECT_EQ(ReadAll("/WORLD/ROOM1/DOOR.BMP"), "door");
  ErrCode error = 0;
  EXPECT_EQ(FsOpen("/World/ROOM1/BACK", kOpenRead, &error), nullptr);
  EXPECT_EQ(error, err::kFileNotFound);
  EXPECT_EQ(FsOpen("/World/ROOM1/BACK.BMP", kOpenRead | kOpenWrite, &error), nullptr);
  EXPECT_EQ(error, 8001u);
  const char* path = "/World/";
  CFileService* fs = ResolvePath(&path);
  EXPECT_EQ(fs->GetEntryOffset("room1/door.bmp", &error), 104u);
  EXPECT_EQ(error, err::kOk);
  EXPECT_EQ(fs->GetEntryOffset("room1/none.bmp", &error), 0u);
  EXPECT_EQ(error, err::kFileNotFound);

  // Reads stop at the end of the entry.
  std::unique_ptr<CFile> file = FsOpen("/World/ROOM1/BACK.BMP", kOpenRead, nullptr);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->StateWord(), 1);
  char buffer[100] = {};
  uint32_t count = 99;
  ASSERT_EQ(file->Seek(10, kSeekSet), err::kOk);
  EXPECT_EQ(file->Read(buffer, 100, &count), err::kOk);
  EXPECT_EQ(std::string(buffer, count), "ABCDEFGHIJ");
  EXPECT_EQ(file->Tell(), 20u);
  EXPECT_EQ(file->Read(buffer, 1, &count), err::kEof);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(file->Seek(-10, kSeekEnd), err::kOk);
  EXPECT_EQ(file->Read(buffer, 100, nullptr), err::kEof);
  EXPECT_EQ(file->Tell(), 10u);
  EXPECT_EQ(file->Seek(-11, kSeekCur), err::kUnknownError);
  EXPECT_EQ(file->Tell(), 10u);
  EXPECT_EQ(file->Seek(50, kSeekSet), err::kOk);
  EXPECT_EQ(file->ReadAt(buffer, 2, 3, nullptr), err::kOk);
  EXPECT_EQ(std::string(buffer, 3), "234");
  EXPECT_EQ(file->Write("x", 1, nullptr), err::kNotImplementedYet);
  EXPECT_EQ(file->Truncate(), err::kNotImplementedYet);
}

TEST_F(PackTest, ExistsLooksAtTheFirstNameWithThePrefix) {
  // DIR\ is a directory entry, and the first name beginning with "DI".
  ASSERT_EQ(Mount(PackImage(
                {{4, 0, "DIR\\", 40, 0}, {9, 4, "A.TXT", 40, 0}, {14, 0, "ROOM1\\BACK.BMP", 40, 0}},
                "")),
            err::kOk);
  for (const char* name : {"room1/back.bmp", "ROOM1", "ROOM", "dir/a"})
    EXPECT_TRUE(FsExists((std::string("/World/") + name).c_str())) << name;
  for (const char* name : {"ROOM2", "DIR", "di", "ZZZ"})
    EXPECT_FALSE(FsExists((std::string("/World/") + name).c_str())) << name;
}

TEST_F(PackTest, ListingsReportEachSubdirectoryOnce) {
  std::vector<SPackItem> items = {{"A.TXT", 0, 0}, {"Z.TXT", 0, 0}};
  for (int i = 0; i < 50; ++i) items.push_back({"M\\F" + std::to_string(i), 0, 0});
  items.push_back({"MX", 0, 0});
  auto bytes = std::make_shared<std::string>();
  CMemoryFile out(bytes);
  ASSERT_EQ(WritePack(out, items, [](size_t, CFile&) { return err::kOk; }), err::kOk);
  ASSERT_EQ(MountPack(std::make_unique<CMemoryFile>(bytes), "/World/"), err::kOk);

  using Listing = std::vector<std::pair<std::string, uint32_t>>;
  EXPECT_EQ(List("/World/"),
            (Listing{{"A.TXT", 0x01}, {"MX", 0x01}, {"M", 0x11}, {"Z.TXT", 0x01}}));
  const Listing sub = List("/World/m");
  ASSERT_EQ(sub.size(), 50u);
  EXPECT_EQ(sub[0], (std::pair<std::string, uint32_t>{"F0", 0x01}));
  EXPECT_EQ(sub[1].first, "F1");
  EXPECT_EQ(sub[2].first, "F10");
  FindContext context;
  EXPECT_EQ(FsFindFirst(&context, "/World/Q"), err::kNotFound);
  EXPECT_EQ(FsFindNext(&context), err::kNotFound);
  EXPECT_EQ(FsFindClose(&context), err::kOk);
}

TEST_F(PackTest, TheSparseIndexFindsEveryEntryAndNothingElse) {
  // 250 entries: an index of 2 rows (entries 0 and 100); each file holds its
  // own name.
  std::vector<SPackItem> items;
  std::vector<std::string> names;
  for (int i = 0; i < 250; ++i) {
    names.push_back("D" + std::to_string(i % 7) + "\\N" + std::to_string(i * 37 % 1000));
    items.push_back({names.back(), static_cast<uint32_t>(names.back().size()),
                     static_cast<size_t>(i)});
  }
  auto bytes = std::make_shared<std::string>();
  CMemoryFile out(bytes);
  ASSERT_EQ(WritePack(out, items,
                      [&](size_t i, CFile& f) {
                        return f.Write(names[i].data(),
                                       static_cast<uint32_t>(names[i].size()), nullptr);
                      }),
            err::kOk);
  ASSERT_EQ(MountPack(std::make_unique<CMemoryFile>(bytes), "/P/"), err::kOk);
  for (const std::string& name : names) {
    EXPECT_EQ(ReadAll(("/P/" + name).c_str()), name);
    EXPECT_EQ(ReadAll(("/P/" + name + "0").c_str()), "<none>");
    std::string before = name;
    before.back() = static_cast<char>(before.back() - 1);
    if (std::find(names.begin(), names.end(), before) == names.end()) {
      EXPECT_EQ(ReadAll(("/P/" + before).c_str()), "<none>");
    }
  }
  EXPECT_EQ(ReadAll("/P/A"), "<none>");
  EXPECT_EQ(ReadAll("/P/ZZ"), "<none>");
  EXPECT_EQ(ReadAll("/P/"), "<none>");
}

TEST_F(PackTest, BadDirectoriesAreRefused) {
  const std::string good = TwoFilePack();
  std::string bad_magic = good;
  bad_magic[16] = 0;
  struct SCase {
    const char* what;
    std::string image;
    ErrCode error;
  } cases[] = {
      {"bad magic", bad_magic, err::kUnknownError},
      {"no header", good.substr(0, 39), err::kEof},
      {"count past the directory", PackImage({{1, 0, "A", 40, 0}}, "", 1),
       err::kInvalidFormat},
      {"directory past the file", PackImage({{1, 0, "A", 40, 0}}, "", 0, 100),
       err::kInvalidFormat},
      {"bytes left in the directory", PackImage({{1, 0, "A", 40, 0}}, "xx", 0, 1),
       err::kInvalidFormat},
      {"shared past the previous name",
       PackImage({{1, 0, "A", 40, 0}, {3, 2, "B", 40, 0}}, ""), err::kInvalidFormat},
      {"shared in the first entry", PackImage({{2, 1, "B", 40, 0}}, ""),
       err::kInvalidFormat},
      {"empty name", PackImage({{0, 0, "", 40, 0}}, ""), err::kInvalidFormat},
      {"shared past the name", PackImage({{2, 0, "AB", 40, 0}, {1, 2, "", 40, 0}}, ""),
       err::kInvalidFormat},
      {"names out of order", PackImage({{1, 0, "B", 40, 0}, {1, 0, "A", 40, 0}}, ""),
       err::kInvalidFormat},
      {"a name twice", PackImage({{1, 0, "A", 40, 0}, {1, 1, "", 40, 0}}, ""),
       err::kInvalidFormat},
      {"data past the file", PackImage({{1, 0, "A", 40, 12}}, ""), err::kInvalidFormat},
  };
  for (const SCase& c : cases) {
    EXPECT_EQ(Mount(c.image), c.error) << c.what;
    EXPECT_EQ(Mounts().size(), 0u) << c.what;
  }
  EXPECT_EQ(MountPack(nullptr, "/X/"), err::kUnknownError);
  auto closed = std::make_unique<CFile>();
  EXPECT_EQ(MountPack(std::move(closed), "/X/"), err::kUnknownError);
}

// Packs mount from the configuration, one stored compressed only while the
// decompressing hook is installed, and unmount again.
TEST_F(PackTest, PacksMountFromTheConfigurationAndUnmount) {
  ShutdownFileService();
  MountNativeFileSystem();
  CTempDir dir;
  dir.WriteFile("World.pak", TwoFilePack());
  {
    std::unique_ptr<CFile> out = FsOpen(dir.Join("Packed.pak").c_str(),
                                        kOpenRead | kOpenWrite | kOpenCreate | kOpenTruncate,
                                        nullptr);
    ASSERT_NE(out, nullptr);
    CLzisFile packed(std::move(out), 64, 3);
    const std::string image = TwoFilePack();
    ASSERT_EQ(packed.Write(image.data(), static_cast<uint32_t>(image.size()), nullptr),
              err::kOk);
  }
  ASSERT_EQ(dir.ReadFile("Packed.pak").substr(0, 4), "LZIS");
  const ConfigEntries entries = {{"/HDD/", "Trans, " + dir.Path()},
                                 {"/World/", "Pack, /HDD/World.pak"},
                                 {"/None/", "Pack, /HDD/None.pak"}};
  EXPECT_EQ(MountFromConfig(entries), err::kFileNotFound);
  EXPECT_EQ(ReadAll("/World/room1/door.bmp"), "door");
  EXPECT_EQ(UnmountPack("/HDD/"), err::kNotFound);
  EXPECT_EQ(UnmountFromConfig(entries), err::kNotFound);
  EXPECT_EQ(ReadAll("/World/room1/door.bmp"), "<none>");
  EXPECT_EQ(Mounts().size(), 1u);

  const ConfigEntries packed = {{"/World/", "Pack, " + dir.Join("Packed.pak")}};
  EXPECT_EQ(MountFromConfig(packed), err::kUnknownError);
  {
    CDecompressingHook hook;
    ASSERT_EQ(MountFromConfig(packed), err::kOk);
  }
  EXPECT_EQ(ReadAll("/World/room1/back.bmp"), "0123456789ABCDEFGHIJ");
  EXPECT_EQ(ReadAll("/World/room1/door.bmp"), "door");
  EXPECT_EQ(UnmountFromConfig(packed), err::kOk);
}
