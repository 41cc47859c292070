// The two places where an export meets the user: the save dialog and the
// warning box. On Windows they are GetSaveFileNameA and MessageBoxA
// (plugin/host_ui_win32.cpp); elsewhere the stand-in (stand_in_ui.h) records
// what it was asked and answers as its caller set it.
#ifndef MDLEXPORT_HOST_HOST_UI_H
#define MDLEXPORT_HOST_HOST_UI_H

#include <cstdint>

// What the run puts into the save dialog's record; every field that it sets to
// anything but zero. The Win32 side copies these into an OPENFILENAMEA that is
// otherwise zero, field for field.
struct SaveDialogRequest
{
    uint32_t struct_size;          // 76: the record without the later extension fields
    const char* filter;            // 128 bytes: pairs of terminated strings, then zeros
    char* file;                    // the path buffer, empty at first, filled by the dialog
    uint32_t file_capacity;        // 256
    char* file_title;              // filled by the dialog and otherwise not used
    uint32_t file_title_capacity;  // 256
    const char* title;             // "Export Warcraft III MDL"
    uint32_t flags;                // OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST
    const char* default_extension; // 32 bytes: "txt", then zeros
};

// Shows the save dialog. True when the user chose a path, which is then in
// `request.file`; false when the user cancelled or the dialog failed.
bool AskSavePath(SaveDialogRequest& request);

// Shows a modal message box with no owner window.
void ShowWarning(const char* text, const char* caption, uint32_t style);

#endif
