// The stand-in save dialog and warning box, used wherever Windows is absent.
// The dialog records a copy of every value it was given and answers with the
// path, or the cancel, that its caller set; the warning box records its text,
// caption and style. One process, one thread: the state is global on purpose.
#ifndef MDLEXPORT_HOST_STAND_IN_UI_H
#define MDLEXPORT_HOST_STAND_IN_UI_H

#include <cstdint>
#include <string>

struct RecordedSaveDialog
{
    uint32_t struct_size = 0;
    std::string filter_bytes; // all 128 bytes of the filter buffer
    uint32_t file_capacity = 0;
    uint32_t file_title_capacity = 0;
    bool file_was_empty = false;       // the path buffer held "" when shown
    bool file_title_was_empty = false; // likewise the file-title buffer
    std::string title;
    uint32_t flags = 0;
    std::string default_extension_bytes; // all 32 bytes of the default-extension buffer
};

struct RecordedWarning
{
    std::string text;
    std::string caption;
    uint32_t style = 0;
};

// The dialog's next answers: a path (chosen) or a cancel. Starts as a cancel.
void StandInUi_AnswerWithPath(const std::string& path);
void StandInUi_AnswerWithCancel();

// Forgets what was recorded.
void StandInUi_Reset();

int StandInUi_DialogCount();
const RecordedSaveDialog& StandInUi_LastDialog();
int StandInUi_WarningCount();
const RecordedWarning& StandInUi_LastWarning();

#endif
