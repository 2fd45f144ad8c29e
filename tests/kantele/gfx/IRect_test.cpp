#include "kantele/gfx/IRect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kantele {
namespace gfx {
namespace {

std::string Describe(const IRectList& list) {
  std::ostringstream s;
  for (int i = 0; i < list.Size(); ++i) {
    const IRect& r = list.Get(i);
    s << "(" << r.L << ", " << r.T << ", " << r.R << ", " << r.B << ") ";
  }
  return s.str();
}

std::vector<IRect> Rects(const IRectList& list) {
  std::vector<IRect> v;
  for (int i = 0; i < list.Size(); ++i) v.push_back(list.Get(i));
  return v;
}

IRectList Optimized(std::initializer_list<IRect> rects) {
  IRectList list;
  for (const IRect& r : rects) list.Add(r);
  list.Optimize();
  return list;
}

// Counts, for each unit cell of a kGrid x kGrid area, the rectangles covering it. The
// rectangles must have integer coordinates inside the area.
constexpr int kGrid = 40;

std::vector<int> Rasterise(const IRectList& list) {
  std::vector<int> cells(kGrid * kGrid, 0);
  for (const IRect& r : Rects(list)) {
    if (r.L < 0 || r.T < 0 || r.R > kGrid || r.B > kGrid) {
      ADD_FAILURE() << "piece off the grid: " << Describe(list);
      continue;
    }
    for (int y = static_cast<int>(r.T); y < static_cast<int>(r.B); ++y)
      for (int x = static_cast<int>(r.L); x < static_cast<int>(r.R); ++x) ++cells[y * kGrid + x];
  }
  return cells;
}

// The optimised list must paint exactly the input's cells, each of them once.
void ExpectSameCellsPaintedOnce(const IRectList& input, const IRectList& optimised) {
  const std::vector<int> before = Rasterise(input), after = Rasterise(optimised);
  int changed = 0, twice = 0;
  for (size_t c = 0; c < before.size(); ++c) {
    changed += (before[c] > 0) != (after[c] > 0);
    twice += after[c] > 1;
  }
  EXPECT_EQ(changed, 0) << "cells gained or lost: " << Describe(input) << "-> "
                        << Describe(optimised);
  EXPECT_EQ(twice, 0) << "cells painted twice: " << Describe(input) << "-> " << Describe(optimised);
}

// ---- Rectangle geometry ----

TEST(IRect, EmptinessDerivedValuesAndPlacement) {
  EXPECT_TRUE(IRect().Empty());
  EXPECT_FALSE(IRect(0, 0, 0, 5).Empty()) << "zero width is not empty";

  const IRect r(10, 20, 50, 30);
  EXPECT_FLOAT_EQ(r.W(), 40);
  EXPECT_FLOAT_EQ(r.H(), 10);
  EXPECT_FLOAT_EQ(r.MW(), 30);
  EXPECT_FLOAT_EQ(r.MH(), 25);
  EXPECT_FLOAT_EQ(r.Area(), 400);
  EXPECT_EQ(r.GetPadded(-5), IRect(15, 25, 45, 25));
  EXPECT_EQ(r.GetCentredInside(10, 4), IRect(25, 23, 35, 27));
  EXPECT_EQ(r.GetFromBottomRight(5, 3), IRect(45, 27, 50, 30));
}

TEST(IRect, HitTestAndContainment) {
  const IRect r(10, 10, 20, 20);
  EXPECT_TRUE(r.Contains(10.f, 10.f));
  EXPECT_TRUE(r.Contains(19.99f, 19.99f));
  EXPECT_FALSE(r.Contains(20.f, 15.f));
  EXPECT_FALSE(r.Contains(15.f, 20.f));
  EXPECT_FALSE(IRect().Contains(0.f, 0.f));

  EXPECT_TRUE(r.Contains(r)) << "edges are inside";
  EXPECT_TRUE(r.Contains(IRect(10, 12, 20, 13)));
  EXPECT_FALSE(r.Contains(IRect(12, 12, 20.5f, 13)));
  EXPECT_FALSE(IRect(12, 12, 13, 13).Contains(r));
}

TEST(IRect, IntersectAndUnion) {
  const IRect a(0, 0, 10, 10);
  EXPECT_EQ(a.Intersect(IRect(5, -5, 15, 7)), IRect(5, 0, 10, 7));
  EXPECT_FALSE(a.Intersects(IRect(11, 0, 20, 10)));
  EXPECT_EQ(a.Intersect(IRect(11, 0, 20, 10)), IRect());
  // Touching counts on this rectangle's right and bottom edges only.
  EXPECT_EQ(a.Intersect(IRect(10, 0, 20, 10)), IRect(10, 0, 10, 10));
  EXPECT_TRUE(a.Intersects(IRect(0, 10, 10, 20)));
  EXPECT_FALSE(IRect(10, 0, 20, 10).Intersects(a));
  // The all-zero rectangle lies geometrically inside this one but is empty.
  const IRect around(-5, -5, 5, 5);
  EXPECT_FALSE(IRect().Intersects(around));
  EXPECT_FALSE(around.Intersects(IRect()));
  EXPECT_TRUE(around.Intersects(IRect(0, 0, 0, 5)));

  EXPECT_EQ(IRect().Union(IRect(1, 2, 3, 4)), IRect(1, 2, 3, 4));
  EXPECT_EQ(IRect(1, 2, 3, 4).Union(IRect()), IRect(1, 2, 3, 4));
  EXPECT_EQ(IRect(1, 2, 3, 4).Union(IRect(5, -1, 6, 3)), IRect(1, -1, 6, 4));
}

TEST(IRect, MergeableOnlyWhenTheUnionIsExact) {
  const IRect a(0, 0, 10, 10);
  EXPECT_TRUE(a.Mergeable(IRect()));
  EXPECT_TRUE(a.Mergeable(IRect(0, 10, 10, 20)));
  EXPECT_TRUE(a.Mergeable(IRect(0, -7, 10, 0)));
  EXPECT_TRUE(a.Mergeable(IRect(0, 5, 10, 15)));
  EXPECT_TRUE(a.Mergeable(IRect(-3, 0, 4, 10)));
  EXPECT_FALSE(a.Mergeable(IRect(0, 10.0001f, 10, 20))) << "a gap";
  EXPECT_FALSE(a.Mergeable(IRect(10.5f, 0, 20, 10))) << "a gap";
  EXPECT_FALSE(a.Mergeable(IRect(10, 10, 20, 20))) << "only a corner shared";
  EXPECT_FALSE(a.Mergeable(IRect(0, 10, 11, 20))) << "different widths";
}

TEST(IRect, PixelAlignCoversEveryTouchedDevicePixel) {
  IRect r(0.3f, 0.3f, 1.1f, 1.1f);
  r.PixelAlign(2);
  EXPECT_EQ(r, IRect(0, 0, 1.5f, 1.5f));
  IRect n(-0.3f, -1.2f, 0.2f, 2.f);
  n.PixelAlign(1);
  EXPECT_EQ(n, IRect(-1, -2, 1, 2));
  n.Scale(2.5f);
  EXPECT_EQ(n, IRect(-2.5f, -5, 2.5f, 5));
}

// ---- Rectangle lists ----

TEST(IRectListOptimize, DropsContainedAndMergesNeighbours) {
  EXPECT_EQ(Rects(Optimized({{0, 0, 10, 10}, {2, 2, 5, 5}})), std::vector<IRect>({{0, 0, 10, 10}}));
  EXPECT_EQ(Rects(Optimized({{2, 2, 5, 5}, {0, 0, 10, 10}, {20, 0, 30, 10}})),
            std::vector<IRect>({{0, 0, 10, 10}, {20, 0, 30, 10}}));
  EXPECT_EQ(Rects(Optimized({{0, 0, 10, 10}, {10, 0, 20, 10}})),
            std::vector<IRect>({{0, 0, 20, 10}}));
  EXPECT_EQ(Rects(Optimized({{}, {3, 3, 4, 4}})), std::vector<IRect>({{3, 3, 4, 4}}));
  // The last two merge into a row that then merges with the first.
  EXPECT_EQ(Rects(Optimized({{0, 0, 20, 10}, {50, 50, 60, 60}, {0, 10, 10, 20}, {10, 10, 20, 20}})),
            std::vector<IRect>({{50, 50, 60, 60}, {0, 0, 20, 20}}));
  // A cut that leaves one piece adds none.
  EXPECT_EQ(Rects(Optimized({{0, 0, 10, 10}, {5, -5, 20, 20}})),
            std::vector<IRect>({{0, 0, 5, 10}, {5, -5, 20, 20}}));
}

TEST(IRectListOptimize, OverlapCutsTheSmallerOrOnATieTheLater) {
  struct Case {
    std::vector<IRect> input;
    IRect keptWhole;
  };
  const Case cases[] = {{{{0, 0, 10, 10}, {5, 5, 25, 25}}, {5, 5, 25, 25}},
                        {{{5, 5, 25, 25}, {0, 0, 10, 10}}, {5, 5, 25, 25}},
                        {{{0, 0, 10, 10}, {5, 5, 15, 15}}, {0, 0, 10, 10}}};
  for (const Case& c : cases) {
    IRectList input;
    for (const IRect& r : c.input) input.Add(r);
    IRectList list = input;
    list.Optimize();
    ExpectSameCellsPaintedOnce(input, list);
    const std::vector<IRect> out = Rects(list);
    EXPECT_NE(std::find(out.begin(), out.end(), c.keptWhole), out.end()) << Describe(list);
  }
}

TEST(IRectListOptimize, CrossKeepsBothArmsOfTheCutRectangle) {
  // Cutting the centre out of the first rectangle leaves a piece on each side of it.
  for (bool tallFirst : {true, false}) {
    IRectList input;
    input.Add(tallFirst ? IRect(10, 0, 20, 40) : IRect(0, 10, 30, 20));
    input.Add(tallFirst ? IRect(0, 10, 30, 20) : IRect(10, 0, 20, 40));
    IRectList list = input;
    list.Optimize();
    ExpectSameCellsPaintedOnce(input, list);
    EXPECT_EQ(list.Size(), 3) << Describe(list);
  }
}

TEST(IRectListOptimize, RandomListsKeepTheirCellsAndTerminate) {
  constexpr int kLists = 4000;
  uint32_t state = 0x2545F491u;  // fixed seed: every run checks the same lists
  auto next = [&state](int n) {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>((state >> 8) % static_cast<uint32_t>(n));
  };
  auto span = [&next](float& lo, float& hi) {
    const int a = next(kGrid + 1);
    int b = next(kGrid + 1);
    while (b == a) b = next(kGrid + 1);
    lo = static_cast<float>(std::min(a, b));
    hi = static_cast<float>(std::max(a, b));
  };
  std::vector<IRectList> inputs(kLists);
  for (IRectList& list : inputs) {
    for (int k = 2 + next(11); k > 0; --k) {
      IRect r;
      span(r.L, r.R);
      span(r.T, r.B);
      list.Add(r);
    }
  }

  // Optimise on a worker so that an input that never finishes fails the test, naming the
  // input, instead of hanging the run. The worker owns its data and is left behind then.
  struct Batch {
    std::vector<IRectList> lists;
    std::atomic<int> current{0};
    std::promise<void> done;
  };
  auto batch = std::make_shared<Batch>();
  batch->lists = inputs;
  std::future<void> finished = batch->done.get_future();
  std::thread([batch] {
    for (size_t k = 0; k < batch->lists.size(); ++k) {
      batch->current = static_cast<int>(k);
      batch->lists[k].Optimize();
    }
    batch->done.set_value();
  }).detach();
  if (finished.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
    const int k = batch->current;
    FAIL() << "Optimize has not returned for list " << k << ": " << Describe(inputs[k]);
  }

  int grew = 0;
  for (int k = 0; k < kLists && !HasFailure(); ++k) {
    ExpectSameCellsPaintedOnce(inputs[k], batch->lists[k]);
    grew += batch->lists[k].Size() > inputs[k].Size();
  }
  EXPECT_GT(grew, 0) << "the lists should include overlaps that cut rectangles in pieces";
}

}  // namespace
}  // namespace gfx
}  // namespace kantele
