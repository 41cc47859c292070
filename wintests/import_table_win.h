// Replaces what a loaded module imports: the test host's way of putting its
// own doubles behind the calls that the shipped plug-in makes, without a test
// build of the plug-in.
#ifndef MDLEXPORT_WINTESTS_IMPORT_TABLE_WIN_H
#define MDLEXPORT_WINTESTS_IMPORT_TABLE_WIN_H

#include <windows.h>

// Points `module`'s import of `function` from `dll` (names compared without
// regard to case for the DLL, exactly for the function) at `replacement`.
// Returns the address it replaced, or null when the module does not import
// that function by that name; then nothing is changed.
void* ReplaceImport(HMODULE module, const char* dll, const char* function, void* replacement);

#endif
