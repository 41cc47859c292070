#include "export_run.h"

#include "bone_writer.h"
#include "geoset_writer.h"
#include "pivot_writer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#endif

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

// What the run opened, so that a failed run deletes that file and nothing
// else: never a device, a pipe, or a file that took its place meanwhile.
#ifdef _WIN32
// The C runtime's stat has no file identity on Windows (no inode, and a
// device number that differs between fstat and stat), so the file is known
// by its volume and file index.
struct OpenedFile
{
    bool regular = false;
    BY_HANDLE_FILE_INFORMATION info = {};
};

bool DiskFileInfo(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info)
{
    return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK &&
           GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

OpenedFile Identify(FILE* file)
{
    OpenedFile opened;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    opened.regular = DiskFileInfo(handle, opened.info);
    return opened;
}

void RemoveIfOurs(const char* path, const OpenedFile& opened)
{
    if (!opened.regular)
        return;
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION info = {};
    bool same = DiskFileInfo(handle, info) &&
                info.dwVolumeSerialNumber == opened.info.dwVolumeSerialNumber &&
                info.nFileIndexHigh == opened.info.nFileIndexHigh &&
                info.nFileIndexLow == opened.info.nFileIndexLow;
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (same)
        DeleteFileA(path);
}
#else
struct OpenedFile
{
    bool regular = false;
    dev_t device = 0;
    ino_t inode = 0;
};

OpenedFile Identify(FILE* file)
{
    OpenedFile opened;
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode))
    {
        opened.regular = true;
        opened.device = info.st_dev;
        opened.inode = info.st_ino;
    }
    return opened;
}

void RemoveIfOurs(const char* path, const OpenedFile& opened)
{
    struct stat info;
    if (!opened.regular || stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return;
    if (info.st_dev != opened.device || info.st_ino != opened.inode)
        return;
    std::remove(path);
}
#endif

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
    OpenedFile opened = Identify(file);

    // The stream holds a 64 KiB buffer: too large for the stack of a host's
    // thread to be taken for granted.
    auto* out = static_cast<MdlStream*>(seams.allocate(sizeof(MdlStream)));
    int32_t* parent_table = nullptr;
    bool complete = false;
    if (out != nullptr)
    {
        new (out) MdlStream();
        out->file = file;
        out->write = seams.write_file;
        out->allocate = seams.allocate;
        out->release = seams.release;

        WriteModelHeader(*out, model);
        int32_t mesh_count = msModel_GetMeshCount(model);
        for (int32_t m = 0; m < mesh_count && !out->failed; ++m)
            WriteGeoset(*out, model, msModel_GetMeshAt(model, m));

        // The bone count is read once: the table, the bones and the pivots
        // all go by it, whatever the host answers later.
        int32_t bone_count = msModel_GetBoneCount(model);
        parent_table = static_cast<int32_t*>(MdlAllocateArray(*out, bone_count, sizeof(int32_t)));
        if (parent_table != nullptr && !out->failed)
        {
            for (int32_t b = 0; b < bone_count; ++b)
                parent_table[b] = -1;
            ParentTable table{parent_table, bone_count};
            WriteBones(*out, model, table);
            if (!out->failed)
                WritePivotPoints(*out, model, table);
        }
        complete = MdlFlush(*out);
    }

    bool closed = seams.close_file(file) == 0;
    if (!complete || !closed)
        RemoveIfOurs(path, opened);
    if (parent_table != nullptr)
        seams.release(parent_table);
    if (out != nullptr)
        seams.release(out);
    msModel_Destroy(model);
    return complete && closed ? kExportDone : kExportFailed;
}

void WriteModelHeader(MdlStream& out, ModelHandle model)
{
    MdlPrint<"//exported by quib and stuff\nVersion {\n\tFormatVersion 800,\n}\n">(out);
    MdlPrint<"\tModel \"Model\" {\n">(out);
    MdlPrint<"\tNumGeosets %d,\n">(out, msModel_GetMeshCount(model));
    MdlPrint<"\tNumGeosetAnims 1,\n">(out);
    MdlPrint<"\tNumBones %d,\n">(out, msModel_GetBoneCount(model));
    MdlPrint<"\tBlendTime 150,\n">(out);
    MdlPrint<"\tMinimumExtent { -200, -200, -200 },\n">(out);
    MdlPrint<"\tMaximumExtent { 200, 200, 200 },\n}\n">(out);
    MdlPrint<"////////////////////////////////////////////////////\n">(out);
    MdlPrint<"////////////////////////////////////////////////////\n\n\n\n">(out);
    MdlPrint<"PASTE HEADING HERE\n\n\n\n">(out);
    MdlPrint<"////////////////////////////////////////////////////\n">(out);
    MdlPrint<"////////////////////////////////////////////////////\n">(out);
}
