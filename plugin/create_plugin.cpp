#include "plugin.h"

#include <new>

extern "C" PlugInBase* CreatePlugIn()
{
    return new (std::nothrow) MdlExportPlugIn();
}
