#include "export_run.h"

#include "bone_writer.h"
#include "file_identity.h"
#include "geoset_writer.h"
#include "header_writer.h"
#include "pivot_writer.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace
{

constexpr char kEmptyModelText[] = "The model is empty!  Nothing exported!";
constexpr char kEmptyModelCaption[] = "Warcraft III MDL Export";
constexpr uint32_t kWarningStyle = 0x30; // MB_OK | MB_ICONWARNING

constexpr char kDialogTitle[] = "Export Warcraft III MDL";
constexpr uint32_t kDialogStructSize = 76; // the record without the later extension fields
constexpr uint32_t kDialogFlags = 0x0806;  // hide read-only, overwrite prompt, path must exist
constexpr size_t kPathBufferSize = 256;
constexpr size_t kFilterBufferSize = 128;
constexpr size_t kDefaultExtensionBufferSize = 32;

// The dialog's filter: pairs of terminated strings, the list ended by an empty
// one. The array's own zero fill supplies every terminator.
constexpr char kFilterPairs[][32] = {"Warcraft III MDL (*.mdl)", "*.mdl", "All Files (*.*)", "*.*"};

void FillFilter(char (&filter)[kFilterBufferSize])
{
    std::memset(filter, 0, sizeof filter);
    size_t at = 0;
    for (const char* text : kFilterPairs)
    {
        size_t length = std::strlen(text);
        std::memcpy(filter + at, text, length);
        at += length + 1;
    }
}

FILE* OpenBinary(const char* path)
{
    FILE* file = std::fopen(path, "wb");
    // The stream has a large buffer of its own.
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

size_t WriteBytes(const void* data, size_t size, FILE* file)
{
    return std::fwrite(data, 1, size, file);
}

int CloseFile(FILE* file)
{
    return std::fclose(file);
}

// Writes the whole model to `file`: true when every byte reached it.
bool WriteModel(ModelHandle model, FILE* file, const ExportSeams& seams)
{
    // The stream holds a 64 KiB buffer: too large for the stack of a host's
    // thread to be taken for granted.
    MdlScratch stream_block(seams.allocate, seams.release);
    MdlStream* memory = stream_block.Array<MdlStream>(1);
    if (memory == nullptr)
        return false;
    MdlStream& out = *new (memory) MdlStream();
    out.file = file;
    out.write = seams.write_file;
    out.allocate = seams.allocate;
    out.release = seams.release;

    WriteModelHeader(out, model);
    int32_t mesh_count = msModel_GetMeshCount(model);
    for (int32_t m = 0; m < mesh_count && !out.failed; ++m)
        WriteGeoset(out, model, msModel_GetMeshAt(model, m));

    // The bone count is read once: the table, the bones and the pivots all
    // go by it, whatever the host answers later.
    int32_t bone_count = msModel_GetBoneCount(model);
    MdlScratch blocks = MdlScratchOf(out);
    int32_t* parent_table = blocks.Array<int32_t>(bone_count);
    if (parent_table != nullptr && !out.failed)
    {
        for (int32_t b = 0; b < bone_count; ++b)
            parent_table[b] = -1;
        ParentTable table{parent_table, bone_count};
        WriteBones(out, model, table);
        if (!out.failed)
            WritePivotPoints(out, model, table);
    }
    return MdlFlush(out);
}

} // namespace

const ExportSeams& DefaultExportSeams()
{
    static const ExportSeams seams = {
        AskSavePath, ShowWarning, OpenBinary, WriteBytes, CloseFile, std::malloc, std::free,
    };
    return seams;
}

ExportStatus ExportRun(ModelHandle model)
{
    return ExportRunWith(model, DefaultExportSeams());
}

ExportStatus ExportRunWith(ModelHandle model, const ExportSeams& seams)
{
    if (model == nullptr)
        return kExportFailed; // the host gave us nothing: touch nothing
    if (msModel_GetMeshCount(model) == 0)
    {
        seams.show_warning(kEmptyModelText, kEmptyModelCaption, kWarningStyle);
        return kExportDone; // nothing to export is not a failure
    }

    char path[kPathBufferSize] = {};
    char file_title[kPathBufferSize] = {};
    char default_extension[kDefaultExtensionBufferSize] = "txt";
    char filter[kFilterBufferSize];
    FillFilter(filter);
    SaveDialogRequest request = {};
    request.struct_size = kDialogStructSize;
    request.filter = filter;
    request.file = path;
    request.file_capacity = kPathBufferSize;
    request.file_title = file_title;
    request.file_title_capacity = kPathBufferSize;
    request.title = kDialogTitle;
    request.flags = kDialogFlags;
    request.default_extension = default_extension;
    if (!seams.ask_save_path(request))
        return kExportDone; // cancelled: no file, the model stays the host's
    path[kPathBufferSize - 1] = '\0';

    FILE* file = seams.open_file(path);
    if (file == nullptr)
        return kExportFailed;
    FileIdentity opened = IdentifyOpenFile(file);
    bool complete = WriteModel(model, file, seams);
    bool closed = seams.close_file(file) == 0;
    if (!complete || !closed)
        RemoveIfSameFile(path, opened);
    msModel_Destroy(model);
    return complete && closed ? kExportDone : kExportFailed;
}
