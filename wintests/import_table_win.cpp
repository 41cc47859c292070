#include "import_table_win.h"

#include <cstdint>
#include <cstring>

namespace
{

template <typename T> T* AtOffset(HMODULE module, uint32_t offset)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

} // namespace

void* ReplaceImport(HMODULE module, const char* dll, const char* function, void* replacement)
{
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    auto* nt = AtOffset<IMAGE_NT_HEADERS32>(module, static_cast<uint32_t>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return nullptr;
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return nullptr;

    for (auto* descriptor = AtOffset<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress);
         descriptor->Name != 0; ++descriptor)
    {
        if (lstrcmpiA(AtOffset<char>(module, descriptor->Name), dll) != 0)
            continue;
        // The name table (OriginalFirstThunk) and the address table
        // (FirstThunk) run in parallel; the loader has overwritten only the
        // second with addresses.
        auto* names = AtOffset<IMAGE_THUNK_DATA32>(module, descriptor->OriginalFirstThunk);
        auto* addresses = AtOffset<IMAGE_THUNK_DATA32>(module, descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses)
        {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal))
                continue;
            auto* by_name = AtOffset<IMAGE_IMPORT_BY_NAME>(module, names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) != 0)
                continue;
            DWORD* slot = &addresses->u1.Function;
            DWORD old_protection = 0;
            if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old_protection))
                return nullptr;
            void* previous = reinterpret_cast<void*>(static_cast<uintptr_t>(*slot));
            *slot = static_cast<DWORD>(reinterpret_cast<uintptr_t>(replacement));
            VirtualProtect(slot, sizeof *slot, old_protection, &old_protection);
            return previous;
        }
    }
    return nullptr;
}
