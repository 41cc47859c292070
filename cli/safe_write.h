// The one way mdlexport writes a file: the model, the --dump-json
// description and any other file a run makes go through WriteOutputFile, and
// every path a run reads or writes is entered in one RunFiles first, so that
// no output replaces an input or another output.
//
// How a file is written (WriteOutputFile):
// - A new or existing regular file is written into a temporary file beside
//   it, named after it (".NAME.XXXXXX.tmp", so that a person who finds one
//   after a power cut can tell what it was), flushed to disk and renamed over
//   the output in one step, the folder's entry flushed after. The output is
//   complete or as it was: on any failure, and on SIGINT, SIGTERM, SIGHUP or
//   SIGXCPU, the temporary file is removed.
// - Through a symbolic link, the file the link names is replaced; the link
//   stays.
// - An existing device, pipe or socket (/dev/stdout, a FIFO) is opened and
//   written into directly; it is never replaced or removed.
// - A replaced file keeps its permissions but not its set-user-ID and
//   set-group-ID bits, as a plain write would clear them. A new file gets
//   0666 less the umask.
// - InstallWriteSignalHandling makes a write past the file size limit
//   (ulimit -f) an error (EFBIG) instead of the end of the program, and a
//   closed pipe (standard error read by `head`) an error of that write only.
//
// A writer that makes scratch files of its own on the way (the export, whose
// plug-in writes a file that a heading is then spliced into) makes them with
// ScratchFile, named and cleaned up the same way.
//
// A new kind of output (a texture beside the model, a converted file) takes
// two steps: its planned path goes into the run's RunFiles before anything
// is written (CheckRunFiles in main.cpp), and it is written with
//   WriteOutputFile(path, bytes, error)            the bytes in hand, or
//   WriteOutputFile(path, [&](OutputSink& sink, std::string& reason) {...},
//                   error, &bytes)                 a writer into sink.fd
// whose failure is reported as `error` ("PATH: REASON"), exit status 3.
#ifndef MDLEXPORT_CLI_SAFE_WRITE_H
#define MDLEXPORT_CLI_SAFE_WRITE_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Where a writer puts the output's bytes.
struct OutputSink
{
    int fd = -1; // open for writing, at its start
    // The temporary file that becomes the output (the writer may also open
    // it by this path); empty when writing into a device or pipe.
    std::string temporary;
    // Where the writer may make scratch files (beside the output, or $TMPDIR
    // for a device).
    std::string scratch_folder;
    uint64_t bytes = 0; // set by the writer: the bytes it wrote
};

// Writes the output's bytes into `sink`; false with `reason` (without the
// path, e.g. "cannot write: No space left on device") on failure.
using OutputWriter = std::function<bool(OutputSink& sink, std::string& reason)>;

// Writes `path` through `write` as described above. False with `error`
// ("PATH: REASON") when it cannot; nothing is then left behind and an
// existing output is unchanged. `bytes`, when not null, gets the size.
bool WriteOutputFile(const std::string& path, const OutputWriter& write, std::string& error,
                     uint64_t* bytes = nullptr);
// The same with the bytes in hand.
bool WriteOutputFile(const std::string& path, std::string_view contents, std::string& error);

// Where WriteOutputFile would make the temporary file of `path`: its folder
// (the linked file's, through a link), or $TMPDIR for a device or pipe.
std::string ScratchFolderFor(const std::string& path);

// A temporary file named after `output` in `folder`, removed when it goes out
// of scope (and on the signals above) unless Kept.
class ScratchFile
{
  public:
    ScratchFile() = default;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile();

    // False with errno set.
    bool Create(const std::string& folder, const std::string& output);
    const std::string& path() const
    {
        return path_;
    }
    int fd() const
    {
        return fd_;
    }
    // The file has been renamed to its final name: it is no longer removed.
    void Kept();
    void Remove();

  private:
    void Forget();

    std::string path_;
    int fd_ = -1;
    int slot_ = -1;
};

// The name a temporary file of `output` gets, with XXXXXX for the random
// part: ".NAME.XXXXXX.tmp", NAME the output's last component (cut so that
// the whole is a valid file name).
std::string TemporaryNamePattern(const std::string& output);

// Signals: SIGINT, SIGTERM, SIGHUP and SIGXCPU remove the temporary files of
// the writes under way and end the program as the signal would; SIGPIPE and
// SIGXFSZ are ignored, so that the write fails with EPIPE or EFBIG.
void InstallWriteSignalHandling();
// Removes the temporary files of the writes under way (async-signal-safe),
// for a process that must end at once.
void RemovePendingTemporaries();

// Every file a run reads or writes, compared by identity (device and inode
// of an existing file, or of its folder with its name for one that does not
// exist yet), so that two paths that reach one file through a symbolic link
// or "." and ".." are one file.
class RunFiles
{
  public:
    // `what` names the file for a message, with its path ("the input
    // a.json", "the output a.mdl of a.json"). Inputs may repeat.
    void AddInput(const std::string& path, const std::string& what);
    // An output that a run will write: false with `error` ("WHAT is the same
    // file as OTHER") when it is an input (other than the one at `own_input`,
    // which the caller refuses itself) or another output. An existing device
    // or pipe is written into, not replaced, and may be named twice.
    bool AddOutput(const std::string& path, const std::string& what, std::string& error,
                   const std::string& own_input = "");

  private:
    struct Entry
    {
        dev_t device;
        ino_t inode;
        std::string name; // empty for an existing file
        std::string path;
        std::string what;
        bool output;
    };
    std::vector<Entry> entries_;
};

#endif
