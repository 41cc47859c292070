#include "plugin_module_win.h"

#include "import_table_win.h"

#include <cstring>

namespace
{

HostUiDoubles g_ui;
HeapWatch g_heap;

void* (*g_real_malloc)(size_t) = nullptr;
void (*g_real_free)(void*) = nullptr;

// The bytes of a buffer the dialog reads, `size` of them, or "" for none.
std::string BufferBytes(const char* buffer, size_t size)
{
    return buffer != nullptr ? std::string(buffer, size) : std::string();
}

std::string Text(const char* text)
{
    return text != nullptr ? std::string(text) : std::string();
}

BOOL WINAPI GetSaveFileNameDouble(LPOPENFILENAMEA dialog)
{
    ++g_ui.dialog_calls;
    SeenDialog& seen = g_ui.last_dialog;
    std::memset(&seen.record, 0, sizeof seen.record);
    size_t claimed =
        dialog->lStructSize < sizeof seen.record ? dialog->lStructSize : sizeof seen.record;
    std::memcpy(&seen.record, dialog, claimed);
    seen.filter_bytes = BufferBytes(dialog->lpstrFilter, 128);
    seen.file = Text(dialog->lpstrFile);
    seen.file_title = Text(dialog->lpstrFileTitle);
    seen.title = Text(dialog->lpstrTitle);
    seen.default_extension_bytes = BufferBytes(dialog->lpstrDefExt, 32);
    if (!g_ui.answer_with_path)
        return FALSE; // the user cancelled
    // What the real dialog leaves behind: the full path, the file's name,
    // and the offsets of the name and the extension within the path.
    const std::string& path = g_ui.path;
    if (dialog->lpstrFile == nullptr || path.size() + 1 > dialog->nMaxFile)
        return FALSE;
    std::memcpy(dialog->lpstrFile, path.c_str(), path.size() + 1);
    size_t name_at = path.find_last_of("\\/");
    name_at = name_at == std::string::npos ? 0 : name_at + 1;
    std::string name = path.substr(name_at);
    if (dialog->lpstrFileTitle != nullptr && name.size() + 1 <= dialog->nMaxFileTitle)
        std::memcpy(dialog->lpstrFileTitle, name.c_str(), name.size() + 1);
    size_t dot = path.find_last_of('.');
    dialog->nFileOffset = static_cast<WORD>(name_at);
    dialog->nFileExtension =
        static_cast<WORD>(dot != std::string::npos && dot > name_at ? dot + 1 : path.size());
    return TRUE;
}

int WINAPI MessageBoxDouble(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    ++g_ui.warning_calls;
    g_ui.last_warning = SeenWarning{owner, Text(text), Text(caption), style};
    return IDOK;
}

void* __cdecl MallocDouble(size_t size)
{
    void* memory = g_real_malloc(size);
    if (g_heap.watching)
        g_heap.allocated.push_back(Allocation{memory, size});
    return memory;
}

void __cdecl FreeDouble(void* memory)
{
    if (g_heap.watching)
        g_heap.freed.push_back(memory);
    g_real_free(memory);
}

template <typename Function>
bool Replace(PlugInModule& loaded, const char* dll, const char* name, Function replacement,
             Function* previous)
{
    void* old = ReplaceImport(loaded.module, dll, name, reinterpret_cast<void*>(replacement));
    if (old == nullptr)
    {
        loaded.error = std::string("mdlexport.dll does not import ") + name + " from " + dll;
        return false;
    }
    if (previous != nullptr)
        *previous = reinterpret_cast<Function>(old);
    return true;
}

PlugInModule Load()
{
    PlugInModule loaded;
    // From the test host's folder, where the build puts the module and the
    // stand-in msModelLib.dll that it imports.
    loaded.module = LoadLibraryA("mdlexport.dll");
    if (loaded.module == nullptr)
    {
        loaded.error = "LoadLibrary(mdlexport.dll) failed: " + std::to_string(GetLastError());
        return loaded;
    }
    // GetProcAddress gives every export one type; CreatePlugIn's own is
    // cdecl, no arguments, a pointer back.
    void* create = reinterpret_cast<void*>(GetProcAddress(loaded.module, "CreatePlugIn"));
    loaded.create = reinterpret_cast<void* (*)()>(create);
    if (loaded.create == nullptr)
    {
        loaded.error = "mdlexport.dll has no export CreatePlugIn";
        return loaded;
    }
    decltype(&GetSaveFileNameDouble) no_dialog = nullptr;
    decltype(&MessageBoxDouble) no_box = nullptr;
    if (!Replace(loaded, "comdlg32.dll", "GetSaveFileNameA", &GetSaveFileNameDouble, &no_dialog) ||
        !Replace(loaded, "user32.dll", "MessageBoxA", &MessageBoxDouble, &no_box) ||
        !Replace(loaded, "msvcrt.dll", "malloc", &MallocDouble, &g_real_malloc) ||
        !Replace(loaded, "msvcrt.dll", "free", &FreeDouble, &g_real_free))
        loaded.create = nullptr;
    return loaded;
}

} // namespace

const PlugInModule& LoadPlugInModule()
{
    static const PlugInModule loaded = Load();
    return loaded;
}

HostUiDoubles& UiDoubles()
{
    return g_ui;
}

HeapWatch& Heap()
{
    return g_heap;
}
