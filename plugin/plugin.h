// The plug-in object that the host calls, and the factory it finds by name.
//
// The host relies on the object's layout: a pointer to a table of four
// operations, in this order: the destructor, QueryKind, QueryTitle, Run.
// Built with a compiler that follows the host's ABI (one deleting destructor
// entry, member calls in the host's convention) this class is that layout as
// it stands; the MinGW build arranges the table itself (see
// plugin_table_mingw.cpp).
#ifndef MDLEXPORT_PLUGIN_PLUGIN_H
#define MDLEXPORT_PLUGIN_PLUGIN_H

#include "host_model_lib.h"

#include <cstdint>

// The host's code for an export plug-in, as the host names it: the value
// that QueryKind answers.
constexpr int32_t KindExport = 2;

class PlugInBase
{
  public:
    virtual ~PlugInBase() {}
    virtual int32_t QueryKind() = 0;
    virtual const char* QueryTitle() = 0;
    virtual int32_t Run(ModelHandle model) = 0;
};

class MdlExportPlugIn : public PlugInBase
{
  public:
    MdlExportPlugIn();
    int32_t QueryKind() override;
    const char* QueryTitle() override;
    int32_t Run(ModelHandle model) override;

  private:
    char title[64];
};

// A new plug-in object, owned by the caller, who destroys it through its
// virtual destructor; null if it cannot be allocated.
extern "C" PlugInBase* CreatePlugIn();

#endif
