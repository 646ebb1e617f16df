#include "export/exportbitrate.h"
#include "export/exportpreset.h"

#include <gtest/gtest.h>

#include <limits>

using namespace routereel;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(ExportPreset, OfferedPresetsNeverEnlarge)
{
    using P = ExportPreset;
    EXPECT_EQ(availablePresets({1920, 1080}), (QList<P>{P::original, P::p1080, P::p720}));
    EXPECT_EQ(availablePresets({3840, 2160}), (QList<P>{P::original, P::p4K, P::p2K, P::p1080, P::p720}));
    EXPECT_EQ(availablePresets({720, 1280}), (QList<P>{P::original, P::p720}));
    EXPECT_EQ(availablePresets({640, 480}), (QList<P>{P::original}));
    EXPECT_EQ(availablePresets({2560, 1439}), (QList<P>{P::original, P::p1080, P::p720}));
    EXPECT_EQ(overlayPresets(), (QList<P>{P::p4K, P::p1080, P::p720}));
}

TEST(ExportPreset, OverlayOutputSize)
{
    struct Case {
        ExportPreset preset;
        QSizeF source;
        QSizeF expected;
    };
    const Case cases[] = {
        {ExportPreset::p4K, {1920, 1080}, {3840, 2160}},
        {ExportPreset::p720, {1366, 768}, {1280, 720}},
        {ExportPreset::p1080, {1081, 1921}, {1080, 1918}},
        {ExportPreset::p1080, {4000, 3000}, {1440, 1080}},
        {ExportPreset::p720, {inf, 100}, {1280, 720}},
        // presets not offered for overlays fall back to 1080 lines
        {ExportPreset::original, {1920, 1080}, {1920, 1080}},
        {ExportPreset::p2K, {3000, 2000}, {1620, 1080}},
        // extreme aspect ratios still give even sides of at least 2
        {ExportPreset::p720, {1, 100000}, {720, 72000000}},
    };
    for (const Case &c : cases) {
        const QSizeF got = outputSize(c.preset, c.source);
        EXPECT_EQ(got, c.expected) << enumText(c.preset).toStdString() << " " << c.source.width() << "x"
                                   << c.source.height();
        EXPECT_EQ(static_cast<long long>(got.width()) % 2, 0);
        EXPECT_EQ(static_cast<long long>(got.height()) % 2, 0);
    }
}

TEST(ExportPreset, RegularOutputScaleOnlyShrinks)
{
    EXPECT_DOUBLE_EQ(regularOutputScale(ExportPreset::p1080, {3840, 2160}), 0.5);
    EXPECT_DOUBLE_EQ(regularOutputScale(ExportPreset::p720, {1080, 1920}), 720.0 / 1080);
    EXPECT_DOUBLE_EQ(regularOutputScale(ExportPreset::p4K, {1920, 1080}), 1);
    EXPECT_DOUBLE_EQ(regularOutputScale(ExportPreset::p1080, {1920, 1080}), 1);
    EXPECT_DOUBLE_EQ(regularOutputScale(ExportPreset::original, {3840, 2160}), 1);
}

TEST(ExportPreset, ResolutionLabels)
{
    const std::pair<double, const char *> cases[] = {
        {2160, "4k"}, {2159.9, "2k"}, {1440, "2k"}, {1439, "1080p"}, {720, "720p"}, {719.9, "719p"}, {0, "0p"},
    };
    for (const auto &[side, label] : cases)
        EXPECT_EQ(resolutionLabel(side), QString::fromLatin1(label)) << side;
}

TEST(ExportBitRate, RegularModeRaisesEstimateToTierFloor)
{
    struct Case {
        double width, height, source, scale, factor;
        std::int64_t expected;
    };
    const Case cases[] = {
        {1920, 1080, 0, 1, 1, 9'000'000},
        {479, 640, 0, 1, 1, 1'500'000},
        {640, 480, 0, 1, 1, 2'500'000},
        {3840, 2160, 20'000'000, 0.5, 1, 9'000'000},
        {3840, 2160, 20'000'000, 1, 1, 40'000'000},
        {1920, 1080, 20'000'000, 1, 1, 22'000'000},
        {1920, 1080, 12'345'678.9, 1, 1, 13'580'246},
        // unusable source rates fall back to the floor
        {1920, 1080, notANumber, 1, 1, 9'000'000},
        {1920, 1080, -5'000'000, 1, 1, 9'000'000},
        {1920, 1080, 1e19, 1, 1, 9'000'000},
        // compression factor applies last, never below 60 %
        {1920, 1080, 0, 1, 0.8, 7'200'000},
        {1920, 1080, 0, 1, -2, 5'400'000},
        {1920, 1080, 0, 1, 1.5, 9'000'000},
        {1920, 1080, 0, 1, notANumber, 9'000'000},
        {640, 480, 0, 1, 0.65, 1'625'000},
        // bounded where libx264 would refuse 1.2 and 2 times the rate (raw RGB, 2vuy, lossless 4K)
        {3840, 2160, 976'128'930, 1, 1, 1'073'741'823},
        {3840, 2160, 976'128'929, 1, 1, 1'073'741'821},
        {3840, 2160, 5'971'968'000, 1, 1, 1'073'741'823},
        {3840, 2160, 5'971'968'000, 1, 0.8, 858'993'458},
        {3840, 2160, 1.5e18, 1, 1, 1'073'741'823},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(targetBitRate(CompositionMode::regular, c.width, c.height, c.source, c.scale, c.factor),
                  c.expected)
            << c.width << "x" << c.height << " source " << c.source << " scale " << c.scale << " factor " << c.factor;
    }
}

TEST(ExportBitRate, OverlayModeByShortSide)
{
    // the source's rate plays no part
    EXPECT_EQ(targetBitRate(CompositionMode::overlay, 1280, 720, 50'000'000, 1, 1), 1'500'000);
    EXPECT_EQ(targetBitRate(CompositionMode::overlay, 3840, 2160, 0, 1, 1), 8'000'000);
    EXPECT_EQ(targetBitRate(CompositionMode::overlay, 3840, 2160, 0, 0.5, 0.8), 2'400'000);
}

TEST(ExportBitRate, SizeEstimate)
{
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::regular, 60, 1920, 1080, 30, 0, 192'000, 1, 1), 69'629'400);
    // whole frames only: 60.01 s at 30 fps is 1800 frames
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::regular, 60.01, 1920, 1080, 30, 0, 192'000, 1, 1), 69'629'400);
    // rounded up to a whole byte
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::overlay, 1, 1920, 1080, 30, 0, 1, 1, 1), 378'751);

    const auto none = std::optional<std::int64_t>();
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::regular, 0, 1920, 1080, 30, 0, 0, 1, 1), none);
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::regular, 60, 1920, 1080, 30, 0, 0, 0, 1), none);
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::regular, 60, inf, 1080, 30, 0, 0, 1, 1), none);
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::regular, inf, 1920, 1080, 30, 0, 0, 1, 1), none);
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::regular, 60, 1920, 1080, 0, 0, 0, 1, 1), none);
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::regular, 1e12, 1920, 1080, 30, 0, 1e8, 1, 1), none);
    // a source too fast for the encoder is estimated at the bounded rate it is encoded at
    EXPECT_EQ(estimatedOutputBytes(CompositionMode::regular, 60, 1920, 1080, 30, 1.5e18, 0, 1, 1),
              std::int64_t(std::ceil(1'073'741'823.0 * 60 * 0.125 * 1.01)));
}
