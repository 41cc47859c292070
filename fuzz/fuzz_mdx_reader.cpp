// The model library's MDX reader on any bytes: a refusal, or a model that
// writes back to MDX bytes that read to the same model, and through MDL to
// the same bytes again.
#include "mdl_reader.h"
#include "mdl_writer.h"
#include "mdx_reader.h"
#include "mdx_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

[[noreturn]] void Broken(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "INVARIANT BROKEN: %s: %s\n", what, detail.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mdlx::Model model;
    if (!mdlx::ReadMdx(data, size, "fuzz.mdx", model).ok)
        return 0;
    std::string mdx;
    mdlx::Status status = mdlx::WriteMdx(model, mdx, "out.mdx");
    if (!status.ok)
        Broken("an accepted model is refused by the MDX writer", status.message);
    mdlx::Model back;
    status = mdlx::ReadMdx(mdx.data(), mdx.size(), "out.mdx", back);
    if (!status.ok)
        Broken("our MDX does not read back", status.message);
    if (!(back == model))
        Broken("MDX -> MDX", "another model");
    std::string mdl;
    status = mdlx::WriteMdl(model, mdl, "out.mdl");
    if (!status.ok)
        Broken("an accepted model is refused by the MDL writer", status.message);
    status = mdlx::ReadMdl(mdl, "out.mdl", back);
    if (!status.ok)
        Broken("our MDL does not read back", status.message);
    std::string again;
    mdlx::WriteMdx(back, again, "again.mdx");
    if (again != mdx)
        Broken("MDX -> MDL -> MDX", "other bytes");
    return 0;
}
