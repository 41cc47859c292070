// The save dialog and the warning box on Windows: GetSaveFileNameA and
// MessageBoxA, called exactly as the run describes them in its request.
#include "host_ui.h"

#include <cassert>
#include <cstddef>
#include <cstring>
#include <windows.h> // with commdlg.h: OPENFILENAMEA, GetSaveFileNameA

// The run asks for the record without the later extension fields, which every
// version of the dialog accepts; it must not claim more than the record holds.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76);

bool AskSavePath(SaveDialogRequest& request)
{
    assert(request.struct_size <= sizeof(OPENFILENAMEA));
    // Every field the run does not set stays zero: no owner window, no custom
    // filter, no initial directory, no hook, no template.
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = request.struct_size;
    dialog.hwndOwner = nullptr;
    dialog.hInstance = nullptr;
    dialog.lpstrFilter = request.filter;
    dialog.lpstrCustomFilter = nullptr;
    dialog.nFilterIndex = 0;
    dialog.lpstrFile = request.file;
    dialog.nMaxFile = request.file_capacity;
    dialog.lpstrFileTitle = request.file_title;
    dialog.nMaxFileTitle = request.file_title_capacity;
    dialog.lpstrInitialDir = nullptr;
    dialog.lpstrTitle = request.title;
    dialog.Flags = request.flags;
    dialog.lpstrDefExt = request.default_extension;
    return GetSaveFileNameA(&dialog) != 0;
}

void ShowWarning(const char* text, const char* caption, uint32_t style)
{
    MessageBoxA(nullptr, text, caption, style);
}
