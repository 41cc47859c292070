// The plug-in object as the host calls it, for the MinGW build.
//
// The host reads the object's first word as a pointer to a table of exactly
// four member functions, each in the 32-bit Windows member convention
// (thiscall: `this` in ECX, the callee pops its stack arguments):
//
//   [0] the scalar deleting destructor: takes a flag word, destroys the object,
//       frees its memory only when bit 0 is set, returns the object's address
//   [1] QueryKind   [2] QueryTitle   [3] Run
//
// g++ lays out MdlExportPlugIn's own table by its own ABI: two destructor
// entries (one that only destroys, one that also frees, neither taking a flag)
// before QueryKind, so every later entry would sit one place off. Rather than
// bend that class, the module hands the host a HostPlugIn: a plain struct whose
// first member points to the static table below, written entry for entry, and
// whose second member is the MdlExportPlugIn that the entries forward to. The
// title the host reads is that object's own array.
//
// The factory is CreatePlugInForHost; mdlexport.def exports it under the name
// the host looks for, CreatePlugIn. (plugin.h declares CreatePlugIn as
// returning a PlugInBase*, which this object is not.)
#include "plugin.h"

#include <cstdint>
#include <new>

namespace
{

// GCC applies the attribute as documented but warns that it is meant for
// class methods; these functions are class methods in all but name.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
#define MDL_THISCALL __attribute__((thiscall))

struct HostPlugIn;

struct HostTable
{
    void*(MDL_THISCALL* destroy)(HostPlugIn* self, uint32_t flags);
    int32_t(MDL_THISCALL* query_kind)(HostPlugIn* self);
    const char*(MDL_THISCALL* query_title)(HostPlugIn* self);
    int32_t(MDL_THISCALL* run)(HostPlugIn* self, ModelHandle model);
};
static_assert(sizeof(HostTable) == 4 * sizeof(void*), "the host reads four entries");

extern const HostTable kHostTable;

struct HostPlugIn
{
    const HostTable* table = &kHostTable; // the first word, as the host reads it
    MdlExportPlugIn plugin;
};

constexpr uint32_t kFreeMemory = 1; // bit 0 of the destructor's flag word

void* MDL_THISCALL DestroyEntry(HostPlugIn* self, uint32_t flags)
{
    self->~HostPlugIn();
    if ((flags & kFreeMemory) != 0)
        ::operator delete(self);
    // The host only compares the address; it never reads through it.
    return self;
}

int32_t MDL_THISCALL QueryKindEntry(HostPlugIn* self)
{
    return self->plugin.QueryKind();
}

const char* MDL_THISCALL QueryTitleEntry(HostPlugIn* self)
{
    return self->plugin.QueryTitle();
}

int32_t MDL_THISCALL RunEntry(HostPlugIn* self, ModelHandle model)
{
    return self->plugin.Run(model);
}

const HostTable kHostTable = {DestroyEntry, QueryKindEntry, QueryTitleEntry, RunEntry};

#undef MDL_THISCALL
#pragma GCC diagnostic pop

} // namespace

// A new plug-in object in the host's layout, owned by the host, who destroys
// it through entry 0 of its table; null if it cannot be allocated.
extern "C" void* CreatePlugInForHost()
{
    return new (std::nothrow) HostPlugIn();
}
