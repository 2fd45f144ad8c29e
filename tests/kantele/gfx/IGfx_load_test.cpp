// Loading artwork, SVG documents and fonts by file name, the search over artwork scales, and
// the process-wide caches the contexts share. The files are written to a temporary folder.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

namespace fs = std::filesystem;

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  PutBE32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = start; i < out.size(); ++i) {
    crc ^= out[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  PutBE32(out, ~crc);
}

// A complete black 8-bit greyscale PNG of `w` x `h` pixels; h * (w + 1) < 65536 so that the
// pixels fit one stored deflate block.
std::vector<uint8_t> Png(uint32_t w, uint32_t h) {
  std::vector<uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBE32(header, w);
  PutBE32(header, h);
  header.insert(header.end(), {8, 0, 0, 0, 0});
  PutChunk(out, "IHDR", header);
  const uint32_t n = h * (w + 1);  // each row: filter 0, then black pixels
  std::vector<uint8_t> z{0x78, 0x01, 1, uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)};
  z.resize(z.size() + n, 0);
  PutBE32(z, ((n % 65521) << 16) | 1);  // Adler-32 of n zero bytes
  PutChunk(out, "IDAT", z);
  PutChunk(out, "IEND", {});
  return out;
}

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    static int sCount = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    mPath =
        fs::temp_directory_path() / ("kantele-gfx-" + std::to_string(std::random_device()()) + "-" +
                                     std::to_string(stamp) + "-" + std::to_string(++sCount));
    fs::create_directories(mPath);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(mPath, ec);
  }
  /// The path of `name` in the folder.
  std::string Path(const std::string& name) const { return (mPath / name).string(); }
  /// Writes `bytes` to `name` in the folder and answers its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(mPath / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return Path(name);
  }

 private:
  fs::path mPath;
};

class LoadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(IGfx::SharedCacheUsers(), 1); }

  TempDir dir;
  TestEditor e;
  RecordingGfx& g = e.g;
};

TEST(SharedCacheTest, TheLastContextEmptiesTheCaches) {
  ASSERT_EQ(IGfx::SharedCacheUsers(), 0);
  TempDir dir;
  const std::string knob = dir.Write("knob.png", Png(60, 40));
  const std::string shape = dir.Write("shape.svg", {'<', 's', 'v', 'g', '/', '>', ' ', ' ', '\n'});
  {
    TestEditor first;
    EXPECT_EQ(IGfx::SharedCacheUsers(), 1);
    APIBitmap* kept = nullptr;
    {
      TestEditor second;
      EXPECT_EQ(IGfx::SharedCacheUsers(), 2);
      kept = second.g.IGfx::LoadBitmap(knob.c_str()).GetAPIBitmap();
      ASSERT_NE(kept, nullptr);
      EXPECT_TRUE(second.g.LoadSVG(shape.c_str()).IsValid());
    }
    // Still there for the other context, and shared with it.
    EXPECT_EQ(IGfx::SharedCacheUsers(), 1);
    EXPECT_EQ(IGfx::SharedBitmapCacheSize(), 1);
    EXPECT_EQ(IGfx::SharedSVGCacheSize(), 1);
    EXPECT_EQ(first.g.IGfx::LoadBitmap(knob.c_str()).GetAPIBitmap(), kept);
    EXPECT_TRUE(first.g.mBitmapReads.empty());
  }
  EXPECT_EQ(IGfx::SharedCacheUsers(), 0);
  EXPECT_EQ(IGfx::SharedBitmapCacheSize(), 0);
  EXPECT_EQ(IGfx::SharedSVGCacheSize(), 0);
}

TEST_F(LoadTest, ABitmapIsReadOnceAndSizedInUIUnits) {
  const std::string knob = dir.Write("knob.png", Png(60, 40));
  const IBitmapHandle strip = g.LoadBitmap(knob.c_str(), 2);
  ASSERT_TRUE(strip.IsValid());
  EXPECT_EQ(strip.GetAPIBitmap()->GetScale(), 1);
  EXPECT_EQ(strip.W(), 60);
  EXPECT_EQ(strip.H(), 40);
  EXPECT_EQ(strip.N(), 2);
  EXPECT_EQ(strip.FH(), 20);
  EXPECT_STREQ(strip.GetResourceName(), knob.c_str());

  const IBitmapHandle row = g.LoadBitmap(knob.c_str(), 3, true);
  EXPECT_EQ(row.GetAPIBitmap(), strip.GetAPIBitmap());
  EXPECT_EQ(row.FW(), 20);
  EXPECT_EQ(row.FH(), 40);
  EXPECT_EQ(g.mBitmapReads.size(), 1u);
  EXPECT_EQ(g.mBitmapCache.Size(), 1);
  EXPECT_EQ(IGfx::SharedBitmapCacheSize(), 0);  // a back end keeps its bitmaps to itself
}

TEST_F(LoadTest, ArtworkIsSearchedOverScalesInOrder) {
  auto loadedFor = [this](const std::string& path, int target) {
    g.LoadBitmap(path.c_str(), 1, false, target);
    return g.mBitmapReads.empty() ? std::make_pair(std::string(), 0) : g.mBitmapReads.back();
  };
  const std::string pair = dir.Write("pair.png", Png(60, 40));
  dir.Write("pair@2x.png", Png(120, 80));
  EXPECT_EQ(loadedFor(pair, 2), std::make_pair(dir.Path("pair@2x.png"), 2));
  EXPECT_EQ(loadedFor(pair, 1), std::make_pair(pair, 1));

  // From 1 the larger 3 comes before 2; from 3 the next smaller, 2, comes before 1.
  const std::string hi = dir.Path("hi.png");
  dir.Write("hi@2x.png", Png(120, 80));
  dir.Write("hi@3x.png", Png(180, 120));
  EXPECT_EQ(loadedFor(hi, 1), std::make_pair(dir.Path("hi@3x.png"), 3));
  const std::string lo = dir.Write("lo.png", Png(60, 40));
  dir.Write("lo@2x.png", Png(120, 80));
  EXPECT_EQ(loadedFor(lo, 3), std::make_pair(dir.Path("lo@2x.png"), 2));
  EXPECT_EQ(g.mBitmapReads.size(), 4u);
}

TEST_F(LoadTest, ArtworkOfAnotherScaleIsCachedUnderTheScaleFound) {
  // Only @2x: found from target 1 after 1 and 3, then found in the cache from 1 and from 2.
  dir.Write("solo@2x.png", Png(120, 80));
  const std::string solo = dir.Path("solo.png");
  const IBitmapHandle first = g.LoadBitmap(solo.c_str(), 1, false, 1);
  ASSERT_TRUE(first.IsValid());
  EXPECT_EQ(first.GetAPIBitmap()->GetScale(), 2);
  EXPECT_EQ(first.GetAPIBitmap()->GetWidth(), 120);
  EXPECT_EQ(first.W(), 60);
  EXPECT_EQ(first.H(), 40);
  EXPECT_EQ(g.LoadBitmap(solo.c_str(), 1, false, 1).GetAPIBitmap(), first.GetAPIBitmap());
  EXPECT_EQ(g.LoadBitmap(solo.c_str(), 1, false, 2).GetAPIBitmap(), first.GetAPIBitmap());
  EXPECT_EQ(g.mBitmapReads.size(), 1u);
  EXPECT_EQ(g.mBitmapCache.Size(), 1);
}

TEST_F(LoadTest, TheSharedCacheDrawsArtworkOfAnotherScaleAgainAtTheTarget) {
  dir.Write("solo@2x.png", Png(120, 80));
  const std::string solo = dir.Path("solo.png");
  const IBitmapHandle first = g.IGfx::LoadBitmap(solo.c_str(), 2, false, 1);
  ASSERT_TRUE(first.IsValid());
  // Read once at 2, then drawn into a layer of the target scale: 60 x 40 pixels at scale 1.
  EXPECT_EQ(g.mBitmapReads,
            (std::vector<std::pair<std::string, int>>{{dir.Path("solo@2x.png"), 2}}));
  EXPECT_EQ(first.GetAPIBitmap()->GetScale(), 1);
  EXPECT_EQ(first.GetAPIBitmap()->GetWidth(), 60);
  EXPECT_EQ(first.GetAPIBitmap()->GetHeight(), 40);
  EXPECT_EQ(first.N(), 2);
  const std::vector<DrawCall> drawn = g.CallsOf("Bitmap");
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].mRect, IRect(0, 0, 60, 40));
  // Both scales stay cached; the next request at 1 is a hit.
  EXPECT_EQ(IGfx::SharedBitmapCacheSize(), 2);
  EXPECT_EQ(g.IGfx::LoadBitmap(solo.c_str(), 2, false, 1).GetAPIBitmap(), first.GetAPIBitmap());
  EXPECT_EQ(g.mBitmapReads.size(), 1u);
  // The context's scales are its own again afterwards.
  EXPECT_EQ(g.GetScreenScale(), 1.f);
  EXPECT_EQ(g.GetDrawScale(), 1.f);
}

TEST_F(LoadTest, TheDefaultTargetIsTheScreenScaleRoundedUp) {
  const std::string pair = dir.Write("pair.png", Png(60, 40));
  dir.Write("pair@2x.png", Png(120, 80));
  g.SetScreenScale(1.5f);
  const IBitmapHandle bitmap = g.LoadBitmap(pair.c_str());
  ASSERT_TRUE(bitmap.IsValid());
  EXPECT_EQ(bitmap.GetAPIBitmap()->GetScale(), 2);
  ASSERT_EQ(g.mBitmapReads.size(), 1u);
  EXPECT_EQ(g.mBitmapReads[0], std::make_pair(dir.Path("pair@2x.png"), 2));
}

TEST_F(LoadTest, MissingUnsupportedOrUnreadableArtworkGivesTheEmptyBitmap) {
  const IBitmapHandle missing = g.LoadBitmap(dir.Path("none.png").c_str());
  EXPECT_FALSE(missing.IsValid());
  EXPECT_EQ(missing.W(), 0);

  const std::string text = dir.Write("notes.txt", Png(10, 10));
  EXPECT_FALSE(g.LoadBitmap(text.c_str()).IsValid());
  EXPECT_TRUE(g.mBitmapReads.empty());  // never handed to the back end

  const std::string bad = dir.Write("bad.png", std::vector<uint8_t>(64, 0x5A));
  EXPECT_FALSE(g.LoadBitmap(bad.c_str()).IsValid());
  EXPECT_FALSE(g.LoadBitmap(bad.c_str()).IsValid());
  EXPECT_EQ(g.mBitmapCache.Size(), 0);
}

TEST_F(LoadTest, TheBackgroundGoesFirstAndDrawsItsBitmap) {
  const std::string art = dir.Write("bg.png", Png(300, 200));
  ProbeControl* a = e.Add("A", IRect(10, 10, 50, 50));
  IControl* background = g.AttachBackground(art.c_str());
  ASSERT_NE(background, nullptr);
  ASSERT_EQ(g.NControls(), 2);
  EXPECT_EQ(g.GetControl(0), background);
  EXPECT_EQ(g.GetControlIdx(a), 1);
  EXPECT_EQ(background->GetDrawRect(), IRect(0, 0, 300, 200));

  IRectList rects;
  rects.Add(IRect(0, 0, 300, 200));
  g.Draw(rects);
  const std::vector<DrawCall> bitmaps = g.CallsOf("Bitmap");
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].mRect, IRect(0, 0, 300, 200));
  EXPECT_EQ(bitmaps[0].mArgs, (std::vector<double>{0, 0}));
  EXPECT_EQ(bitmaps[0].mText, art);
  EXPECT_EQ(bitmaps[0].mBitmap, g.LoadBitmap(art.c_str()).GetAPIBitmap());
  EXPECT_EQ(bitmaps[0].mWeight, 1.f);
}

TEST_F(LoadTest, AnSVGDocumentIsCachedByName) {
  const std::vector<uint8_t> source{'<', 's', 'v', 'g', '/', '>', '\n', ' ', ' '};
  const std::string shape = dir.Write("shape.svg", source);
  const ISVG svg = g.LoadSVG(shape.c_str());
  ASSERT_TRUE(svg.IsValid());
  EXPECT_EQ(svg.W(), 0.f);  // no parser: an empty document
  EXPECT_EQ(svg.mDoc->mSource, source);
  EXPECT_EQ(g.LoadSVG(shape.c_str()).mDoc, svg.mDoc);
  EXPECT_EQ(IGfx::SharedSVGCacheSize(), 1);
  EXPECT_FALSE(g.LoadSVG(dir.Path("none.svg").c_str()).IsValid());
  EXPECT_EQ(IGfx::SharedSVGCacheSize(), 1);
}

TEST_F(LoadTest, AFontFileIsRegisteredUnderItsID) {
  const std::string face = dir.Write("face.ttf", std::vector<uint8_t>(32, 1));
  EXPECT_TRUE(g.LoadFont("Body", face.c_str()));
  EXPECT_EQ(g.mFontIDs, (std::vector<std::string>{"Body"}));
  EXPECT_FALSE(g.LoadFont("Missing", dir.Path("none.ttf").c_str()));
  EXPECT_EQ(g.mFontIDs.size(), 1u);
}

}  // namespace
}  // namespace kantele::gfx::test
