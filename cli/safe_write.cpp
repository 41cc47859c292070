#include "safe_write.h"

#include "file_io.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr char kTemporarySuffix[] = ".tmp";
constexpr size_t kNameMax = 255; // bytes of one path component

// The temporary files that exist right now, for the signal handler: fixed
// buffers, since the handler may not allocate. Once the signals are handled
// they live in memory shared with the child processes that the program forks
// (import_budget.h), so that the parent can remove the files of a child that
// died.
constexpr int kTemporarySlots = 8;
struct TemporarySlots
{
    char paths[kTemporarySlots][PATH_MAX];
    volatile sig_atomic_t used[kTemporarySlots];
};
TemporarySlots g_own_slots;
TemporarySlots* g_slots = &g_own_slots;

void RemoveTemporariesAndDie(int signal_number)
{
    RemovePendingTemporaries();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

std::string LastComponent(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

std::string Reason(const char* doing, int error_number)
{
    return std::string(doing) + ": " + std::strerror(error_number);
}

// Where a write ends up.
struct Destination
{
    std::string path;    // what is replaced or written into
    std::string folder;  // where the temporary file is made
    bool stream = false; // an existing device, pipe or socket: written into
    mode_t mode = 0;     // the permissions the new file gets
};

bool Resolve(const std::string& target, Destination& destination, std::string& reason)
{
    struct stat info;
    if (stat(target.c_str(), &info) != 0)
    {
        if (errno != ENOENT)
        {
            reason = Reason("cannot write", errno);
            return false;
        }
        destination.path = target;
        destination.folder = FolderOf(target);
        destination.mode = NewFileMode();
        return true;
    }
    if (S_ISDIR(info.st_mode))
    {
        reason = "cannot write: is a folder";
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
        reason = Reason("cannot write", errno);
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
    // A plain write by another user clears these; so does a replacement.
    destination.mode = info.st_mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID);
    return true;
}

bool WriteIntoStream(const Destination& destination, const OutputWriter& write, std::string& reason,
                     uint64_t& bytes)
{
    OutputSink sink;
    sink.fd = open(destination.path.c_str(), O_WRONLY | O_CLOEXEC);
    if (sink.fd < 0)
    {
        reason = Reason("cannot open", errno);
        return false;
    }
    sink.scratch_folder = destination.folder;
    bool written = write(sink, reason);
    int close_errno = close(sink.fd) == 0 ? 0 : errno;
    if (written && close_errno != 0)
    {
        reason = Reason("cannot write", close_errno);
        return false;
    }
    bytes = sink.bytes;
    return written;
}

bool ReplaceByRename(const Destination& destination, const std::string& target,
                     const OutputWriter& write, std::string& reason, uint64_t& bytes)
{
    ScratchFile file;
    if (!file.Create(destination.folder, target))
    {
        reason = Reason(("cannot create a file in " + destination.folder).c_str(), errno);
        return false;
    }
    OutputSink sink;
    sink.fd = file.fd();
    sink.temporary = file.path();
    sink.scratch_folder = destination.folder;
    if (!write(sink, reason))
        return false;
    if (fchmod(file.fd(), destination.mode) != 0 || fsync(file.fd()) != 0)
    {
        reason = Reason("cannot write", errno);
        return false;
    }
    if (rename(file.path().c_str(), destination.path.c_str()) != 0)
    {
        reason = Reason("cannot put the file in place", errno);
        return false;
    }
    file.Kept();
    // The rename itself reaches the disk with the folder's entry.
    int folder = open(destination.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0)
    {
        fsync(folder);
        close(folder);
    }
    bytes = sink.bytes;
    return true;
}

// The identity of `path`: the file's, or its folder's with its name when it
// does not exist yet. False when neither can be known (the folder is
// missing): such a path cannot be written, and the write says why. `stream`
// tells an existing device, pipe or socket.
bool IdentityOf(const std::string& path, dev_t& device, ino_t& inode, std::string& name,
                bool& stream)
{
    struct stat info;
    stream = false;
    if (stat(path.c_str(), &info) == 0)
    {
        stream = !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
        device = info.st_dev;
        inode = info.st_ino;
        name.clear();
        return true;
    }
    if (errno != ENOENT)
        return false;
    name = LastComponent(path);
    if (name.empty() || name == "." || name == "..")
        return false;
    if (stat(FolderOf(path).c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    device = info.st_dev;
    inode = info.st_ino;
    return true;
}

} // namespace

std::string TemporaryNamePattern(const std::string& output)
{
    constexpr size_t kAdded = 1 + 7 + sizeof kTemporarySuffix - 1; // "." ".XXXXXX" ".tmp"
    std::string name = LastComponent(output);
    if (name.size() > kNameMax - kAdded)
        name.resize(kNameMax - kAdded);
    return "." + name + ".XXXXXX" + kTemporarySuffix;
}

ScratchFile::~ScratchFile()
{
    Remove();
}

bool ScratchFile::Create(const std::string& folder, const std::string& output)
{
    std::string pattern = (folder == "/" ? "" : folder) + "/" + TemporaryNamePattern(output);
    if (pattern.size() >= PATH_MAX)
    {
        errno = ENAMETOOLONG;
        return false;
    }
    for (slot_ = 0; slot_ < kTemporarySlots && g_slots->used[slot_]; ++slot_)
    {
    }
    if (slot_ == kTemporarySlots)
    {
        slot_ = -1;
        errno = EMFILE;
        return false;
    }
    std::memcpy(g_slots->paths[slot_], pattern.c_str(), pattern.size() + 1);
    // The name is registered before it exists, so that no signal can come
    // between its creation and its registration.
    g_slots->used[slot_] = 1;
    fd_ =
        mkostemps(g_slots->paths[slot_], static_cast<int>(sizeof kTemporarySuffix - 1), O_CLOEXEC);
    if (fd_ < 0)
    {
        g_slots->used[slot_] = 0;
        slot_ = -1;
        return false;
    }
    path_ = g_slots->paths[slot_];
    return true;
}

void ScratchFile::Kept()
{
    Forget();
    path_.clear();
}

void ScratchFile::Remove()
{
    if (!path_.empty())
        unlink(path_.c_str());
    Forget();
    path_.clear();
}

void ScratchFile::Forget()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (slot_ >= 0)
        g_slots->used[slot_] = 0;
    slot_ = -1;
}

bool WriteOutputFile(const std::string& path, const OutputWriter& write, std::string& error,
                     uint64_t* bytes)
{
    Destination destination;
    std::string reason;
    uint64_t written = 0;
    bool done = Resolve(path, destination, reason) &&
                (destination.stream ? WriteIntoStream(destination, write, reason, written)
                                    : ReplaceByRename(destination, path, write, reason, written));
    if (!done)
    {
        error = path + ": " + reason;
        return false;
    }
    if (bytes != nullptr)
        *bytes = written;
    return true;
}

bool WriteOutputFile(const std::string& path, std::string_view contents, std::string& error)
{
    return WriteOutputFile(
        path,
        [contents](OutputSink& sink, std::string& reason)
        {
            if (!WriteAll(sink.fd, contents.data(), contents.size()))
            {
                reason = Reason("cannot write", errno);
                return false;
            }
            sink.bytes = contents.size();
            return true;
        },
        error);
}

std::string ScratchFolderFor(const std::string& path)
{
    Destination destination;
    std::string reason;
    return Resolve(path, destination, reason) ? destination.folder : FolderOf(path);
}

void InstallWriteSignalHandling()
{
    if (g_slots == &g_own_slots)
    {
        void* shared = mmap(nullptr, sizeof(TemporarySlots), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared != MAP_FAILED)
            g_slots = static_cast<TemporarySlots*>(shared); // zero-filled: no file yet
    }
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGXCPU})
        std::signal(signal_number, RemoveTemporariesAndDie);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void RemovePendingTemporaries()
{
    for (int i = 0; i < kTemporarySlots; ++i)
        if (g_slots->used[i])
            unlink(g_slots->paths[i]);
}

void RunFiles::AddInput(const std::string& path, const std::string& what)
{
    Entry entry{0, 0, "", path, what, false};
    bool stream = false;
    if (IdentityOf(path, entry.device, entry.inode, entry.name, stream))
        entries_.push_back(entry);
}

bool RunFiles::AddOutput(const std::string& path, const std::string& what, std::string& error,
                         const std::string& own_input)
{
    Entry entry{0, 0, "", path, what, true};
    bool stream = false;
    // Writing into a device or pipe twice (/dev/null, /dev/stdout) replaces
    // nothing.
    if (!IdentityOf(path, entry.device, entry.inode, entry.name, stream) || stream)
        return true;
    for (const Entry& other : entries_)
    {
        if (other.device != entry.device || other.inode != entry.inode || other.name != entry.name)
            continue;
        if (!other.output && other.path == own_input)
            continue;
        error = what + " is the same file as " + other.what;
        return false;
    }
    entries_.push_back(entry);
    return true;
}
