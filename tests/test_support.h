// Helpers shared by the tests of whole runs and writers: a model built on the
// stand-in library, a run into a temporary file, and CR LF spelled out.
#ifndef MDLEXPORT_TESTS_TEST_SUPPORT_H
#define MDLEXPORT_TESTS_TEST_SUPPORT_H

#include "export_run.h"
#include "mdl_stream.h"
#include "stand_in_model.h"

#include <string>

// A stand-in model that frees itself.
class TestModel
{
  public:
    TestModel() : model_(StandIn_CreateModel()) {}
    ~TestModel()
    {
        StandIn_FreeModel(model_);
    }
    TestModel(const TestModel&) = delete;
    TestModel& operator=(const TestModel&) = delete;

    ModelHandle handle() const
    {
        return model_;
    }
    int32_t destroy_count() const
    {
        return StandIn_DestroyCount(model_);
    }

    MeshHandle AddMesh()
    {
        return StandIn_AddMesh(model_, "mesh");
    }
    BoneHandle AddBone(const char* name, const char* parent, float x = 0, float y = 0, float z = 0)
    {
        return StandIn_AddBone(model_, name, parent, x, y, z);
    }

  private:
    ModelHandle model_;
};

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

// Turns every "\n" into "\r\n": expectations are written with plain line
// ends and compared with the file's bytes.
std::string Crlf(const std::string& text);

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
