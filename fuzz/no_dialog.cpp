// The dialog and the warning box for a fuzz target that hands the run seams of
// its own (memory_seams.h): the defaults are linked but must never be reached.
#include "host_ui.h"
#include "memory_seams.h"

bool AskSavePath(SaveDialogRequest&)
{
    Require(false, "the run used the real dialog, not its seam");
    return false;
}

void ShowWarning(const char*, const char*, uint32_t)
{
    Require(false, "the run used the real warning box, not its seam");
}
