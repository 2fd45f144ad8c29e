#include "kantele/gfx/KeyedCache.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace kantele {
namespace gfx {
namespace {

TEST(CacheKey, TextAndHash) {
  EXPECT_EQ(CacheKeyText("ledOn.png", 1.0), "ledOn.png-1.0x");
  EXPECT_EQ(CacheKeyText("ledOn.png", 2.0), "ledOn.png-2.0x");
  EXPECT_EQ(CacheKeyText("knob", 1.04), "knob-1.0x") << "one decimal, rounded";
  EXPECT_EQ(CacheKeyText("knob", 1.96), "knob-2.0x");
  EXPECT_EQ(CacheKeyText("knob", 0.5), "knob-0.5x");
  EXPECT_EQ(CacheKeyText(nullptr, 3.0), "-3.0x");
  // 1e300 in fixed notation is 301 digits; the text holds all of them.
  EXPECT_EQ(CacheKeyText("big", 1e300).size(), std::string("big-").size() + 301 + 2 + 1);

  // Reference values computed outside this code base (64-bit FNV-1a).
  EXPECT_EQ(Fnv1a64("", 0), 0xcbf29ce484222325ull);
  EXPECT_EQ(Fnv1a64("a", 1), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(Fnv1a64("ledOn.png-1.0x", 14), 0xf5a9299b8e0d0b96ull);
  EXPECT_EQ(Fnv1a64("ledOn.png-1.0xTRAILING", 14), 0xf5a9299b8e0d0b96ull) << "only `length` bytes";

  const std::string key = CacheKeyText("ledOn.png", 1.0);
  EXPECT_EQ(CacheKeyHash("ledOn.png", 1.0), Fnv1a64(key.data(), key.size()));
  EXPECT_EQ(CacheKeyHash("ledOn.png", 1.0), 0xf5a9299b8e0d0b96ull);
}

TEST(CacheKey, TextIgnoresTheLocale) {
  // Where a locale with a decimal comma exists, the key keeps its point.
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252"}) {
    if (std::setlocale(LC_NUMERIC, name)) {
      comma = name;
      break;
    }
  }
  const std::string key = CacheKeyText("ledOn.png", 1.5);
  std::setlocale(LC_NUMERIC, before.c_str());
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_EQ(key, "ledOn.png-1.5x") << "under " << comma;
}

// Records the order objects are destroyed in.
struct Tracked {
  Tracked(std::vector<std::string>* log, std::string name) : log(log), name(std::move(name)) {}
  ~Tracked() { log->push_back(name); }
  std::vector<std::string>* log;
  std::string name;
};

static_assert(!std::is_copy_constructible_v<KeyedCache<Tracked>>);
static_assert(!std::is_copy_assignable_v<KeyedCache<Tracked>>);

class KeyedCacheTest : public testing::Test {
 protected:
  Tracked* Add(const char* name, double scale, const char* label) {
    return mCache.Add(std::make_unique<Tracked>(&mDestroyed, label), name, scale);
  }
  std::vector<std::string> mDestroyed;
  KeyedCache<Tracked> mCache;
};

TEST_F(KeyedCacheTest, FindNeedsTheExactNameAndScale) {
  Tracked* one = Add("knob.png", 1.0, "one");
  Tracked* two = Add("knob.png", 2.0, "two");
  Tracked* upper = Add("Knob.png", 1.0, "upper");
  ASSERT_EQ(mCache.Size(), 3);
  EXPECT_EQ(mCache.Find("knob.png", 1.0), one);
  EXPECT_EQ(mCache.Find("knob.png", 2.0), two);
  EXPECT_EQ(mCache.Find("Knob.png", 1.0), upper) << "names are case-sensitive";
  EXPECT_EQ(mCache.Find("knob.png", 3.0), nullptr);
  EXPECT_EQ(mCache.Find("knob", 1.0), nullptr);
  EXPECT_EQ(mCache.Find(nullptr, 1.0), nullptr);
  // 1.04 has the same key text (and hash) as 1.0; the scale itself must match too.
  EXPECT_EQ(CacheKeyHash("knob.png", 1.04), CacheKeyHash("knob.png", 1.0));
  EXPECT_EQ(mCache.Find("knob.png", 1.04), nullptr);
  Tracked* near = Add("knob.png", 1.04, "near");
  EXPECT_EQ(mCache.Find("knob.png", 1.04), near);
  EXPECT_EQ(mCache.Find("knob.png", 1.0), one);

  // The first of equal keys wins.
  Add("knob.png", 2.0, "second two");
  EXPECT_EQ(mCache.Find("knob.png", 2.0), two);
  EXPECT_EQ(mCache.Add(nullptr, "null", 1.0), nullptr);
  EXPECT_EQ(mCache.Size(), 5);
  EXPECT_TRUE(mDestroyed.empty());
}

TEST_F(KeyedCacheTest, RemoveDeletesTheObjectAndClosesTheGap) {
  Tracked* a = Add("a", 1.0, "a");
  Tracked* b = Add("b", 1.0, "b");
  Tracked* c = Add("c", 1.0, "c");
  EXPECT_TRUE(mCache.Remove(b));
  EXPECT_EQ(mDestroyed, std::vector<std::string>{"b"});
  EXPECT_EQ(mCache.Size(), 2);
  EXPECT_EQ(mCache.Find("b", 1.0), nullptr);
  EXPECT_EQ(mCache.Find("a", 1.0), a);
  EXPECT_EQ(mCache.Find("c", 1.0), c);

  EXPECT_FALSE(mCache.Remove(b)) << "already gone";
  EXPECT_FALSE(mCache.Remove(nullptr));
  const auto stranger = std::make_unique<Tracked>(&mDestroyed, "stranger");
  EXPECT_FALSE(mCache.Remove(stranger.get()));
  EXPECT_EQ(mCache.Size(), 2);

  // The remaining entries kept their order.
  mCache.Clear();
  EXPECT_EQ(mDestroyed, (std::vector<std::string>{"b", "c", "a"}));
}

TEST_F(KeyedCacheTest, ClearAndDestructionDeleteLastAddedFirst) {
  Add("a", 1.0, "a");
  Add("b", 2.0, "b");
  Add("c", 3.0, "c");
  mCache.Clear();
  EXPECT_EQ(mDestroyed, (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(mCache.Size(), 0);
  EXPECT_EQ(mCache.Find("a", 1.0), nullptr);

  std::vector<std::string> destroyed;
  {
    KeyedCache<Tracked> cache;
    cache.Add(std::make_unique<Tracked>(&destroyed, "x"), "x", 1.0);
    cache.Add(std::make_unique<Tracked>(&destroyed, "y"), "y", 1.0);
  }
  EXPECT_EQ(destroyed, (std::vector<std::string>{"y", "x"}));
}

}  // namespace
}  // namespace gfx
}  // namespace kantele
