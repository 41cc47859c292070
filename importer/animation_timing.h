// The importer's clock: how long a source animation lasts, where each one
// lies on the host's single timeline, and the times it is sampled at. Plain
// arithmetic on seconds, ticks and host frames; nothing here reads a scene.
#ifndef MDLEXPORT_IMPORTER_ANIMATION_TIMING_H
#define MDLEXPORT_IMPORTER_ANIMATION_TIMING_H

#include <cstddef>
#include <vector>

// Host frames per second: the rate of the host's timeline, and the rate at
// which animations are sampled.
constexpr double kFramesPerSecond = 24.0;

// What a file that names no rate of ticks means: 25 ticks a second.
constexpr double kDefaultTicksPerSecond = 25.0;

// The rate of an animation's ticks: `stated`, or kDefaultTicksPerSecond when
// it is not positive (0, negative or not a number).
double TicksPerSecond(double stated);

// How long an animation lasts, in seconds: to its stated duration or to its
// last key, whichever is later (both in ticks), at `ticks_per_second`; 0 when
// that is not a finite, non-negative number of seconds.
double AnimationSeconds(double duration_ticks, double last_key_ticks, double ticks_per_second);

// A bound on the samples SampleTimes gives an animation of `seconds`, which
// stays a number (at most 10^12 + 2) however long the animation is.
size_t MostSamples(double seconds);

// Where a sequence lies on the host timeline, in host frames.
struct SequenceFrames
{
    double start = 0.0;
    double end = 0.0;
};

// Places `count` animations of `seconds[i]` seconds one after another: the
// first starts at frame 0, each next on the first whole second after the one
// before ends, so that no two sequences share a key time. One entry per
// animation, in order.
std::vector<SequenceFrames> PlaceSequences(const double* seconds, size_t count);

// One sample: a time of the source animation, and the host frame it becomes.
struct SampleTime
{
    double ticks = 0.0;
    double frame = 0.0;
};

// The samples of an animation of `seconds` (as AnimationSeconds gives it)
// whose sequence lies on host frames [start_frame, end_frame]: every whole
// frame from its start to its end, then the end itself, unless it lies within
// 1/10000 of a frame after the last whole frame or in the same millisecond
// (FrameToMdlTime) as it. The end sample's frame is the sequence's own end.
std::vector<SampleTime> SampleTimes(double seconds, double ticks_per_second, float start_frame,
                                    float end_frame);

#endif
