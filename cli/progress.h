// The step under way (reading a scene, sampling its animation, writing the
// model) shown on standard error once it has taken more than a second, so
// that a long conversion on a terminal is seen to be alive. Shown only when
// asked for, which the command-line exporter does on a terminal without
// --quiet; the line is cleared when the step ends, so the summary and the
// notes are printed as without it.
#ifndef MDLEXPORT_CLI_PROGRESS_H
#define MDLEXPORT_CLI_PROGRESS_H

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class ProgressLine
{
  public:
    // `label` starts the line ("mdlexport: FILE"); nothing is shown unless
    // `shown`.
    ProgressLine(std::string label, bool shown);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Starts step `name`; its share done is unknown until Update.
    void Step(const std::string& name);
    // The share of the current step done, from 0 to 1.
    void Update(double fraction);
    // Ends the current step and clears the line.
    void Done();

  private:
    void Run();
    void Draw();  // with mutex_ held
    void Clear(); // with mutex_ held

    std::string label_;
    bool shown_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::string step_;
    double fraction_ = -1.0;
    std::chrono::steady_clock::time_point started_;
    size_t drawn_ = 0; // characters on the line now
    std::thread ticker_;
};

// True when standard error is a terminal.
bool StandardErrorIsTerminal();

#endif
