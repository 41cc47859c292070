// Plain reading and writing of whole files by descriptor, retrying short and
// interrupted transfers. Errors are left in errno.
#ifndef MDLEXPORT_CLI_FILE_IO_H
#define MDLEXPORT_CLI_FILE_IO_H

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the file at `path` to its end (a stream as well as a regular file),
// `max_size` bytes at most. False with `error` ("PATH: cannot open: REASON",
// "... cannot read: ..." or "... the file is larger than N MiB ...").
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error,
                   size_t max_size = SIZE_MAX);

// Writes all `size` bytes; false on the first failure.
bool WriteAll(int fd, const char* data, size_t size);

// Copies everything from `from`'s position on to `to`; adds the bytes copied
// to `copied`. False when a read or a write fails; `read_failed` tells which.
bool CopyToEnd(int from, int to, uint64_t& copied, bool& read_failed);

// Now as file times count it (nanoseconds since 1970; the kernel stamps
// files from a coarser clock than the finest, so a file written after this
// call never has an earlier time).
int64_t FileClockNow();

// True when the file at `path` exists and was last modified at or after
// `since` (a FileClockNow reading).
bool ModifiedSince(const std::string& path, int64_t since);

// The folder of `path`: what comes before its last slash ("/" for a path
// at the root, "." for a bare name).
std::string FolderOf(const std::string& path);

#endif
