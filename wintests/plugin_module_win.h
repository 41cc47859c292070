// mdlexport.dll, loaded once into the test host as the host loads it, with
// the test host's doubles behind the calls it makes to the world: the save
// dialog and the message box (so that no window ever opens), and the C
// runtime's malloc and free (so that a test can see what memory the module
// takes and gives back). The doubles are put into the module's own import
// table: the shipped binary is tested, not a test build of it.
#ifndef MDLEXPORT_WINTESTS_PLUGIN_MODULE_WIN_H
#define MDLEXPORT_WINTESTS_PLUGIN_MODULE_WIN_H

#include "host_model_lib.h"

#include <cstddef>
#include <string>
#include <vector>
#include <windows.h> // with commdlg.h: OPENFILENAMEA

struct PlugInModule
{
    HMODULE module = nullptr;
    void* (*create)() = nullptr; // the export CreatePlugIn
    std::string error;           // why loading or patching failed; empty if it did not
};

// Loads the module and installs the doubles on first use.
const PlugInModule& LoadPlugInModule();

// What the dialog double saw on its last call: the record, copied for as
// many bytes as its lStructSize claims (the rest zero), and the buffers it
// points to.
struct SeenDialog
{
    OPENFILENAMEA record;
    std::string filter_bytes;            // all 128 bytes of the filter buffer
    std::string file;                    // the path buffer's text on entry
    std::string file_title;              // likewise the file-title buffer
    std::string title;                   // the dialog's title
    std::string default_extension_bytes; // all 32 bytes of the default-extension buffer
};

struct SeenWarning
{
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};

struct HostUiDoubles
{
    bool answer_with_path = false; // otherwise the user cancels
    std::string path;              // the path the user chooses
    int dialog_calls = 0;
    SeenDialog last_dialog{};
    int warning_calls = 0;
    SeenWarning last_warning{};
};

// The doubles' state; reset before each test.
HostUiDoubles& UiDoubles();

// One allocation that the module asked malloc for.
struct Allocation
{
    void* memory;
    size_t size;
};

// The module's calls to malloc and free, recorded while `watching`.
struct HeapWatch
{
    bool watching = false;
    std::vector<Allocation> allocated;
    std::vector<void*> freed;
};
HeapWatch& Heap();

#endif
