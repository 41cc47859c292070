#include "plugin.h"

#include "export_run.h"

#include <cstring>
#include <new>

namespace
{

constexpr char kTitle[] = "Warcraft III MDL...";

} // namespace

MdlExportPlugIn::MdlExportPlugIn()
{
    static_assert(sizeof kTitle <= sizeof title);
    std::memset(title, 0, sizeof title);
    std::memcpy(title, kTitle, sizeof kTitle);
}

int32_t MdlExportPlugIn::QueryKind()
{
    return KindExport;
}

const char* MdlExportPlugIn::QueryTitle()
{
    return title;
}

int32_t MdlExportPlugIn::Run(ModelHandle model)
{
    return ExportRun(model);
}
