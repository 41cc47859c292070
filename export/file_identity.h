// Which file an open stream is, so that a failed run deletes the file that it
// opened and nothing else: never a device, a pipe, or a file that took its
// place meanwhile.
#ifndef MDLEXPORT_EXPORT_FILE_IDENTITY_H
#define MDLEXPORT_EXPORT_FILE_IDENTITY_H

#include <cstdint>
#include <cstdio>

// A regular file's volume and its number on that volume (device and inode
// where there are inodes; volume serial and file index on Windows).
struct FileIdentity
{
    bool regular = false; // false for anything but a regular file, or unknown
    uint64_t volume = 0;
    uint64_t index = 0;
};

FileIdentity IdentifyOpenFile(FILE* file);

// Deletes `path` if it still names the regular file `opened`.
void RemoveIfSameFile(const char* path, const FileIdentity& opened);

#endif
