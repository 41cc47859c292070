#include "export_file.h"

#include "file_io.h"
#include "heading.h"
#include "plugin.h"
#include "safe_write.h"
#include "stand_in_ui.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The longest path the save dialog hands back (its buffer holds 256 bytes
// with the terminator).
constexpr size_t kDialogPathMax = 255;

// Runs the plug-in with the dialog answering `path`. A path longer than the
// dialog takes is answered relative to its folder, made current for the run.
bool RunPlugIn(PlugInBase& plugin, ModelHandle model, const std::string& path, int32_t& status)
{
    if (path.size() <= kDialogPathMax)
    {
        StandInUi_AnswerWithPath(path);
        status = plugin.Run(model);
        return true;
    }
    int here = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (here < 0)
        return false;
    bool ran = false;
    if (chdir(FolderOf(path).c_str()) == 0)
    {
        StandInUi_AnswerWithPath(path.substr(path.find_last_of('/') + 1));
        status = plugin.Run(model);
        int run_errno = errno;
        ran = fchdir(here) == 0;
        errno = run_errno;
    }
    close(here);
    return ran;
}

std::string Reason(const char* doing, int error_number)
{
    return std::string(doing) + ": " + std::strerror(error_number);
}

// Runs the plug-in into the file at `path`; false with `reason`.
bool ExportInto(PlugInBase& plugin, ModelHandle model, const std::string& path, std::string& reason)
{
    int32_t status = -1;
    errno = 0;
    bool ran = RunPlugIn(plugin, model, path, status);
    int run_errno = errno;
    if (!ran)
    {
        reason = Reason("cannot enter the output's folder", run_errno);
        return false;
    }
    if (status != 0)
    {
        reason = run_errno != 0 ? Reason("cannot write", run_errno) : "cannot write the file";
        return false;
    }
    return true;
}

// The `bytes` bytes of the open file `fd` into `text`.
bool ReadBack(int fd, uint64_t bytes, std::string& text, std::string& reason)
{
    text.resize(bytes);
    uint64_t done = 0;
    while (done < bytes)
    {
        ssize_t got = pread(fd, text.data() + done, bytes - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
        {
            reason = Reason("cannot read the export back", got == 0 ? EIO : errno);
            return false;
        }
        done += static_cast<uint64_t>(got);
    }
    return true;
}

// The size of the open file `fd`, which must not be empty.
bool ExportedSize(int fd, uint64_t& bytes, std::string& reason)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || info.st_size == 0)
    {
        reason = "the export wrote nothing";
        return false;
    }
    bytes = static_cast<uint64_t>(info.st_size);
    return true;
}

} // namespace

ExportFileResult ExportModelFile(ModelHandle model, const std::string& target,
                                 const std::string* heading, std::string* text)
{
    // Destroyed through its virtual destructor, as the host destroys it.
    std::unique_ptr<PlugInBase> plugin(CreatePlugIn());
    if (plugin == nullptr)
    {
        ExportFileResult result;
        result.message = target + ": not enough memory for the plug-in";
        return result;
    }
    int warnings_before = StandInUi_WarningCount();

    // A model without meshes: the run only warns. It is run all the same, with
    // the dialog cancelling, so that the warning is the plug-in's own.
    if (msModel_GetMeshCount(model) == 0)
    {
        StandInUi_AnswerWithCancel();
        plugin->Run(model);
        ExportFileResult result;
        result.status = StandInUi_WarningCount() != warnings_before ? ExportFileStatus::EmptyModel
                                                                    : ExportFileStatus::Failed;
        result.message = StandInUi_LastWarning().text;
        return result;
    }

    // Without a heading the plug-in writes the output's own temporary file;
    // with one, or into a device, it writes a scratch file that is then
    // spliced or copied in.
    auto write = [&](OutputSink& sink, std::string& reason)
    {
        if (heading == nullptr && !sink.temporary.empty())
            return ExportInto(*plugin, model, sink.temporary, reason) &&
                   ExportedSize(sink.fd, sink.bytes, reason);
        ScratchFile exported;
        if (!exported.Create(sink.scratch_folder, target))
        {
            reason = Reason(("cannot create a file in " + sink.scratch_folder).c_str(), errno);
            return false;
        }
        uint64_t size = 0;
        if (!ExportInto(*plugin, model, exported.path(), reason) ||
            !ExportedSize(exported.fd(), size, reason))
            return false;
        if (heading != nullptr)
            return SpliceHeading(exported.fd(), sink.fd, *heading, sink.bytes, reason);
        bool read_failed = false;
        if (!CopyToEnd(exported.fd(), sink.fd, sink.bytes, read_failed))
        {
            reason = Reason(read_failed ? "cannot read the export back" : "cannot write", errno);
            return false;
        }
        return true;
    };
    ExportFileResult result;
    if (text != nullptr)
    {
        // Written into a scratch file where the output's would be, and read
        // back whole for the caller.
        std::string folder = ScratchFolderFor(target);
        ScratchFile whole;
        if (!whole.Create(folder, target))
        {
            result.message =
                target + ": " + Reason(("cannot create a file in " + folder).c_str(), errno);
            return result;
        }
        OutputSink sink;
        sink.fd = whole.fd();
        sink.temporary = whole.path();
        sink.scratch_folder = folder;
        std::string reason;
        if (!write(sink, reason) || !ReadBack(whole.fd(), sink.bytes, *text, reason))
        {
            result.message = target + ": " + reason;
            return result;
        }
        result.bytes = sink.bytes;
        result.status = ExportFileStatus::Done;
        return result;
    }
    if (!WriteOutputFile(target, write, result.message, &result.bytes))
        return result;
    result.status = ExportFileStatus::Done;
    return result;
}

ExportFileResult WriteWholeFile(const std::string& target, const uint8_t* data, size_t size)
{
    ExportFileResult result;
    if (!WriteOutputFile(target, std::string_view(reinterpret_cast<const char*>(data), size),
                         result.message))
        return result;
    result.status = ExportFileStatus::Done;
    result.bytes = size;
    return result;
}
