#include "export_file.h"

#include "file_io.h"
#include "heading.h"
#include "plugin.h"
#include "stand_in_ui.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
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
constexpr char kTemporaryName[] = ".mdlexport-XXXXXX";

// The temporary files that exist right now, for the signal handler: fixed
// buffers, since the handler may not allocate.
constexpr int kTemporarySlots = 2;
char g_temporary_paths[kTemporarySlots][PATH_MAX];
volatile sig_atomic_t g_temporary_used[kTemporarySlots];

void RemoveTemporariesAndDie(int signal_number)
{
    for (int i = 0; i < kTemporarySlots; ++i)
        if (g_temporary_used[i])
            unlink(g_temporary_paths[i]);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// A temporary file that removes itself unless it was renamed into place.
class TemporaryFile
{
  public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        Remove();
    }

    // Creates the file in `folder`; false with errno set.
    bool Create(const std::string& folder)
    {
        std::string pattern = (folder == "/" ? "" : folder) + "/" + kTemporaryName;
        if (pattern.size() >= PATH_MAX)
        {
            errno = ENAMETOOLONG;
            return false;
        }
        for (slot_ = 0; slot_ < kTemporarySlots && g_temporary_used[slot_]; ++slot_)
        {
        }
        if (slot_ == kTemporarySlots)
        {
            errno = EMFILE;
            return false;
        }
        std::memcpy(g_temporary_paths[slot_], pattern.c_str(), pattern.size() + 1);
        // The name is registered before it exists, so that no signal can
        // come between its creation and its registration.
        g_temporary_used[slot_] = 1;
        fd_ = mkostemp(g_temporary_paths[slot_], O_CLOEXEC);
        if (fd_ < 0)
        {
            g_temporary_used[slot_] = 0;
            return false;
        }
        path_ = g_temporary_paths[slot_];
        return true;
    }

    const std::string& path() const
    {
        return path_;
    }
    int fd() const
    {
        return fd_;
    }

    // The file now has its final name: it is no longer ours to remove.
    void Kept()
    {
        Forget();
        path_.clear();
    }

    void Remove()
    {
        if (!path_.empty())
            unlink(path_.c_str());
        Forget();
        path_.clear();
    }

  private:
    void Forget()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
        if (!path_.empty())
            g_temporary_used[slot_] = 0;
    }

    std::string path_;
    int fd_ = -1;
    int slot_ = 0;
};

// Where the export ends up.
struct Destination
{
    std::string path;    // what is replaced or written into
    std::string folder;  // where the temporary files are made
    bool stream = false; // an existing device, pipe or socket: written into
    mode_t mode = 0;     // the permissions the new file gets
};

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string SystemTemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && folder[0] != '\0' ? folder : "/tmp";
}

mode_t NewFileMode()
{
    mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

bool Resolve(const std::string& target, Destination& destination, std::string& error)
{
    struct stat info;
    if (stat(target.c_str(), &info) != 0)
    {
        if (errno != ENOENT)
        {
            error = std::strerror(errno);
            return false;
        }
        destination.path = target;
        destination.folder = FolderOf(target);
        destination.mode = NewFileMode();
        return true;
    }
    if (S_ISDIR(info.st_mode))
    {
        error = "is a folder";
        return false;
    }
    if (!S_ISREG(info.st_mode))
    {
        destination.path = target;
        destination.folder = SystemTemporaryFolder();
        destination.stream = true;
        return true;
    }
    // A file the user may not write is not replaced behind their back.
    if (access(target.c_str(), W_OK) != 0)
    {
        error = std::strerror(errno);
        return false;
    }
    destination.path = target;
    struct stat link;
    if (lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
    {
        char* real = realpath(target.c_str(), nullptr);
        if (real != nullptr)
        {
            destination.path = real;
            std::free(real);
        }
    }
    destination.folder = FolderOf(destination.path);
    destination.mode = info.st_mode & 07777;
    return true;
}

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

ExportFileResult Failed(const std::string& target, const std::string& reason)
{
    ExportFileResult result;
    result.status = ExportFileStatus::Failed;
    result.message = target + ": " + reason;
    return result;
}

ExportFileResult Done(uint64_t bytes)
{
    ExportFileResult result;
    result.status = ExportFileStatus::Done;
    result.bytes = bytes;
    return result;
}

std::string Reason(const char* doing, int error_number)
{
    return std::string(doing) + ": " + std::strerror(error_number);
}

// Copies the finished export in `file` into the existing device, pipe or
// socket of `destination`.
ExportFileResult CopyIntoStream(const TemporaryFile& file, const Destination& destination,
                                const std::string& target)
{
    int out = open(destination.path.c_str(), O_WRONLY | O_CLOEXEC);
    if (out < 0)
        return Failed(target, Reason("cannot open", errno));
    uint64_t copied = 0;
    bool read_failed = false;
    bool copied_all =
        lseek(file.fd(), 0, SEEK_SET) == 0 && CopyToEnd(file.fd(), out, copied, read_failed);
    int copy_errno = errno;
    bool closed = close(out) == 0;
    if (!copied_all)
        return Failed(target, Reason(read_failed ? "cannot read the export back" : "cannot write",
                                     copy_errno));
    if (!closed)
        return Failed(target, Reason("cannot write", errno));
    return Done(copied);
}

// Puts the finished export in `file` (`bytes` long) in place of
// `destination` in one step, flushed to disk with the folder's entry.
ExportFileResult ReplaceByRename(TemporaryFile& file, const Destination& destination,
                                 const std::string& target, uint64_t bytes)
{
    if (fchmod(file.fd(), destination.mode) != 0 || fsync(file.fd()) != 0)
        return Failed(target, Reason("cannot write", errno));
    if (rename(file.path().c_str(), destination.path.c_str()) != 0)
        return Failed(target, Reason("cannot put the file in place", errno));
    file.Kept();
    // The rename itself reaches the disk with the folder's entry.
    int folder = open(destination.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0)
    {
        fsync(folder);
        close(folder);
    }
    return Done(bytes);
}

} // namespace

ExportFileResult ExportModelFile(ModelHandle model, const std::string& target,
                                 const std::string* heading, std::string* text)
{
    // Destroyed through its virtual destructor, as the host destroys it.
    std::unique_ptr<PlugInBase> plugin(CreatePlugIn());
    if (plugin == nullptr)
        return Failed(target, "not enough memory for the plug-in");
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

    Destination destination;
    std::string error;
    TemporaryFile exported;
    if (!Resolve(target, destination, error))
        return Failed(target, "cannot write: " + error);
    if (!exported.Create(destination.folder))
    {
        int create_errno = errno;
        return Failed(target, "cannot create a file in " + destination.folder + ": " +
                                  std::strerror(create_errno));
    }

    int32_t status = -1;
    errno = 0;
    bool ran = RunPlugIn(*plugin, model, exported.path(), status);
    int run_errno = errno;
    if (!ran)
        return Failed(target, Reason("cannot enter the output's folder", run_errno));
    if (status != 0)
        return Failed(target, run_errno != 0 ? Reason("cannot write", run_errno)
                                             : std::string("cannot write the file"));

    struct stat info;
    if (fstat(exported.fd(), &info) != 0 || info.st_size == 0)
        return Failed(target, "the export wrote nothing");
    uint64_t bytes = static_cast<uint64_t>(info.st_size);

    TemporaryFile spliced;
    TemporaryFile* result_file = &exported;
    if (heading != nullptr)
    {
        if (!spliced.Create(destination.folder))
            return Failed(target,
                          Reason(("cannot create a file in " + destination.folder).c_str(), errno));
        bytes = 0;
        if (!SpliceHeading(exported.fd(), spliced.fd(), *heading, bytes, error))
            return Failed(target, error);
        exported.Remove();
        result_file = &spliced;
    }

    if (text != nullptr)
    {
        // Read back whole for the caller, who writes it in another form.
        text->resize(bytes);
        uint64_t done = 0;
        while (done < bytes)
        {
            ssize_t got = pread(result_file->fd(), text->data() + done, bytes - done,
                                static_cast<off_t>(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return Failed(target, Reason("cannot read the export back", errno));
            done += static_cast<uint64_t>(got);
        }
        return Done(bytes);
    }
    if (destination.stream)
        return CopyIntoStream(*result_file, destination, target);
    return ReplaceByRename(*result_file, destination, target, bytes);
}

ExportFileResult WriteWholeFile(const std::string& target, const uint8_t* data, size_t size)
{
    Destination destination;
    std::string error;
    TemporaryFile written;
    if (!Resolve(target, destination, error))
        return Failed(target, "cannot write: " + error);
    if (!written.Create(destination.folder))
    {
        int create_errno = errno;
        return Failed(target, "cannot create a file in " + destination.folder + ": " +
                                  std::strerror(create_errno));
    }
    if (!WriteAll(written.fd(), reinterpret_cast<const char*>(data), size))
        return Failed(target, Reason("cannot write", errno));
    if (destination.stream)
        return CopyIntoStream(written, destination, target);
    return ReplaceByRename(written, destination, target, size);
}

void RemoveTemporaryFilesOnSignals()
{
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(signal_number, RemoveTemporariesAndDie);
}
