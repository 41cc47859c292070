#include "progress.h"

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace
{

constexpr std::chrono::milliseconds kQuiet{1000}; // a step shorter than this shows nothing
constexpr std::chrono::milliseconds kTick{200};

} // namespace

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

ProgressLine::ProgressLine(std::string label, bool shown) : label_(std::move(label)), shown_(shown)
{
    if (shown_)
        ticker_ = std::thread([this] { Run(); });
}

ProgressLine::~ProgressLine()
{
    if (!shown_)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        Clear();
    }
    wake_.notify_all();
    ticker_.join();
}

void ProgressLine::Step(const std::string& name)
{
    if (!shown_)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    Clear();
    step_ = name;
    fraction_ = -1.0;
    started_ = std::chrono::steady_clock::now();
}

void ProgressLine::Update(double fraction)
{
    if (!shown_)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    fraction_ = std::fmin(std::fmax(fraction, 0.0), 1.0);
}

void ProgressLine::Done()
{
    if (!shown_)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    Clear();
    step_.clear();
}

void ProgressLine::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_)
    {
        wake_.wait_for(lock, kTick);
        if (!stopping_ && !step_.empty() && std::chrono::steady_clock::now() - started_ >= kQuiet)
            Draw();
    }
}

void ProgressLine::Draw()
{
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::steady_clock::now() - started_)
                       .count();
    std::string text;
    text.append(label_).append(": ").append(step_);
    if (fraction_ >= 0.0)
        text.append(" ")
            .append(std::to_string(static_cast<int>(std::floor(fraction_ * 100.0))))
            .append("%");
    text.append(" (").append(std::to_string(seconds)).append(" s)");
    size_t width = text.size();
    if (width < drawn_)
        text.append(drawn_ - width, ' ');
    std::fprintf(stderr, "\r%s", text.c_str());
    std::fflush(stderr);
    drawn_ = width;
}

void ProgressLine::Clear()
{
    if (drawn_ == 0)
        return;
    std::fprintf(stderr, "\r%s\r", std::string(drawn_, ' ').c_str());
    std::fflush(stderr);
    drawn_ = 0;
}
