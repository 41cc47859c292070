// An input file's bytes, followed by padding that may be read but not
// relied on: the JSON parser reads a little past the end.
//
// A regular file is mapped rather than read: nothing is copied, and pages the
// parser has finished with can be given back (GiveBack), which keeps the
// loader's peak memory near the file's size plus the parser's index. The file
// must not shrink while it is mapped. Anything else (a pipe, a device) is read
// into memory to its end.
#ifndef MDLEXPORT_CLI_INPUT_BYTES_H
#define MDLEXPORT_CLI_INPUT_BYTES_H

#include <cstddef>
#include <memory>
#include <string>

class InputBytes
{
  public:
    InputBytes() = default;
    InputBytes(const InputBytes&) = delete;
    InputBytes& operator=(const InputBytes&) = delete;
    ~InputBytes();

    // Opens `path` with `padding` readable bytes after its end. False with
    // `error` ("PATH: cannot open: REASON", "PATH: cannot read: ...", or too
    // large: over `max_size` bytes).
    bool Open(const std::string& path, size_t padding, size_t max_size, std::string& error);

    const char* data() const
    {
        return data_;
    }
    size_t size() const
    {
        return size_;
    }

    // Lets the system drop the mapped pages that lie wholly within bytes
    // [begin, end); reading them again brings them back from the file. Does
    // nothing for bytes that were read rather than mapped.
    void GiveBack(size_t begin, size_t end);

  private:
    bool Map(int fd, size_t size, size_t padding);
    bool ReadAll(int fd, size_t expected, size_t padding, size_t max_size, const std::string& path,
                 std::string& error);

    const char* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr;
    size_t mapping_size_ = 0;
    std::unique_ptr<char[]> read_;
};

#endif
