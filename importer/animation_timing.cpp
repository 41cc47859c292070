#include "animation_timing.h"

#include "mdl_convert.h"

#include <cmath>

double TicksPerSecond(double stated)
{
    return stated > 0.0 ? stated : kDefaultTicksPerSecond;
}

double AnimationSeconds(double duration_ticks, double last_key_ticks, double ticks_per_second)
{
    double seconds = std::fmax(duration_ticks, last_key_ticks) / ticks_per_second;
    if (!std::isfinite(seconds) || seconds < 0.0)
        return 0.0;
    return seconds;
}

size_t MostSamples(double seconds)
{
    return static_cast<size_t>(std::fmin(seconds * kFramesPerSecond, 1e12)) + 2;
}

std::vector<SequenceFrames> PlaceSequences(const double* seconds, size_t count)
{
    std::vector<SequenceFrames> placed(count);
    double start_seconds = 0.0;
    for (size_t i = 0; i < count; ++i)
    {
        placed[i].start = start_seconds * kFramesPerSecond;
        placed[i].end = placed[i].start + seconds[i] * kFramesPerSecond;
        start_seconds = std::floor(placed[i].end / kFramesPerSecond) + 1.0;
    }
    return placed;
}

std::vector<SampleTime> SampleTimes(double seconds, double ticks_per_second, float start_frame,
                                    float end_frame)
{
    double length = static_cast<double>(end_frame) - start_frame;
    double end_frames = seconds * kFramesPerSecond;
    if (!std::isfinite(end_frames) || end_frames < 0.0)
        end_frames = 0.0;
    std::vector<SampleTime> times;
    double whole = std::floor(end_frames + 1e-6);
    for (double f = 0.0; f <= whole; f += 1.0)
        times.push_back(SampleTime{f / kFramesPerSecond * ticks_per_second, start_frame + f});
    if (end_frames - whole > 1e-4 &&
        FrameToMdlTime(end_frame) != FrameToMdlTime(static_cast<float>(start_frame + whole)))
        times.push_back(
            SampleTime{end_frames / kFramesPerSecond * ticks_per_second, start_frame + length});
    return times;
}
