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

// The folder of `path`: what comes before its last slash ("/" for a path
// at the root, "." for a bare name).
std::string FolderOf(const std::string& path);

#endif
