// The model library's MDL reader on any bytes: a refusal, or a model that
// both writers take and that reads back, from either form, to the same MDX
// bytes.
#include "mdl_reader.h"
#include "mdl_writer.h"
#include "mdx_reader.h"
#include "mdx_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!mdlx::ReadMdl(text, "fuzz.mdl", model).ok)
        return 0;
    std::string mdx;
    std::string mdl;
    mdlx::Status status = mdlx::WriteMdx(model, mdx, "out.mdx");
    if (!status.ok)
        Broken("an accepted model is refused by the MDX writer", status.message);
    status = mdlx::WriteMdl(model, mdl, "out.mdl");
    if (!status.ok)
        Broken("an accepted model is refused by the MDL writer", status.message);
    mdlx::Model from_mdl;
    status = mdlx::ReadMdl(mdl, "out.mdl", from_mdl);
    if (!status.ok)
        Broken("our MDL does not read back", status.message);
    mdlx::Model from_mdx;
    status = mdlx::ReadMdx(mdx.data(), mdx.size(), "out.mdx", from_mdx);
    if (!status.ok)
        Broken("our MDX does not read back", status.message);
    std::string again;
    mdlx::WriteMdx(from_mdl, again, "again.mdx");
    if (again != mdx)
        Broken("MDL -> MDL -> MDX", "other bytes");
    mdlx::WriteMdx(from_mdx, again, "again.mdx");
    if (again != mdx)
        Broken("MDL -> MDX -> MDX", "other bytes");
    return 0;
}
