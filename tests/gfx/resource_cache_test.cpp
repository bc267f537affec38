#include "gfx/resource_cache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "base/log.h"
#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "gfx/bmp.h"
#include "gfx/font.h"
#include "store/hash_ini.h"
#include "support/temp_dir.h"

namespace {

class CToken : public CObject {
  TV_CLASS(CToken, CObject)

 public:
  explicit CToken(std::string text) : name(std::move(text)) {}
  std::string name;
};

// A loader whose resources are tokens named like what was asked for; names
// starting with "big" are 500 bytes, "empty" 0, others 40; "keep" entries
// ask for pass-through, "pre" ones are cache-only.
class CCountingLoader : public CResourceLoader {
 public:
  ErrCode Lock(uint32_t, const char* name, CObject** resource, uint32_t) override {
    if (std::strncmp(name, "missing", 7) == 0) return err::kFileNotFound;
    ++loads[name];
    *resource = &tokens.emplace_back(name);
    return err::kOk;
  }
  ErrCode Unlock(uint32_t, CObject* resource) override {
    released.push_back(KindOf<CToken>(resource)->name);
    return err::kOk;
  }
  ErrCode Command(uint32_t, uint32_t code, void*) override {
    commands.push_back(code);
    return err::kOk;
  }

  std::map<std::string, int> loads;
  std::deque<CToken> tokens;
  std::vector<std::string> released;
  std::vector<uint32_t> commands;
};

void TokenSize(uint32_t, CObject* resource, uint32_t* size, uint32_t* flags) {
  const std::string& name = KindOf<CToken>(resource)->name;
  *size = name.rfind("big", 0) == 0 ? 500 : name.rfind("empty", 0) == 0 ? 0 : 40;
  *flags = name.rfind("keep", 0) == 0 ? CRLCache::kPassThrough
           : name.rfind("pre", 0) == 0 ? CRLCache::kCacheOnly
                                        : 0;
}

class RLCacheTest : public ::testing::Test {
 protected:
  RLCacheTest() {
    auto below = std::make_unique<CCountingLoader>();
    m_below = below.get();
    m_cache = std::make_unique<CRLCache>(std::move(below), 7, 100, TokenSize);
  }
  CObject* Lock(const char* name, uint32_t kind = kResourceBitmap) {
    CObject* resource = nullptr;
    EXPECT_EQ(m_cache->Lock(kind, name, &resource, 0), err::kOk) << name;
    return resource;
  }
  void Unlock(CObject* resource, uint32_t kind = kResourceBitmap) {
    EXPECT_EQ(m_cache->Unlock(kind, resource), err::kOk);
  }

  CCountingLoader* m_below;
  std::unique_ptr<CRLCache> m_cache;
};

using Names = std::vector<std::string>;

TEST_F(RLCacheTest, LockedTwiceAndUnlockedTwiceStaysCached) {
  CObject* a = Lock("/pics/Tree.bmp");
  EXPECT_EQ(Lock("/PICS/tree.BMP"), a);  // names ignore case
  Unlock(a);
  Unlock(a);
  EXPECT_TRUE(m_below->released.empty());
  EXPECT_EQ(m_cache->CachedBytes(), 40u);
  EXPECT_EQ(Lock("/pics/tree.bmp"), a);
  EXPECT_EQ(m_below->loads["/pics/Tree.bmp"], 1);
  EXPECT_EQ(m_cache->CachedBytes(), 0u);
  // Another kind is another resource.
  CObject* font = Lock("/pics/tree.bmp", kResourceFont);
  EXPECT_NE(font, a);
  Unlock(font, kResourceFont);
  Unlock(a);
}

TEST_F(RLCacheTest, ResourcesAtLeastTheBudgetGoAtTheirLastUnlock) {
  CObject* big = Lock("big one");
  Unlock(big);
  EXPECT_EQ(m_below->released, Names{"big one"});
  EXPECT_EQ(m_cache->CachedCount(), 0u);
  Lock("big one");
  EXPECT_EQ(m_below->loads["big one"], 2);
  Unlock(&m_below->tokens.back());
}

TEST_F(RLCacheTest, TrimmingDropsTheOldestUnlockedFirst) {
  CObject* a = Lock("a");
  CObject* b = Lock("b");
  CObject* c = Lock("c");
  Unlock(b);  // unlock order b, a: b is the oldest
  Unlock(a);
  EXPECT_EQ(m_cache->CachedBytes(), 80u);
  Unlock(c);  // trimmed to 100 - 40 first
  EXPECT_EQ(m_below->released, Names{"b"});
  EXPECT_EQ(m_cache->CachedBytes(), 80u);
  CObject* empty = Lock("empty");  // size 0 counts as 1
  Unlock(empty);
  EXPECT_EQ(m_cache->CachedBytes(), 81u);
  Unlock(Lock("d"));  // 81 bytes trimmed to 60: a goes, c (41 left) stays
  EXPECT_EQ(m_below->released, (Names{"b", "a"}));
  EXPECT_EQ(m_cache->CachedBytes(), 81u);
}

TEST_F(RLCacheTest, ForgetReleasesNowOrAtTheLastUnlock) {
  EXPECT_EQ(m_cache->Forget(kResourceBitmap, "never"), err::kNotFound);
  CObject* a = Lock("a");
  Unlock(a);
  ASSERT_EQ(m_cache->Forget(kResourceBitmap, "A"), err::kOk);
  EXPECT_EQ(m_below->released, Names{"a"});
  EXPECT_EQ(m_cache->CachedBytes(), 0u);

  CObject* b = Lock("b");
  ASSERT_EQ(m_cache->Forget(kResourceBitmap, "b"), err::kOk);
  EXPECT_TRUE(m_below->released.size() == 1);
  CObject* fresh = Lock("b");  // a new lock of the name loads afresh
  EXPECT_NE(fresh, b);
  EXPECT_EQ(m_below->loads["b"], 2);
  Unlock(b);
  EXPECT_EQ(m_below->released, (Names{"a", "b"}));
  Unlock(fresh);
  EXPECT_EQ(m_cache->CachedBytes(), 40u);  // the fresh one is cached as usual
  ASSERT_EQ(m_cache->Reload(kResourceBitmap, "b", nullptr, 0), err::kOk);
  EXPECT_EQ(m_below->released, (Names{"a", "b", "b"}));
}

TEST_F(RLCacheTest, FlagsFromTheSizeCallback) {
  CObject* keep = Lock("keep");
  CObject* again = Lock("keep");  // locked with pass-through: the loader below answers
  EXPECT_NE(again, keep);
  EXPECT_EQ(m_below->loads["keep"], 2);
  Unlock(again);  // not the cache's: handed down
  EXPECT_EQ(m_below->released, Names{"keep"});
  Unlock(keep);
  EXPECT_EQ(Lock("keep"), keep);  // unlocked, so the cache answers again
  Unlock(keep);

  Lock("pre");  // cache-only: joins the cached list unlocked
  EXPECT_EQ(m_cache->CachedCount(), 2u);
  EXPECT_EQ(m_cache->CachedBytes(), 80u);
}

TEST_F(RLCacheTest, ErrorsAndCommandsPassThrough) {
  CObject* resource = &m_below->tokens.emplace_back("stale");
  EXPECT_EQ(m_cache->Lock(kResourceBitmap, "missing.bmp", &resource, 0), err::kFileNotFound);
  EXPECT_EQ(resource, nullptr);
  EXPECT_EQ(m_cache->Command(kResourceFont, 42, nullptr), err::kOk);
  EXPECT_EQ(m_below->commands, std::vector<uint32_t>{42});
  const std::string long_name(300, 'x');
  CObject* uncached = Lock(long_name.c_str());
  Unlock(uncached);
  EXPECT_EQ(m_below->released.size(), 1u);
  CResourceLoader base;
  EXPECT_EQ(base.Lock(kResourceBitmap, "x", &resource, 0), err::kNotImplementedYet);
}

TEST_F(RLCacheTest, ShutdownTracesWhatIsStillLocked) {
  CObject* a = Lock("/x");
  Unlock(Lock("cached"));
  m_cache.reset();
  EXPECT_NE(std::strstr(TraceBuffer(), "Locked resource (0x00000009, 40 bytes): /x\n"), nullptr);
  EXPECT_EQ(std::strstr(TraceBuffer(), "cached\n"), nullptr);
  (void)a;
}

TEST(FileLoader, BuildsBitmapsTemplatesAndFontsFromFiles) {
  CTempDir dir;
  MountNativeFileSystem();
  CBitmap picture;
  ASSERT_EQ(picture.Create(10, 4, kPixel8, nullptr, kBottomUp, 0), err::kOk);
  picture.SetPixel(2, 1, 77);
  ASSERT_EQ(SaveBmp(dir.Join("p.bmp").c_str(), picture, 0), err::kOk);
  dir.WriteFile("t.ini", "[Button]\r\nText=OK\r\n");
  CFont font(4, 3, 'A');
  const uint8_t mask[] = {0x80};
  font.AddGlyph(SGlyph{1, 1, 0, 0, 2}, mask);
  {
    std::unique_ptr<CFile> out = FsOpen(dir.Join("f.fnt").c_str(), 0x0F, nullptr);
    ASSERT_EQ(font.Write(out.get()), err::kOk);
  }
  CRLCache cache(std::make_unique<CFileLoader>(), CRLCache::kTableSize, CRLCache::kBudget,
                 FileResourceSize);
  CObject* resource = nullptr;
  ASSERT_EQ(cache.Lock(kResourceBitmap, dir.Join("p.bmp").c_str(), &resource, 0), err::kOk);
  EXPECT_EQ(KindOf<CBitmap>(resource)->GetPixel(2, 1), 77);
  cache.Unlock(kResourceBitmap, resource);
  EXPECT_EQ(cache.CachedBytes(), sizeof(CBitmap) + 12 * 4);
  ASSERT_EQ(cache.Lock(kResourceTemplate, dir.Join("t.ini").c_str(), &resource, 0), err::kOk);
  EXPECT_STREQ(KindOf<CHashIni>(resource)->GetString("button", "text"), "OK");
  cache.Unlock(kResourceTemplate, resource);
  ASSERT_EQ(cache.Lock(kResourceFont, dir.Join("f.fnt").c_str(), &resource, 0), err::kOk);
  EXPECT_EQ(KindOf<CFont>(resource)->Advance('A'), 2);
  cache.Unlock(kResourceFont, resource);
  EXPECT_EQ(cache.CachedCount(), 3u);
  EXPECT_EQ(cache.Lock(kResourceBitmap, dir.Join("none.bmp").c_str(), &resource, 0),
            err::kFileNotFound);
  EXPECT_EQ(cache.Lock(3, dir.Join("p.bmp").c_str(), &resource, 0), err::kNotImplementedYet);
  ShutdownFileService();
}

}  // namespace
