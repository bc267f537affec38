// The XPM and GIMP palette readers: the accepted forms read to the values
// they spell, and every damaged variant is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/gpl.h"
#include "gfx/xpm.h"

namespace {

// 3 x 2, two characters a pixel; "  " is None, "b " is not used.
const std::string kXpm =
    "/* XPM */\n"
    "static char *icon[] = {\n"
    "/* values */\n"
    "\"3 2 4 2\",\n"
    "\"   c None\",\n"
    "\"r. c #FF0000\",\n"
    "\"g# c #00ff80\",\n"
    "\"b  c #0000FF\",\n"
    "/* pixels */ \"r.  g#\",\n"
    "\"g#r.  \",\n"
    "};\n";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::vector<uint32_t> Argb(const SXpmImage& image) {
  std::vector<uint32_t> argb;
  for (uint16_t index : image.pixels) {
    const SXpmColour& c = image.colours.at(index);
    argb.push_back(c.none ? 0 : 0xFF000000u | c.red << 16 | c.green << 8 | c.blue);
  }
  return argb;
}

TEST(XpmTest, ReadsCodesOfTwoCharactersAndNoneInEachAcceptedSpelling) {
  const std::pair<std::string, std::string> spellings[] = {
      {"", ""},
      {"\"3 2 4 2\"", "\"3 2 4 2 0 1\""},                          // hotspot
      {"static char *", "static const char* const"},               // qualifiers
      {"\"g#r.  \",\n", "/* last */ \"g#r.  \" /* no comma */\n"},
  };
  for (const auto& [from, to] : spellings) {
    SXpmImage image;
    ASSERT_EQ(ParseXpm(from.empty() ? kXpm : Replaced(kXpm, from, to), &image), err::kOk) << to;
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(Argb(image), (std::vector<uint32_t>{0xFFFF0000, 0, 0xFF00FF80,  //
                                                  0xFF00FF80, 0xFFFF0000, 0}));
  }
}

TEST(XpmTest, RefusesEachDamage) {
  const struct {
    const char* from;
    const char* to;
  } damages[] = {
      {"/* XPM */", "/* XPN */"},         {"\"3 2 4 2\"", "\"3 3 4 2\""},
      {"\"3 2 4 2\"", "\"3 1 4 2\""},     {"\"3 2 4 2\"", "\"4 2 4 2\""},
      {"\"3 2 4 2\"", "\"3 2 5 2\""},     {"\"3 2 4 2\"", "\"3 2 3 2\""},
      {"\"3 2 4 2\"", "\"3 2 4 3\""},     {"\"3 2 4 2\"", "\"0 2 4 2\""},
      {"\"3 2 4 2\"", "\"4097 2 4 2\""},  {"\"3 2 4 2\"", "\"3 2 4 2 1\""},
      {"\"3 2 4 2\"", "\"3 2 4 -2\""},    {"\"r.  g#\"", "\"r.  g\""},
      {"\"r.  g#\"", "\"r.  g#r.\""},     {"\"g#r.  \"", "\"g#rr  \""},
      {"\"b  c", "\"r. c"},               {"#FF0000", "red"},
      {"#FF0000", "#F00"},                {"#FF0000", "#FF00G0"},
      {"r. c", "r. m"},                   {"#FF0000", "#FF0000 m #FF0000"},
      {"r. c", "r.c"},                    {"\"g#r.  \",", "\"g#r.  ,"},
      {"\"r.  g#\",", "\"r.  g#\""},      {"/* values */", "/* values"},
      {"};", "}"},                        {"};", "}; x"},
      {"r.", "r\\"},                      {"icon[]", "icon"},
  };
  for (const auto& damage : damages) {
    SXpmImage image;
    EXPECT_EQ(ParseXpm(Replaced(kXpm, damage.from, damage.to), &image), err::kInvalidFormat)
        << damage.from << " -> " << damage.to;
  }
}

std::string Gpl(int entries) {
  std::string text = "GIMP Palette\n";
  for (int i = 0; i < entries; ++i) text += std::to_string(i % 256) + " 0 0\n";
  return text;
}

TEST(GplTest, ReadsEntriesInFileOrderPastHeadersAndComments) {
  CPalette palette;
  ASSERT_EQ(ParseGpl("GIMP Palette\r\nName: test\nColumns: 4\n# note\n  0  10 255 first\n\n"
                     "255\t128 7\n 1 2 3 a name with spaces",
                     &palette),
            err::kOk);
  const uint8_t rgb[][3] = {{0, 10, 255}, {255, 128, 7}, {1, 2, 3}};
  ASSERT_EQ(palette.Count(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(palette.Entries()[i].red, rgb[i][0]) << i;
    EXPECT_EQ(palette.Entries()[i].green, rgb[i][1]) << i;
    EXPECT_EQ(palette.Entries()[i].blue, rgb[i][2]) << i;
  }
  ASSERT_EQ(ParseGpl(Gpl(256), &palette), err::kOk);
  EXPECT_EQ(palette.Count(), 256u);
}

TEST(GplTest, RefusesBadFiles) {
  const std::string bad[] = {
      "",                    "0 0 0\n",
      Gpl(0),                "GIMP palette\n0 0 0\n",
      Gpl(257),              "GIMP Palette\nColumns: x\n0 0 0\n",
      Gpl(1) + "256 0 0\n",  Gpl(1) + "-1 0 0\n",
      Gpl(1) + "1 2\n",      Gpl(1) + "1 2 3x\n",
      Gpl(1) + "Name: late\n",
  };
  for (const std::string& text : bad) {
    CPalette palette;
    EXPECT_EQ(ParseGpl(text, &palette), err::kInvalidFormat) << text.substr(0, 40);
  }
}

}  // namespace
