// tvkit pack and tvkit lz, run as authors run them.
#include <gtest/gtest.h>

#include <random>

#include "support/tvkit_fixture.h"

namespace {

class TvkitPackTest : public CTvkitTest {};

std::string Random(size_t size) {
  std::mt19937 random(static_cast<uint32_t>(size));
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

}  // namespace

TEST_F(TvkitPackTest, BuildListAndCat) {
  m_dir.WriteFile("d/Room1/back.bmp", "hello");
  m_dir.WriteFile("d/Room1/Door.BMP", "door");
  m_dir.WriteFile("d/a.txt", "x");
  m_dir.WriteFile("d/sub/deep/f", "deep");
  const std::string pak = m_dir.Join("w.pak");
  ExpectRun({"pack", "build", pak, m_dir.Join("d")}, 0, "");
  // The directory: A.TXT (15 bytes), ROOM1\BACK.BMP (24), ROOM1\DOOR.BMP
  // sharing "ROOM1\" (18), SUB\DEEP\F (20): 77 bytes from 40, data from 117.
  ExpectRun({"pack", "list", pak}, 0,
            "A.TXT\t117\t1\n"
            "ROOM1\\BACK.BMP\t118\t5\n"
            "ROOM1\\DOOR.BMP\t123\t4\n"
            "SUB\\DEEP\\F\t127\t4\n");
  const std::string pack = m_dir.ReadFile("w.pak");
  ASSERT_EQ(pack.size(), 131u);
  EXPECT_EQ(pack.substr(0, 18), std::string("TOVSYS PackFile\n\x1A\0", 18));
  EXPECT_EQ(pack.substr(18, 14), std::string(14, '\0'));
  EXPECT_EQ(pack.substr(32, 8), std::string("\x04\0\0\0\x4D\0\0\0", 8));  // 4 entries, 77 bytes
  EXPECT_EQ(pack.substr(117), "xhellodoordeep");

  ExpectRun({"pack", "cat", pak, "room1/BACK.bmp"}, 0, "hello");
  ExpectRun({"pack", "cat", pak, "Sub\\deep\\F"}, 0, "deep");
  ExpectRun({"pack", "cat", pak, "room1"}, 1, "", "error: FILENOTFOUND\n");
  m_dir.WriteFile("bad.pak", "TOVSYS PackFile\n\x1B");
  ExpectRun({"pack", "list", m_dir.Join("bad.pak")}, 1, "", "error: EOF\n");
}

TEST_F(TvkitPackTest, LzGivesBackEveryByte) {
  const std::vector<std::string> inputs = {
      "", "1", Random(4096), Random(4097), std::string(4096, 'r'),
      std::string(4097 * 3, 'r') + Random(100)};
  const std::vector<std::vector<std::string>> codecs = {
      {"--codec", "lzss"},
      {"--codec", "lzss", "--param", "0xA1"},
      {"--codec", "lzss", "--param", "181"},
      {"--codec", "lzis"},
      {"--codec", "lzis", "--level", "1"},
      {"--codec", "lzis", "--level", "3"}};
  for (size_t i = 0; i < inputs.size(); ++i) {
    m_dir.WriteFile("in", inputs[i]);
    for (const auto& codec : codecs) {
      std::vector<std::string> args = {"lz", "pack"};
      args.insert(args.end(), codec.begin(), codec.end());
      args.insert(args.end(), {"--block", "4096", m_dir.Join("in"), m_dir.Join("z")});
      SProcessResult run = Run(args);
      ASSERT_EQ(run.exit_code, 0) << run.err;
      EXPECT_EQ(m_dir.ReadFile("z").substr(0, 4), codec[1] == "lzss" ? "LZSS" : "LZIS");
      run = Run({"lz", "unpack", m_dir.Join("z"), m_dir.Join("out")});
      ASSERT_EQ(run.exit_code, 0) << run.err;
      EXPECT_TRUE(m_dir.ReadFile("out") == inputs[i]) << i << " " << codec[1];
    }
  }
  // A plain file comes out as it is.
  m_dir.WriteFile("plain", "LZ, but plain");
  ASSERT_EQ(Run({"lz", "unpack", m_dir.Join("plain"), m_dir.Join("out")}).exit_code, 0);
  EXPECT_EQ(m_dir.ReadFile("out"), "LZ, but plain");
}

TEST_F(TvkitPackTest, LzReportsBadArgumentsAndBadFiles) {
  m_dir.WriteFile("in", "data");
  m_dir.WriteFile("z", "old z");
  struct SCase {
    std::vector<std::string> args;
    const char* err;
  } cases[] = {
      {{"lz", "pack", "--codec", "lzss", "--param", "0xA6", "in", "z"},
       "error: NOSUCHBITLENGTHS\n"},
      {{"lz", "pack", "--codec", "lzis", "--level", "4", "in", "z"}, "error: BADPARAMS\n"},
      {{"lz", "pack", "--codec", "lzis", "--param", "0xC4", "in", "z"},
       "error: BADPARAMS\n"},
      {{"lz", "pack", "--codec", "zip", "in", "z"}, "error: BADPARAMS\n"},
      {{"lz", "pack", "--codec", "lzss", "none", "z"}, "error: FILENOTFOUND\n"},
  };
  for (SCase& c : cases) {
    for (std::string& arg : c.args)
      if (arg == "in" || arg == "z" || arg == "none") arg = m_dir.Join(arg);
    const SProcessResult run = Run(c.args);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
  EXPECT_EQ(m_dir.ReadFile("z"), "old z");
  EXPECT_FALSE(m_dir.Exists("z.new"));
  // Block offsets out of order; a header cut short after the magic.
  const std::string bad[] = {
      std::string("LZIS\x08\0\0\0\x04\0\0\0\x02\0\x1A\0\0\0\x16\0\0\0abcdefgh", 30),
      std::string("LZSS\x08\0", 6)};
  for (const std::string& bytes : bad) {
    m_dir.WriteFile("bad.z", bytes);
    m_dir.WriteFile("out", "old out");
    ExpectRun({"lz", "unpack", m_dir.Join("bad.z"), m_dir.Join("out")}, 1, "",
              "error: INVALIDFORMAT\n");
    EXPECT_EQ(m_dir.ReadFile("out"), "old out") << bytes.size();
    EXPECT_FALSE(m_dir.Exists("out.new")) << bytes.size();
  }
}
