// Runs the built mdlexport as a user would, and collects what it says.
#ifndef MDLEXPORT_TESTS_CLI_RUN_BINARY_H
#define MDLEXPORT_TESTS_CLI_RUN_BINARY_H

#include <string>
#include <vector>

struct BinaryRun
{
    int exit_code = -1; // -1 when the process did not exit normally
    int signal = 0;     // the signal that ended it, if one did
    std::string out;
    std::string err;
};

struct BinaryRunOptions
{
    std::string working_directory; // empty: the test's own
    long file_size_limit = -1;     // bytes; -1: none (writes past it fail with EFBIG)
    bool unprivileged = false;     // run as the user "nobody" (65534) when started as root
    // With a file size limit: leave SIGXFSZ to end the program, as a shell's
    // `ulimit -f` does, unless the program ignores it itself.
    bool file_size_signal = false;
    // Standard error a pipe that nobody reads (`2>&1 | head -1` once head has
    // gone): writing to it raises SIGPIPE. `err` stays empty.
    bool closed_stderr = false;
};

// Runs mdlexport with `arguments` (argv[1] on) and waits for it.
BinaryRun RunMdlexport(const std::vector<std::string>& arguments,
                       const BinaryRunOptions& options = {});

// Writes `bytes` to `path`, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);

// The names in a folder, sorted, "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& path);

#endif
