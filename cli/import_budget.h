// The budget a scene file's conversion runs within. A reader of a third-party
// library that loops on a hostile file (inserting keys without end, say) must
// end with a message, not take the machine's memory: so the whole conversion
// of a scene file runs in a child process whose address space and processor
// time are limited (setrlimit), and which the parent also ends when it
// outlives its time on the clock. The parent tells why the child ended; the
// child's standard error passes through; the batch goes on.
#ifndef MDLEXPORT_CLI_IMPORT_BUDGET_H
#define MDLEXPORT_CLI_IMPORT_BUDGET_H

#include <cstdint>
#include <functional>
#include <string>

struct ImportBudget
{
    uint64_t memory_mb = 0; // beyond what the program holds when the child starts
    uint64_t seconds = 0;   // of processor time; the clock allows twice as much
};

// The budget for a scene file of `file_bytes` bytes: 1,024 MB plus 128 MB per
// MB of file, and 120 seconds plus 10 per MB. `memory_mb` or `seconds`, when
// not 0, replace the figure (the options --import-memory and
// --import-seconds).
ImportBudget ImportBudgetFor(uint64_t file_bytes, uint64_t memory_mb, uint64_t seconds);

// Runs `work` in a child process within `budget` and returns the status it
// returns. When the child exceeds its budget or dies of a signal, the
// temporary files it was writing are removed and the result is -1 with
// `message` ("the importer exceeded its memory budget of N MB (raise it with
// --import-memory MB)", "... its time budget of N s (raise it with
// --import-seconds S)", or "the importer crashed (signal N)"), without the
// file's name.
int RunWithinBudget(const ImportBudget& budget, const std::function<int()>& work,
                    std::string& message);

#endif
