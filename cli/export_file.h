// One model exported into one file through the plug-in, the way the host
// runs it, with the file complete or absent afterwards.
//
// The plug-in writes into a new temporary file in the output's folder (its
// save dialog answers with that path); the heading, if any, is spliced into a
// second one; the result is flushed to disk and renamed over the output in
// one step. On any failure the temporary files are removed and the output is
// left as it was. Two kinds of output are not replaced but written into: an
// existing device, pipe or socket (-o /dev/stdout), whose temporary files go
// to $TMPDIR or /tmp; and, through a symbolic link, the file that the link
// names is replaced, not the link.
#ifndef MDLEXPORT_CLI_EXPORT_FILE_H
#define MDLEXPORT_CLI_EXPORT_FILE_H

#include "host_model_lib.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum class ExportFileStatus
{
    Done,
    EmptyModel, // the plug-in warned that the model has no mesh; nothing written
    Failed      // the output could not be written; nothing left behind
};

struct ExportFileResult
{
    ExportFileStatus status = ExportFileStatus::Failed;
    std::string message; // EmptyModel: the warning's text; Failed: "PATH: REASON"
    uint64_t bytes = 0;  // Done: the bytes written
};

// Creates the plug-in object (CreatePlugIn), runs it on `model` with the
// stand-in save dialog answering the temporary path, and deletes the object.
// `heading`, when not null, is the normalized heading (heading.h) that
// replaces the marker line. The model is the caller's to free; a completed
// run has destroyed its contents, as the host's would be.
//
// With `text` not null, the finished MDL is not put in place but read into
// `text` (the temporary files are removed either way; `target` still names
// the folder they are made in and the output in messages), for a caller
// that writes it in another form with WriteWholeFile.
ExportFileResult ExportModelFile(ModelHandle model, const std::string& target,
                                 const std::string* heading, std::string* text = nullptr);

// Writes the `size` bytes at `data` as the file `target` (a converted
// texture or model), complete or absent in the same way: into a temporary file in its
// folder, flushed and renamed into place, or written into an existing
// device, pipe or socket. Done or Failed ("PATH: REASON", nothing left).
ExportFileResult WriteWholeFile(const std::string& target, const uint8_t* data, size_t size);

// Makes an interrupt or termination remove the temporary files of the export
// under way before the program ends.
void RemoveTemporaryFilesOnSignals();

#endif
