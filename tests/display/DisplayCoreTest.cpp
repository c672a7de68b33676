// Display arithmetic that needs neither Qt nor OpenGL: layout, mapping, waterfall rows, density
// bytes, trace outline and the demo spectrum.
#include "display/DemoSpectrum.h"
#include "display/DensityBytes.h"
#include "display/SpectrumLayout.h"
#include "display/TraceLevels.h"
#include "display/TraceStroke.h"
#include "display/WaterfallRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <utility>
#include <vector>

TEST(SpectrumLayout, SplitsHeightBetweenSpectrumAndWaterfall)
{
    const SpectrumLayout on = computeLayout(1760, 980, true, 0.3);
    EXPECT_EQ(on.waterfallHeight, 294);
    EXPECT_EQ(on.spectrumHeight, 686);

    const SpectrumLayout off = computeLayout(1760, 980, false, 0.3);
    EXPECT_EQ(off.waterfallHeight, 0);
    EXPECT_EQ(off.spectrumHeight, 980);

    // The spectrum area never vanishes, even in a degenerate item.
    EXPECT_EQ(computeLayout(10, 1, true, 0.7).spectrumHeight, 1);
    EXPECT_EQ(computeLayout(10, 0, false, 0.3).spectrumHeight, 1);
}

TEST(SpectrumLayout, GridOfTenColumnsAndSixRows)
{
    const auto xs = verticalGridLines(1760);
    EXPECT_EQ(xs.front(), 176);
    EXPECT_EQ(xs[4], 880);
    EXPECT_EQ(xs.back(), 1584);
    const auto ys = horizontalGridLines(686);
    EXPECT_EQ(ys, (std::array<int, 5>{114, 228, 343, 457, 571}));
}

TEST(SpectrumLayout, TraceMappingClampsAndGuardsTheScale)
{
    EXPECT_FLOAT_EQ(traceLevelFraction(-60.0f, -120.0f, 0.0f), 0.5f);
    EXPECT_FLOAT_EQ(traceLevelFraction(10.0f, -120.0f, 0.0f), 1.0f);
    EXPECT_FLOAT_EQ(traceLevelFraction(-200.0f, -120.0f, 0.0f), 0.0f);
    // maxDb <= minDb: a 0.1 dB span, so every value lands at the top or the bottom.
    EXPECT_FLOAT_EQ(traceLevelFraction(-50.0f, -50.0f, -50.0f), 0.0f);
    EXPECT_FLOAT_EQ(traceLevelFraction(-49.0f, -50.0f, -60.0f), 1.0f);
    EXPECT_FLOAT_EQ(traceLevelFraction(-51.0f, -50.0f, -60.0f), 0.0f);

    const TracePoint first = tracePoint(0, 2048, -60.0f, -120.0f, 0.0f, 1760, 686);
    const TracePoint last = tracePoint(2047, 2048, 0.0f, -120.0f, 0.0f, 1760, 686);
    EXPECT_FLOAT_EQ(first.x, 0.0f);
    EXPECT_FLOAT_EQ(first.y, 343.0f);
    EXPECT_FLOAT_EQ(last.x, 1760.0f);
    EXPECT_FLOAT_EQ(last.y, 0.0f);

    EXPECT_FLOAT_EQ(framebufferNdcY(0.0f, 980), 1.0f);
    EXPECT_FLOAT_EQ(framebufferNdcY(980.0f, 980), -1.0f);
}

TEST(SpectrumLayout, AZoomedViewSpreadsItsPartOfTheBandOverTheWidth)
{
    const ViewWindow half{0.25, 0.75};
    EXPECT_FLOAT_EQ(viewX(0.25, half, 1000), 0.0f);
    EXPECT_FLOAT_EQ(viewX(0.5, half, 1000), 500.0f);
    EXPECT_FLOAT_EQ(viewX(0.75, half, 1000), 1000.0f);
    // Points outside the view land beyond its edges, where the framebuffer cuts them off.
    EXPECT_LT(viewX(0.0, half, 1000), 0.0f);

    // Of 101 points (one per 1 % of the band), 25 to 75 are inside and 24 and 76 lead to the edges.
    const IndexRange visible = visibleTraceRange(101, {0.245, 0.755});
    EXPECT_EQ(visible.first, 24u);
    EXPECT_EQ(visible.last, 76u);
    const IndexRange all = visibleTraceRange(2048, {});
    EXPECT_EQ(all.first, 0u);
    EXPECT_EQ(all.last, 2047u);
    EXPECT_FLOAT_EQ(tracePoint(50, 101, -60.0f, -120.0f, 0.0f, 1000, 100, half).x, 500.0f);
}

TEST(SpectrumLayout, ViewWindowsStayInsideTheBandAndKeepAMinimumWidth)
{
    const ViewWindow moved = clampViewWindow(-0.1, 0.3, 0.01);
    EXPECT_DOUBLE_EQ(moved.start, 0.0);
    EXPECT_DOUBLE_EQ(moved.stop, 0.4);
    const ViewWindow right = clampViewWindow(0.9, 1.2, 0.01);
    EXPECT_DOUBLE_EQ(right.start, 0.7);
    EXPECT_DOUBLE_EQ(right.stop, 1.0);
    // Narrower than the minimum: widened around its middle.
    const ViewWindow narrow = clampViewWindow(0.5, 0.5001, 0.01);
    EXPECT_NEAR(narrow.stop - narrow.start, 0.01, 1e-12);
    EXPECT_NEAR((narrow.start + narrow.stop) / 2, 0.50005, 1e-12);
    const ViewWindow wide = clampViewWindow(-3.0, 5.0, 0.01);
    EXPECT_DOUBLE_EQ(wide.start, 0.0);
    EXPECT_DOUBLE_EQ(wide.stop, 1.0);
    const ViewWindow invalid = clampViewWindow(NAN, 0.5, 0.01);
    EXPECT_DOUBLE_EQ(invalid.start, 0.0);
    EXPECT_DOUBLE_EQ(invalid.stop, 1.0);
}

TEST(TraceLevels, FloorIsTheMedianAndTheStrongestTheMaximum)
{
    // A floor of -95 dB with a third of the span taken by signals up to -20 dB.
    std::vector<float> trace(300, -95.0f);
    for (std::size_t i = 0; i < 100; ++i)
        trace[i * 3] = -40.0f - static_cast<float>(i % 7);
    trace[150] = -20.0f;
    std::vector<float> scratch;
    TraceLevels levels;
    ASSERT_TRUE(measureTraceLevels(trace, scratch, levels));
    EXPECT_FLOAT_EQ(levels.noiseFloorDb, -95.0f);
    EXPECT_FLOAT_EQ(levels.strongestDb, -20.0f);
    EXPECT_FALSE(measureTraceLevels({}, scratch, levels));
    EXPECT_FLOAT_EQ(levels.noiseFloorDb, -95.0f) << "an empty trace changed the last levels";
}

TEST(WaterfallRows, CopyPlan)
{
    // Fresh image (nothing copied yet) or a recreated one: every row.
    EXPECT_EQ(planRowCopy(false, -1, 0, 3, 50, 8).count, 8);
    const RowCopyPlan recreated = planRowCopy(true, 2, 40, 3, 41, 8);
    EXPECT_EQ(recreated.first, 0);
    EXPECT_EQ(recreated.count, 8);

    // One new row.
    const RowCopyPlan one = planRowCopy(false, 5, 20, 6, 21, 8);
    EXPECT_EQ(one.first, 5);
    EXPECT_EQ(one.count, 1);

    // Several new rows across the end of the ring: 6, 7, 0.
    const RowCopyPlan wrap = planRowCopy(false, 6, 20, 1, 23, 8);
    EXPECT_EQ(wrap.first, 6);
    EXPECT_EQ(wrap.count, 3);

    // A one-line ring: the write row never moves, the total tells.
    const RowCopyPlan single = planRowCopy(false, 0, 7, 0, 8, 1);
    EXPECT_EQ(single.first, 0);
    EXPECT_EQ(single.count, 1);
    EXPECT_EQ(planRowCopy(false, 0, 8, 0, 8, 1).count, 0);

    // Nothing new.
    EXPECT_EQ(planRowCopy(false, 4, 30, 4, 30, 8).count, 0);
    // A whole turn (or more) between two frames, wherever the write row ended: every row.
    EXPECT_EQ(planRowCopy(false, 4, 30, 4, 38, 8).count, 8);
    EXPECT_EQ(planRowCopy(false, 4, 30, 6, 40, 8).count, 8);
    EXPECT_EQ(planRowCopy(false, 4, 30, 3, 37, 8).count, 7);

    EXPECT_EQ(clampWriteRow(-1, 8), 0);
    EXPECT_EQ(clampWriteRow(8, 8), 0);
    EXPECT_EQ(clampWriteRow(7, 8), 7);
}

TEST(WaterfallRows, StripSplitAndColourInput)
{
    EXPECT_EQ(waterfallOlderPartHeight(150, 8, 3), 93);
    EXPECT_EQ(waterfallOlderPartHeight(294, 1200, 1199), 0);

    // Block and colour ranges both -120...0: bytes map straight onto [0, 1].
    EXPECT_FLOAT_EQ(waterfallColourInput(0, -120.0f, 0.0f, -120.0f, 0.0f), 0.0f);
    EXPECT_FLOAT_EQ(waterfallColourInput(255, -120.0f, 0.0f, -120.0f, 0.0f), 1.0f);
    EXPECT_NEAR(waterfallColourInput(51, -120.0f, 0.0f, -120.0f, 0.0f), 0.2f, 1e-6f);
    // A narrower colour range re-maps and clamps.
    EXPECT_FLOAT_EQ(waterfallColourInput(0, -120.0f, 0.0f, -100.0f, -20.0f), 0.0f);
    EXPECT_FLOAT_EQ(waterfallColourInput(255, -120.0f, 0.0f, -100.0f, -20.0f), 1.0f);
    EXPECT_NEAR(waterfallColourInput(170, -120.0f, 0.0f, -100.0f, -20.0f), 0.75f, 1e-6f); // -40 dB
    // A colour span under 1 dB counts as 1 dB: byte 128 is -59.765 dB.
    EXPECT_NEAR(waterfallColourInput(128, -120.0f, 0.0f, -60.0f, -59.9f), 0.2353f, 1e-4f);
    // So does a block span under 1 dB.
    EXPECT_NEAR(waterfallColourInput(255, -60.0f, -60.0f, -60.0f, -50.0f), 0.1f, 1e-6f);
}

TEST(DensityBytes, SampledHash)
{
    std::vector<uint8_t> small(64, 7);
    const uint64_t base = densitySampleHash(small.data(), small.size());
    small[63] = 8; // every byte of a short picture counts
    EXPECT_NE(densitySampleHash(small.data(), small.size()), base);
    EXPECT_EQ(densitySampleHash(nullptr, 0), 0x14650fb0739d0383ULL);

    // 6400 bytes: every 100th byte is sampled.
    std::vector<uint8_t> large(6400, 3);
    const uint64_t before = densitySampleHash(large.data(), large.size());
    large[150] = 99;
    EXPECT_EQ(densitySampleHash(large.data(), large.size()), before);
    large[200] = 99;
    EXPECT_NE(densitySampleHash(large.data(), large.size()), before);
}

TEST(DensityBytes, AlphaAndColourCurves)
{
    EXPECT_EQ(densityAlpha(1), 18);
    EXPECT_EQ(densityAlpha(128), 100);
    EXPECT_EQ(densityAlpha(255), 235);
    EXPECT_FLOAT_EQ(densityColourInput(255), 1.0f);
    EXPECT_NEAR(densityColourInput(1), 0.01327f, 1e-5f);
}

TEST(DensityBytes, VisiblePartsCoverEveryNonZeroCell)
{
    std::vector<CellRect> rects;
    std::vector<uint8_t> empty(32 * 32, 0);
    coverNonZeroCells(empty.data(), 32, 32, 16, rects);
    EXPECT_TRUE(rects.empty());

    // Level 0 is the bottom picture row; two neighbouring blocks merge into one rectangle.
    std::vector<uint8_t> bytes(32 * 32, 0);
    bytes[0] = 1;
    bytes[20] = 1;
    coverNonZeroCells(bytes.data(), 32, 32, 16, rects);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].x, 0);
    EXPECT_EQ(rects[0].y, 16);
    EXPECT_EQ(rects[0].width, 32);
    EXPECT_EQ(rects[0].height, 16);

    // Sizes that are no multiple of the block: edge rectangles are cut to the picture.
    std::vector<uint8_t> odd(20 * 20, 0);
    odd[19 * 20 + 19] = 5; // highest level, last column
    coverNonZeroCells(odd.data(), 20, 20, 16, rects);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].x, 16);
    EXPECT_EQ(rects[0].y, 0);
    EXPECT_EQ(rects[0].width, 4);
    EXPECT_EQ(rects[0].height, 16);

    // A sparse random picture: every non-zero cell in exactly one rectangle.
    constexpr int kWidth = 100;
    constexpr int kHeight = 70;
    std::vector<uint8_t> sparse(kWidth * kHeight, 0);
    std::mt19937 random(5);
    for (int k = 0; k < 40; ++k)
        sparse[random() % sparse.size()] = static_cast<uint8_t>(1 + random() % 255);
    coverNonZeroCells(sparse.data(), kWidth, kHeight, 16, rects);
    std::vector<int> cover(kWidth * kHeight, 0);
    for (const CellRect& r : rects)
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                ++cover[y * kWidth + x];
    for (int m = 0; m < kHeight; ++m)
        for (int x = 0; x < kWidth; ++x) {
            const int y = kHeight - 1 - m;
            EXPECT_LE(cover[y * kWidth + x], 1);
            if (sparse[m * kWidth + x] != 0) {
                EXPECT_EQ(cover[y * kWidth + x], 1) << "level " << m << " column " << x;
            }
        }
}

TEST(DensityBytes, HoldsAPictureOnlyWithAllItsBytes)
{
    DensityImage density;
    EXPECT_FALSE(holdsDensityPicture(density));
    density.width = 4;
    density.height = 3;
    density.bytes = std::make_shared<const std::vector<uint8_t>>(11, 0);
    EXPECT_FALSE(holdsDensityPicture(density));
    density.bytes = std::make_shared<const std::vector<uint8_t>>(12, 0);
    EXPECT_TRUE(holdsDensityPicture(density));
    density.height = 0;
    EXPECT_FALSE(holdsDensityPicture(density));
}

TEST(DensityBytes, PartsLandWhereTheViewShowsTheirColumnsAndLevels)
{
    // A 100-column, 50-level picture over a 1000 x 400 spectrum area (the waterfall below it).
    const SpectrumLayout layout = computeLayout(1000, 500, true, 0.2);
    ASSERT_EQ(layout.spectrumHeight, 400);
    const std::vector<CellRect> parts{{0, 0, 10, 16}, {40, 16, 20, 16}, {90, 32, 10, 18}};
    std::vector<DensityPlace> places;

    placeDensityParts(parts, 100, 50, layout, ViewWindow{}, places);
    ASSERT_EQ(places.size(), 3u);
    EXPECT_DOUBLE_EQ(places[1].left, 400.0);
    EXPECT_DOUBLE_EQ(places[1].right, 600.0);
    EXPECT_DOUBLE_EQ(places[1].top, 128.0);
    EXPECT_DOUBLE_EQ(places[1].bottom, 256.0);
    EXPECT_DOUBLE_EQ(places[2].bottom, 400.0);

    // Zoomed into the middle fifth of the band: the middle part fills the width, the parts at
    // the band's edges are not placed at all.
    placeDensityParts(parts, 100, 50, layout, ViewWindow{0.4, 0.6}, places);
    ASSERT_EQ(places.size(), 1u);
    EXPECT_EQ(places[0].cells.x, 40);
    EXPECT_NEAR(places[0].left, 0.0, 1e-9);
    EXPECT_NEAR(places[0].right, 1000.0, 1e-9);
}

namespace {

// Whether point (x, y) lies inside any of the triangles (edges included).
bool covered(const std::vector<float>& t, float x, float y)
{
    for (std::size_t k = 0; k + 5 < t.size(); k += 6) {
        const auto side = [&](std::size_t a, std::size_t b) {
            return (t[b] - t[a]) * (y - t[a + 1]) - (t[b + 1] - t[a + 1]) * (x - t[a]);
        };
        const float s0 = side(k, k + 2);
        const float s1 = side(k + 2, k + 4);
        const float s2 = side(k + 4, k);
        if ((s0 >= -1e-5f && s1 >= -1e-5f && s2 >= -1e-5f) || (s0 <= 1e-5f && s1 <= 1e-5f && s2 <= 1e-5f))
            return true;
    }
    return false;
}

} // namespace

TEST(TraceStroke, SegmentsWithSquareCaps)
{
    std::vector<float> t;
    buildStrokeTriangles({{0, 0}, {10, 0}}, 2.0f, t);
    ASSERT_EQ(t.size(), 12u);
    // The rectangle runs from -1 to 11 along the segment and from -1 to 1 across it.
    EXPECT_TRUE(covered(t, -0.9f, 0.9f));
    EXPECT_TRUE(covered(t, 10.9f, -0.9f));
    EXPECT_FALSE(covered(t, -1.1f, 0.0f));
    EXPECT_FALSE(covered(t, 5.0f, 1.1f));

    // A steep segment keeps its full width across its direction, not just vertically.
    buildStrokeTriangles({{0, 0}, {1, 30}}, 1.5f, t);
    EXPECT_TRUE(covered(t, -0.2f, 15.0f));
    EXPECT_TRUE(covered(t, 1.2f, 15.0f));
    EXPECT_FALSE(covered(t, -0.35f, 15.0f));

    // Repeated points add nothing; fewer than two distinct points give no triangles.
    std::vector<float> repeated;
    buildStrokeTriangles({{0, 0}, {0, 0}, {10, 0}, {10, 0}}, 2.0f, repeated);
    buildStrokeTriangles({{0, 0}, {10, 0}}, 2.0f, t);
    EXPECT_EQ(repeated, t);
    buildStrokeTriangles({{3, 3}}, 1.5f, t);
    EXPECT_TRUE(t.empty());
    buildStrokeTriangles({{3, 3}, {3, 3}}, 1.5f, t);
    EXPECT_TRUE(t.empty());
}

TEST(TraceStroke, ColumnCoverHoldsExactlyThePixelsOfTheStroke)
{
    // Pixel centres inside the triangles, in a window of columns and rows around the trace.
    const auto pixels = [](const std::vector<float>& t, int width, int rows) {
        std::vector<bool> in(static_cast<std::size_t>(width * rows));
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < width; ++x)
                in[static_cast<std::size_t>(y * width + x)] = covered(t, x + 0.5f, y - 10 + 0.5f);
        return in;
    };
    std::mt19937_64 random(25);
    std::uniform_real_distribution<float> level(10.0f, 90.0f);
    ColumnCover cover;
    std::vector<float> stroke;
    std::vector<float> rectangles;
    // More points than columns (a noisy full-band trace), about one per column, and a zoomed
    // view with a few points far apart.
    for (const auto& [points, width] : {std::pair{300, 120}, std::pair{121, 120}, std::pair{7, 120}}) {
        std::vector<TracePoint> trace;
        for (int i = 0; i < points; ++i)
            trace.push_back({static_cast<float>(i) * static_cast<float>(width) / static_cast<float>(points - 1),
                             level(random)});
        buildStrokeTriangles(trace, 1.5f, stroke);
        coverColumns(stroke, width, cover, rectangles);
        EXPECT_EQ(pixels(rectangles, width, 110), pixels(stroke, width, 110)) << points << " points";
        // With more segments than columns, fewer triangles.
        if (points - 1 > width) {
            EXPECT_LT(rectangles.size(), stroke.size() / 2) << points << " points";
        }
    }
    // Two strokes apart in the same columns keep the gap between them.
    std::vector<float> twoLines;
    buildStrokeTriangles({{0.2f, 20.3f}, {9.7f, 20.6f}}, 1.5f, twoLines);
    buildStrokeTriangles({{0.2f, 40.3f}, {9.7f, 40.6f}}, 1.5f, stroke);
    twoLines.insert(twoLines.end(), stroke.begin(), stroke.end());
    coverColumns(twoLines, 10, cover, rectangles);
    EXPECT_EQ(pixels(rectangles, 10, 60), pixels(twoLines, 10, 60));
    EXPECT_FALSE(covered(rectangles, 5.5f, 30.5f));
    // Nothing outside columns 0...width-1.
    coverColumns(twoLines, 4, cover, rectangles);
    EXPECT_TRUE(covered(rectangles, 3.5f, 20.5f));
    EXPECT_FALSE(covered(rectangles, 4.5f, 20.5f));
}

TEST(TraceStroke, GridLinesAsOnePixelRectanglesWithSquareCaps)
{
    const SpectrumLayout layout = computeLayout(1760, 980, true, 0.3);
    std::vector<float> t;
    buildGridTriangles(layout, t);
    ASSERT_EQ(t.size(), 14u * 12u);
    // Vertical line at x = 176 over the spectrum area (686 rows): one pixel wide around it,
    // half a pixel past both ends.
    EXPECT_TRUE(covered(t, 175.6f, -0.4f));
    EXPECT_TRUE(covered(t, 176.4f, 686.4f));
    EXPECT_FALSE(covered(t, 175.4f, 300.0f));
    EXPECT_FALSE(covered(t, 176.6f, 300.0f));
    EXPECT_FALSE(covered(t, 176.0f, 686.6f));
    // Horizontal line at y = 114 across the full width.
    EXPECT_TRUE(covered(t, -0.4f, 113.6f));
    EXPECT_TRUE(covered(t, 1760.4f, 114.4f));
    EXPECT_FALSE(covered(t, 50.0f, 113.4f));
    EXPECT_FALSE(covered(t, 50.0f, 114.6f));
    // Nothing between the lines, nor in the waterfall strip.
    EXPECT_FALSE(covered(t, 100.0f, 50.0f));
    EXPECT_FALSE(covered(t, 100.0f, 800.0f));
}

TEST(TraceStroke, CornersHoldTheBevelWedge)
{
    // A noise-like zigzag: every corner's outer bevel triangle must be covered.
    const std::vector<TracePoint> points{{0, 0}, {1, 30}, {2, 0}, {3, 25}, {4, 5}};
    std::vector<float> t;
    buildStrokeTriangles(points, 1.5f, t);
    const float half = 0.75f;
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        const auto normal = [&](const TracePoint& a, const TracePoint& b) {
            const float length = std::hypot(b.x - a.x, b.y - a.y);
            return TracePoint{-(b.y - a.y) / length * half, (b.x - a.x) / length * half};
        };
        const TracePoint n1 = normal(points[i - 1], points[i]);
        const TracePoint n2 = normal(points[i], points[i + 1]);
        const TracePoint& p = points[i];
        for (float sign : {1.0f, -1.0f})
            for (float w : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
                // Points along the bevel edge between the two offset ends, pulled in slightly.
                const float x = p.x + sign * 0.98f * ((1 - w) * n1.x + w * n2.x);
                const float y = p.y + sign * 0.98f * ((1 - w) * n1.y + w * n2.y);
                EXPECT_TRUE(covered(t, x, y)) << "corner " << i << " w " << w << " side " << sign;
            }
    }
}

TEST(DemoSpectrum, FloorNotchesAndScale)
{
    constexpr std::size_t n = 2001;
    std::vector<float> trace(n);
    std::mt19937_64 random(11);
    fillDemoTrace(trace.data(), n, 0.0f, -120.0f, 0.0f, random);

    const auto at = [&](double c) { return trace[static_cast<std::size_t>(c * (n - 1) + 0.5)]; };
    // Floor between -95 and -89 dB plus a +-2 dB ripple.
    for (double c : {0.0, 0.1, 0.2, 0.5, 0.9, 1.0}) {
        EXPECT_GE(at(c), -97.0f);
        EXPECT_LE(at(c), -87.0f);
    }
    // The 20 dB notch at 35 % and the 35 dB one at 72 % (which the scale clips at -120).
    EXPECT_LT(at(0.35), -105.0f);
    EXPECT_FLOAT_EQ(at(0.72), -120.0f);

    // A narrow scale clips both ways; a single bin is not a number and ends at minDb.
    fillDemoTrace(trace.data(), n, 1.0f, -92.0f, -91.0f, random);
    EXPECT_TRUE(std::all_of(trace.begin(), trace.end(), [](float v) { return v >= -92.0f && v <= -91.0f; }));
    float single = 0.0f;
    fillDemoTrace(&single, 1, 0.0f, -100.0f, 0.0f, random);
    EXPECT_EQ(single, -100.0f);

    EXPECT_FLOAT_EQ(advanceDemoPhase(1.0f), 1.15f);
    EXPECT_NEAR(advanceDemoPhase(6.2f), 6.35f - 6.28318f, 1e-6f);
}
