// Compressed files: the stored layout, the block cache with write-back,
// resizing, bad files and the decompressing open hook.
#include <gtest/gtest.h>

#include <random>

#include "fs/compressed_file.h"
#include "fs/file_service.h"
#include "fs/memory_file.h"
#include "fs/native_fs.h"
#include "support/le_words.h"
#include "support/temp_dir.h"

namespace {

std::string Header(const char* magic, uint32_t size, uint32_t block, uint8_t parameter) {
  return std::string(magic, 4) + Le32(size) + Le32(block) +
         std::string(1, static_cast<char>(parameter)) + std::string(1, '\0');
}

std::string Data(const std::string& kind, size_t size, uint32_t seed = 1) {
  std::string data(size, '\0');
  std::mt19937 random(seed);
  for (size_t i = 0; i < size; ++i) {
    if (kind == "random") data[i] = static_cast<char>(random());
    if (kind == "run") data[i] = static_cast<char>('a' + i / 100 % 3);
    if (kind == "text") data[i] = "Once upon a time, a fox "[i * 3 % 24];
  }
  return data;
}

std::string ReadAll(CFile& file) {
  std::string bytes(file.GetSize(), '\0');
  file.Seek(0, kSeekSet);
  uint32_t count = 0;
  if (file.Read(bytes.data(), file.GetSize(), &count) != err::kOk) return "<error>";
  return bytes.substr(0, count);
}

std::unique_ptr<CCompressedFile> Create(bool lzis, std::shared_ptr<std::string> bytes,
                                        uint32_t block, uint8_t parameter) {
  auto under = std::make_unique<CMemoryFile>(std::move(bytes));
  if (lzis) return std::make_unique<CLzisFile>(std::move(under), block, parameter);
  return std::make_unique<CLzssFile>(std::move(under), block, parameter);
}

std::unique_ptr<CFile> Reopen(std::shared_ptr<std::string> bytes) {
  return OpenCompressed(std::make_unique<CMemoryFile>(std::move(bytes)));
}

// Counts the blocks it decodes.
class CCountingLzisFile : public CLzisFile {
 public:
  using CLzisFile::CLzisFile;
  ErrCode DecodeBlock(const uint8_t* source, uint32_t length, uint8_t* destination,
                      uint32_t* destination_length) override {
    ++decodes;
    return CLzisFile::DecodeBlock(source, length, destination, destination_length);
  }
  int decodes = 0;
};

}  // namespace

TEST(CompressedFileTest, BlocksAreStoredRawOrCompressedBehindTheTable) {
  const std::pair<std::string, std::string> cases[] = {
      // Ten distinct bytes cost 90 bits as literals, more than they hold: raw.
      {"0123456789", Le32(18) + "0123456789"},
      // Twenty in blocks of 16: two raw blocks behind a table of two offsets.
      {"ABCDEFGHIJKLMNOPQRST", Le32(22) + Le32(38) + "ABCDEFGHIJKLMNOPQRST"},
      // Sixteen 'x': the literal, then D = 4095 (distance 1) with L = 13
      // (length 15), 26 bits in 4 bytes.
      {std::string(16, 'x'), Le32(18) + "\xBC\x3F\xFF\x40"},
  };
  auto bytes = std::make_shared<std::string>();
  for (const auto& [data, stored] : cases) {
    Create(false, bytes, 16, 0xC4)->Write(data.data(), static_cast<uint32_t>(data.size()), nullptr);
    EXPECT_EQ(*bytes, Header("LZSS", static_cast<uint32_t>(data.size()), 16, 0xC4) + stored);
    EXPECT_EQ(ReadAll(*Reopen(bytes)), data);
  }

  // An empty file: one empty block.
  std::unique_ptr<CCompressedFile> empty = Create(true, bytes, 16, 2);
  char c;
  EXPECT_EQ(empty->Read(&c, 1, nullptr), err::kEof);
  uint32_t count = 5;
  EXPECT_EQ(empty->Read(&c, 1, &count), err::kOk);
  EXPECT_EQ(count, 0u);
  empty.reset();
  EXPECT_EQ(*bytes, Header("LZIS", 0, 16, 2) + Le32(18));
}

TEST(CompressedFileTest, EveryByteComesBack) {
  constexpr uint32_t kBlock = 64;
  for (bool lzis : {false, true}) {
    for (const char* kind : {"random", "run", "text"}) {
      for (uint32_t size : {0u, 1u, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 5}) {
        const std::string data = Data(kind, size);
        auto bytes = std::make_shared<std::string>();
        Create(lzis, bytes, kBlock, lzis ? 3 : 0xB2)
            ->Write(data.data(), size, nullptr);
        std::unique_ptr<CFile> file = Reopen(bytes);
        ASSERT_EQ(file->StateWord(), 1);
        EXPECT_STREQ(file->GetClassName(), lzis ? "CLzisFile" : "CLzssFile");
        EXPECT_EQ(file->GetSize(), size);
        EXPECT_EQ(ReadAll(*file), data) << lzis << kind << size;
      }
    }
  }
}

TEST(CompressedFileTest, WritingIntoTheMiddleKeepsTheRest) {
  for (bool lzis : {false, true}) {
    auto bytes = std::make_shared<std::string>();
    std::string expected = Data("text", 2560);
    Create(lzis, bytes, 256, lzis ? 2 : 0xC4)->Write(expected.data(), 2560, nullptr);
    const size_t compressed = bytes->size();
    // Random bytes make blocks 1 to 3 grow, which moves everything behind.
    {
      std::unique_ptr<CFile> file = Reopen(bytes);
      const std::string noise = Data("random", 600, 9);
      ASSERT_EQ(file->WriteAt(noise.data(), 300, 600, nullptr), err::kOk);
      expected.replace(300, 600, noise);
      EXPECT_EQ(ReadAll(*file), expected);
    }
    EXPECT_GT(bytes->size(), compressed);
    EXPECT_EQ(ReadAll(*Reopen(bytes)), expected);
    // Text again shrinks them; a write past the end grows the file.
    {
      std::unique_ptr<CFile> file = Reopen(bytes);
      const std::string text = Data("text", 600);
      ASSERT_EQ(file->WriteAt(text.data(), 300, 600, nullptr), err::kOk);
      expected.replace(300, 600, text);
      ASSERT_EQ(file->WriteAt("end", 3000, 3, nullptr), err::kOk);
      expected += std::string(440, '\0') + "end";
      ASSERT_EQ(file->Flush(), err::kOk);
    }
    EXPECT_EQ(ReadAll(*Reopen(bytes)), expected);
  }
}

TEST(CompressedFileTest, ResizingKeepsWhatStaysAndZeroesWhatIsNew) {
  auto bytes = std::make_shared<std::string>();
  const std::string data = Data("random", 1000);
  Create(true, bytes, 128, 1)->Write(data.data(), 1000, nullptr);
  {
    std::unique_ptr<CFile> file = Reopen(bytes);
    ASSERT_EQ(file->Seek(100, kSeekSet), err::kOk);
    ASSERT_EQ(file->Truncate(), err::kOk);
    EXPECT_EQ(file->GetSize(), 100u);
  }
  // One block of 100 raw bytes behind a table of one offset.
  EXPECT_EQ(bytes->size(), 18u + 100);
  std::unique_ptr<CFile> file = Reopen(bytes);
  ASSERT_EQ(file->Seek(0, kSeekEnd), err::kOk);
  ASSERT_EQ(file->Write("z", 1, nullptr), err::kOk);
  ASSERT_EQ(file->Seek(699, kSeekSet), err::kOk);
  ASSERT_EQ(file->Write("y", 1, nullptr), err::kOk);
  const std::string expected = data.substr(0, 100) + "z" + std::string(598, '\0') + "y";
  EXPECT_EQ(ReadAll(*file), expected);
  file.reset();
  EXPECT_EQ(ReadAll(*Reopen(bytes)), expected);
}

TEST(CompressedFileTest, BadFilesAreRefused) {
  const std::string header = Header("LZSS", 8, 4, 0xC4);
  struct SCase {
    const char* what;
    std::string bytes;
    ErrCode open_error;
    ErrCode read_error;
  } cases[] = {
      {"good", header + Le32(22) + Le32(26) + "abcdefgh", err::kOk, err::kOk},
      {"offsets out of order", header + Le32(26) + Le32(22) + "abcdefgh",
       err::kInvalidFormat, err::kInvalidFormat},
      {"offset past the end", header + Le32(22) + Le32(40) + "abcdefgh",
       err::kInvalidFormat, err::kInvalidFormat},
      {"offset inside the table", header + Le32(14) + Le32(26) + "abcdefgh",
       err::kInvalidFormat, err::kInvalidFormat},
      {"table past the end", Header("LZSS", 100, 4, 0xC4) + Le32(22), err::kInvalidFormat,
       err::kInvalidFormat},
      {"no block size", Header("LZSS", 8, 0, 0xC4) + Le32(18), err::kInvalidFormat,
       err::kInvalidFormat},
      {"stored block longer than K", Header("LZSS", 4, 4, 0xC4) + Le32(18) + "abcdef",
       err::kOk, err::kInvalidFormat},
      {"overrunning block", Header("LZSS", 5, 5, 0xC4) + Le32(18) + "\xA0\xBF\xFC\xC0",
       err::kOk, err::kInvalidFormat},
      {"bad bit lengths", Header("LZSS", 8, 4, 0xA6) + Le32(22) + Le32(24) + "\0\0" + "abcd",
       err::kOk, err::kNoSuchBitLengths},
      {"short header", "LZSS\x08", err::kEof, err::kInvalidFormat},
  };
  for (const SCase& c : cases) {
    auto bytes = std::make_shared<std::string>(c.bytes);
    std::unique_ptr<CFile> file = Reopen(bytes);
    auto* compressed = KindOf<CCompressedFile>(file.get());
    ASSERT_NE(compressed, nullptr) << c.what;
    EXPECT_EQ(compressed->OpenError(), c.open_error) << c.what;
    EXPECT_EQ(compressed->StateWord(), c.open_error ? 0 : 1) << c.what;
    char buffer[8];
    EXPECT_EQ(file->ReadAt(buffer, 0, 2, nullptr), c.read_error) << c.what;
    // A file that did not open reads nothing, not even an end of file.
    uint32_t count = 0;
    if (c.open_error) {
      EXPECT_EQ(file->Read(buffer, 8, &count), err::kInvalidFormat) << c.what;
    }
    file.reset();
    EXPECT_EQ(*bytes, c.bytes) << c.what;
  }
}

TEST(CompressedFileTest, RandomReadsDecodeOnlyNewBlocks) {
  constexpr uint32_t kBlock = 4096, kBlocks = 64;
  auto bytes = std::make_shared<std::string>();
  const std::string data = Data("text", kBlock * kBlocks);
  Create(true, bytes, kBlock, 1)->Write(data.data(), kBlock * kBlocks, nullptr);
  CCountingLzisFile file(std::make_unique<CMemoryFile>(bytes));
  ASSERT_EQ(file.StateWord(), 1);
  std::mt19937 random(3);
  int switches = 0;
  int64_t current = -1;
  for (int i = 0; i < 500; ++i) {
    const uint32_t block = random() % 8 == 0 ? random() % kBlocks
                                             : static_cast<uint32_t>(std::max<int64_t>(current, 0));
    const uint32_t position = block * kBlock + random() % (kBlock - 16);
    char buffer[16];
    ASSERT_EQ(file.ReadAt(buffer, position, 16, nullptr), err::kOk);
    EXPECT_EQ(std::string(buffer, 16), data.substr(position, 16));
    if (block != current) ++switches;
    current = block;
  }
  EXPECT_EQ(file.decodes, switches);
}

TEST(CompressedFileTest, TheHookWrapsCompressedFilesOnly) {
  MountNativeFileSystem();
  CTempDir dir;
  dir.WriteFile("plain.txt", "LZ plain");
  {
    std::unique_ptr<CFile> out =
        FsOpen(dir.Join("packed.lz").c_str(), kOpenRead | kOpenWrite | kOpenCreate | kOpenTruncate, nullptr);
    ASSERT_NE(out, nullptr);
    CLzisFile packed(std::move(out), 1024, 2);
    ASSERT_EQ(packed.Write("hello hello hello", 17, nullptr), err::kOk);
  }
  {
    CDecompressingHook hook;
    std::unique_ptr<CFile> plain = FsOpen(dir.Join("plain.txt").c_str(), kOpenRead, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(KindOf<CCompressedFile>(plain.get()), nullptr);
    EXPECT_EQ(plain->Tell(), 0u);
    EXPECT_EQ(ReadAll(*plain), "LZ plain");
    std::unique_ptr<CFile> packed = FsOpen(dir.Join("packed.lz").c_str(), kOpenRead, nullptr);
    ASSERT_NE(KindOf<CLzisFile>(packed.get()), nullptr);
    EXPECT_EQ(ReadAll(*packed), "hello hello hello");
    ErrCode error = 0;
    EXPECT_EQ(FsOpen(dir.Join("none").c_str(), kOpenRead, &error), nullptr);
    EXPECT_EQ(error, err::kFileNotFound);
  }
  EXPECT_EQ(SetFsOpen(FsOpenDirect), FsOpenDirect);
  ShutdownFileService();
}
