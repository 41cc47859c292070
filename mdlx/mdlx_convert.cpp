// mdlx-convert IN OUT: converts one model between MDL and MDX, each side's
// form chosen by its extension (.mdl or .mdx). A development driver of the
// model library for the reader check and the benchmarks; the command-line
// exporter is the user's tool.
//
// Exit status: 0 written; 1 the input was refused (the message on standard
// error, nothing written); 2 bad usage or a file that could not be read or
// written.
#include "mdl_reader.h"
#include "mdl_writer.h"
#include "mdx_reader.h"
#include "mdx_writer.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The input mapped whole into memory (its pages come straight from the
// file cache), or read where it cannot be mapped.
class InputFile
{
  public:
    explicit InputFile(const std::string& path)
    {
        const int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0)
            return;
        struct stat info;
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        {
            size_ = size_t(info.st_size);
            if (size_ == 0)
            {
                ok_ = true;
            }
            else
            {
                void* map = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
                if (map != MAP_FAILED)
                {
                    map_ = static_cast<const char*>(map);
                    ok_ = true;
                }
            }
        }
        close(fd);
    }
    ~InputFile()
    {
        Release();
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool ok() const
    {
        return ok_;
    }
    std::string_view bytes() const
    {
        return {map_ ? map_ : "", map_ ? size_ : 0};
    }
    void Release() const
    {
        if (map_ != nullptr)
            munmap(const_cast<char*>(map_), size_);
        map_ = nullptr;
    }

  private:
    mutable const char* map_ = nullptr;
    size_t size_ = 0;
    bool ok_ = false;
};

bool EndsWith(const std::string& text, const char* end)
{
    const std::string tail(end);
    if (text.size() < tail.size())
        return false;
    for (size_t i = 0; i < tail.size(); ++i)
    {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != tail[i])
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || !(EndsWith(argv[1], ".mdl") || EndsWith(argv[1], ".mdx")) ||
        !(EndsWith(argv[2], ".mdl") || EndsWith(argv[2], ".mdx")))
    {
        std::fprintf(stderr, "usage: mdlx-convert IN.mdl|IN.mdx OUT.mdl|OUT.mdx\n");
        return 2;
    }
    const std::string in_path = argv[1];
    const std::string out_path = argv[2];
    const InputFile input(in_path);
    if (!input.ok())
    {
        std::fprintf(stderr, "%s: cannot be read\n", in_path.c_str());
        return 2;
    }
    const std::string_view bytes = input.bytes();
    mdlx::Model model;
    mdlx::Status status = EndsWith(in_path, ".mdl")
                              ? mdlx::ReadMdl(bytes, in_path, model)
                              : mdlx::ReadMdx(bytes.data(), bytes.size(), in_path, model);
    input.Release(); // the model holds it all now
    if (!status.ok)
    {
        std::fprintf(stderr, "%s\n", status.message.c_str());
        return 1;
    }
    std::string out_bytes;
    status = EndsWith(out_path, ".mdl") ? mdlx::WriteMdl(model, out_bytes, out_path)
                                        : mdlx::WriteMdx(model, out_bytes, out_path);
    if (!status.ok)
    {
        std::fprintf(stderr, "%s\n", status.message.c_str());
        return 1;
    }
    std::ofstream out(out_path, std::ios::binary);
    out.write(out_bytes.data(), std::streamsize(out_bytes.size()));
    out.close();
    if (!out)
    {
        std::fprintf(stderr, "%s: cannot be written\n", out_path.c_str());
        return 2;
    }
    return 0;
}
