// The importer's clock, case by case; each expected value is worked out by
// hand from the rule in the comment beside it.
#include "animation_timing.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace
{

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

} // namespace

TEST(TicksPerSecond, FallsBackToTwentyFiveWhereNoRateIsStated)
{
    EXPECT_EQ(TicksPerSecond(30.0), 30.0);
    EXPECT_EQ(TicksPerSecond(0.5), 0.5);
    EXPECT_EQ(TicksPerSecond(0.0), 25.0);
    EXPECT_EQ(TicksPerSecond(-24.0), 25.0);
    EXPECT_EQ(TicksPerSecond(kNaN), 25.0);
}

TEST(AnimationSeconds, LastsToTheLaterOfTheDurationAndTheLastKey)
{
    struct Case
    {
        double duration, last_key, ticks_per_second, seconds;
    };
    const Case cases[] = {
        {15.0, 0.0, 10.0, 1.5},                               // the stated duration
        {15.0, 12.0, 10.0, 1.5},                              // keys that end before it
        {0.25, 0.5, 1.0, 0.5},                                // a key past the stated end
        {2000.0, 2000.0, 1000.0, 2.0}, {kNaN, 2.0, 4.0, 0.5}, // no duration: the last key
        {-5.0, 0.0, 1.0, 0.0},                                // a negative duration and no keys
        {kInfinity, 0.0, 25.0, 0.0},                          // endless: not a length
        {10.0, 0.0, 1e-310, 0.0},                             // 10 / 1e-310 overflows to infinity
        {10.0, 0.0, kNaN, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AnimationSeconds(c.duration, c.last_key, c.ticks_per_second), c.seconds)
            << c.duration << " " << c.last_key << " " << c.ticks_per_second;
}

TEST(MostSamples, BoundsTheSamplesOfAnyLength)
{
    EXPECT_EQ(MostSamples(0.0), 2u);
    EXPECT_EQ(MostSamples(1.5), 38u); // 36 frames, the start and the end
    EXPECT_EQ(MostSamples(1e300), 1000000000002u);
    EXPECT_EQ(MostSamples(kInfinity), 1000000000002u);
}

TEST(PlaceSequences, EachStartsOnTheFirstWholeSecondAfterTheOneBefore)
{
    const double seconds[] = {1.5, 2.0, 0.5, 1.0, 0.0, 0.0};
    std::vector<SequenceFrames> placed = PlaceSequences(seconds, 6);
    const SequenceFrames expected[] = {
        {0.0, 36.0},    // 0 s to 1.5 s
        {48.0, 96.0},   // 2 s to 4 s
        {120.0, 132.0}, // 4 s is taken by the end before: 5 s to 5.5 s
        {144.0, 168.0}, // 6 s to 7 s
        {192.0, 192.0}, // 8 s: a still sequence takes a second too
        {216.0, 216.0},
    };
    ASSERT_EQ(placed.size(), 6u);
    for (size_t i = 0; i < placed.size(); ++i)
    {
        EXPECT_EQ(placed[i].start, expected[i].start) << i;
        EXPECT_EQ(placed[i].end, expected[i].end) << i;
    }
    EXPECT_TRUE(PlaceSequences(nullptr, 0).empty());
}

TEST(SampleTimes, EveryWholeFrameThenTheEnd)
{
    struct Case
    {
        const char* why;
        double seconds, ticks_per_second;
        float start_frame, end_frame;
        size_t count;
        double last_ticks, last_frame; // the last sample
    };
    const Case cases[] = {
        {"frames 0 to 36, the end on a whole frame", 1.5, 10.0, 0.0f, 36.0f, 37, 15.0, 36.0},
        {"placed at 5 s, 24 ticks a second", 0.5, 24.0, 120.0f, 132.0f, 13, 12.0, 132.0},
        // 2.4 frames: 0, 1, 2 and the end, which is 17 ms after frame 2.
        {"the end between frames", 0.1, 1.0, 48.0f, 50.4f, 4, 0.1, static_cast<double>(50.4f)},
        // 0.023976 frames is 0.999 ms, 5e-5 frames later is 1.0011 ms: a new
        // millisecond, but too close to the last whole frame to be a key.
        {"the end 1/20000 of a frame after the start", 5e-5 / 24.0, 24.0, 0.023976f, 0.024026f, 1,
         0.0, static_cast<double>(0.023976f)},
        {"the end in frame 24's millisecond (1000.4 ms)", 24.01 / 24.0, 24.0, 0.0f, 24.01f, 25,
         24.0, 24.0},
        {"the end 5e-7 of a frame short of frame 3", (3.0 - 5e-7) / 24.0, 24.0, 0.0f, 3.0f, 4, 3.0,
         3.0},
        {"no length: one sample", 0.0, 25.0, 24.0f, 24.0f, 1, 0.0, 24.0},
        {"an endless length: one sample", kInfinity, 25.0, 0.0f, 0.0f, 1, 0.0, 0.0},
        {"a negative length: one sample", -1.0, 25.0, 0.0f, 0.0f, 1, 0.0, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.why);
        std::vector<SampleTime> times =
            SampleTimes(c.seconds, c.ticks_per_second, c.start_frame, c.end_frame);
        ASSERT_EQ(times.size(), c.count);
        EXPECT_EQ(times.front().ticks, 0.0);
        EXPECT_EQ(times.front().frame, c.start_frame);
        EXPECT_DOUBLE_EQ(times.back().ticks, c.last_ticks);
        EXPECT_EQ(times.back().frame, c.last_frame);
        // The whole frames step by one frame, 1/24 s of ticks each.
        for (size_t k = 1; k + 1 < times.size(); ++k)
        {
            EXPECT_EQ(times[k].frame, c.start_frame + static_cast<double>(k));
            EXPECT_DOUBLE_EQ(times[k].ticks, static_cast<double>(k) / 24.0 * c.ticks_per_second);
        }
    }
}
