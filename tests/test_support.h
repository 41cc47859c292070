// Helpers shared by the native tests of whole runs and writers: a temporary
// folder, a stream into memory and a run into a file. The fixtures that the
// Windows and fuzz tests share too are in test_fixtures.h.
#ifndef MDLEXPORT_TESTS_TEST_SUPPORT_H
#define MDLEXPORT_TESTS_TEST_SUPPORT_H

#include "export_run.h"
#include "mdl_stream.h"
#include "stand_in_model.h"
#include "test_fixtures.h"

#include <string>

// A file path in a fresh temporary folder, removed with it.
class TempDir
{
  public:
    TempDir();
    ~TempDir();
    std::string Path(const std::string& name) const
    {
        return dir_ + "/" + name;
    }

  private:
    std::string dir_;
};

// Reads a whole file; "<missing>" when it does not exist.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// A stream that collects its bytes in memory, for testing one writer.
struct MemoryStream
{
    MemoryStream();
    ~MemoryStream();
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    // Everything written so far, CR LF and all.
    std::string Bytes();

    MdlStream* stream;
    std::string collected;
};

// Runs the export of `model` with the stand-in dialog answering `path`.
ExportStatus RunInto(ModelHandle model, const std::string& path);

#endif
