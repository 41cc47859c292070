// One export, from the host's call to the finished file.
#ifndef MDLEXPORT_EXPORT_EXPORT_RUN_H
#define MDLEXPORT_EXPORT_EXPORT_RUN_H

#include "host_model_lib.h"
#include "host_ui.h"
#include "mdl_stream.h"

#include <cstdint>
#include <cstdio>

using ExportStatus = int32_t;
constexpr ExportStatus kExportDone = 0;
constexpr ExportStatus kExportFailed = -1;

// What a run uses of the world besides the model: the dialog, the warning box,
// the file and scratch memory. The defaults are the real ones; tests replace
// single entries to see what the run asks or to make a step fail.
struct ExportSeams
{
    bool (*ask_save_path)(SaveDialogRequest& request);
    void (*show_warning)(const char* text, const char* caption, uint32_t style);
    FILE* (*open_file)(const char* path); // binary, create or truncate
    MdlWriteFn write_file;
    int (*close_file)(FILE* file); // fclose's contract
    MdlAllocateFn allocate;
    MdlReleaseFn release;
};
const ExportSeams& DefaultExportSeams();

// Exports `model`: refuses a null model (-1, touches nothing); warns about a
// model without meshes (0, no dialog); asks for a path (cancel: 0); opens it
// (failure: -1); writes the header, one Geoset per mesh, the bones and the
// pivot points; closes the file and destroys the model (0).
//
// A write or close error, or scratch memory refused, still ends the run as a
// completed one (file closed, arrays released, model destroyed), but the
// incomplete file is deleted (only if it is a regular file that this run
// opened) and the status is -1.
ExportStatus ExportRun(ModelHandle model);
ExportStatus ExportRunWith(ModelHandle model, const ExportSeams& seams);

#endif
