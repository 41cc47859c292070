// Whole runs where the world fails: paths that cannot be opened, a disk that
// fills at every byte, a close that fails after a partial write, scratch memory
// refused late in the run. Whatever fails, the run returns -1, leaves no file
// under the chosen name, releases everything it took, and destroys the model
// exactly once if it opened the file (not at all if it could not).
#include "stand_in_ui.h"
#include "test_support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

// Two meshes and three bones in a chain, with keys on both tracks: every
// writer and every scratch array of a run has work to do.
void BuildTwoMeshesThreeBones(TestModel& model)
{
    MeshHandle first = model.AddMesh();
    StandIn_AddVertex(first, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(first, 1, 0, 0, 1, 0, 1);
    StandIn_AddVertex(first, 0, 1, 0, 0, 1, 2);
    StandIn_AddTriangle(first, 0, 1, 2);
    MeshHandle second = model.AddMesh();
    StandIn_AddVertex(second, 0, 0, 1, 0, 0, 0);
    StandIn_AddVertex(second, 2, 0, 1, 1, 0, 0);
    StandIn_AddVertex(second, 0, 2, 1, 0, 1, 1);
    StandIn_AddVertex(second, 2, 2, 1, 1, 1, 1);
    StandIn_AddTriangle(second, 0, 1, 2);
    StandIn_AddTriangle(second, 1, 3, 2);
    BoneHandle root = model.AddBone("Root", "", 0, 0, 1);
    StandIn_AddPositionKey(root, 0.0f, 0, 0, 0);
    StandIn_AddPositionKey(root, 24.0f, 0, 0, 1);
    StandIn_AddRotationKey(root, 0.0f, 0, 0, 0);
    BoneHandle arm = model.AddBone("Arm", "Root", 0, 1, 0);
    StandIn_AddRotationKey(arm, 12.0f, 0.5f, 0, 0);
    StandIn_AddRotationKey(arm, 36.0f, 0, 0.5f, 0);
    BoneHandle hand = model.AddBone("Hand", "Arm", 0, 1, 0);
    StandIn_AddPositionKey(hand, 6.0f, 0.25f, 0, 0);
}

// Seams that fail on purpose and count what the run took. Plain globals: a
// test sets them, runs, reads.
constexpr size_t kNoLimit = static_cast<size_t>(-1);
size_t g_write_budget = kNoLimit; // bytes the file takes before the disk is "full"
bool g_close_fails = false;
int g_closes = 0;
int g_refused_allocation = -1; // the index of the allocation to refuse, or -1
int g_allocations = 0;
int g_allocations_live = 0;
std::vector<size_t> g_allocation_sizes;

size_t WriteWithBudget(const void* data, size_t size, FILE* file)
{
    size_t granted = size < g_write_budget ? size : g_write_budget;
    if (g_write_budget != kNoLimit)
        g_write_budget -= granted;
    return std::fwrite(data, 1, granted, file);
}

int CloseCounted(FILE* file)
{
    ++g_closes;
    int result = std::fclose(file);
    return g_close_fails ? EOF : result;
}

void* AllocateCounted(size_t bytes)
{
    int index = g_allocations++;
    g_allocation_sizes.push_back(bytes);
    if (index == g_refused_allocation)
        return nullptr;
    ++g_allocations_live;
    return std::malloc(bytes);
}

void ReleaseCounted(void* memory)
{
    --g_allocations_live;
    std::free(memory);
}

ExportSeams FailingSeams()
{
    ExportSeams seams = DefaultExportSeams();
    seams.write_file = WriteWithBudget;
    seams.close_file = CloseCounted;
    seams.allocate = AllocateCounted;
    seams.release = ReleaseCounted;
    return seams;
}

class FaultInjection : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        StandInUi_Reset();
        g_write_budget = kNoLimit;
        g_close_fails = false;
        g_closes = 0;
        g_refused_allocation = -1;
        g_allocations = 0;
        g_allocations_live = 0;
        g_allocation_sizes.clear();
    }

    // One run of a fresh two-mesh model into `path` through the failing seams.
    ExportStatus Run(const std::string& path, TestModel& model)
    {
        SetUpSeamsOnly();
        StandInUi_AnswerWithPath(path);
        return ExportRunWith(model.handle(), FailingSeams());
    }

    void SetUpSeamsOnly()
    {
        g_closes = 0;
        g_allocations = 0;
        g_allocations_live = 0;
        g_allocation_sizes.clear();
    }

    // The complete file of the two-mesh model, as a run without faults writes it.
    std::string CompleteFile()
    {
        TestModel model;
        BuildTwoMeshesThreeBones(model);
        std::string path = dir.Path("complete.mdl");
        EXPECT_EQ(RunInto(model.handle(), path), 0);
        return ReadFile(path);
    }

    TempDir dir;
};

// Makes a file or folder read-only for this process, root included: by its
// permission bits for anyone else, by the immutable attribute for root, who
// ignores permission bits. Undone when it goes out of scope.
class ReadOnly
{
  public:
    explicit ReadOnly(const std::string& path) : path_(path)
    {
        struct stat info;
        if (stat(path.c_str(), &info) != 0)
        {
            why_not_ = "cannot stat " + path;
            return;
        }
        mode_ = info.st_mode & 07777;
        if (geteuid() != 0)
        {
            applied_ = chmod(path.c_str(), S_ISDIR(info.st_mode) ? 0555 : 0444) == 0;
            if (!applied_)
                why_not_ = std::string("chmod: ") + std::strerror(errno);
            return;
        }
        int flags = 0;
        int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0)
        {
            flags |= FS_IMMUTABLE_FL;
            immutable_ = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (fd >= 0)
            close(fd);
        applied_ = immutable_;
        if (!applied_)
            why_not_ = "running as root, which ignores permission bits, on a file system that "
                       "does not take the immutable attribute";
    }
    ~ReadOnly()
    {
        if (immutable_)
        {
            int flags = 0;
            int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
            if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0)
            {
                flags &= ~FS_IMMUTABLE_FL;
                ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0)
                close(fd);
        }
        else if (applied_)
        {
            chmod(path_.c_str(), mode_);
        }
    }
    ReadOnly(const ReadOnly&) = delete;
    ReadOnly& operator=(const ReadOnly&) = delete;

    bool applied() const
    {
        return applied_;
    }
    const std::string& why_not() const
    {
        return why_not_;
    }

  private:
    std::string path_;
    mode_t mode_ = 0;
    bool applied_ = false;
    bool immutable_ = false;
    std::string why_not_;
};

void WriteText(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

} // namespace

// -- Paths that cannot be opened: -1, the model stays the host's, nothing is
//    created and nothing that was there changes.

TEST_F(FaultInjection, PathThatIsADirectory)
{
    std::filesystem::create_directory(dir.Path("folder.mdl"));
    TestModel model;
    BuildTwoMeshesThreeBones(model);
    EXPECT_EQ(Run(dir.Path("folder.mdl"), model), -1);
    EXPECT_EQ(model.destroy_count(), 0);
    EXPECT_EQ(g_allocations, 0);
    EXPECT_EQ(g_closes, 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path("folder.mdl")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path("folder.mdl")));
}

TEST_F(FaultInjection, PathInAMissingFolder)
{
    TestModel model;
    BuildTwoMeshesThreeBones(model);
    EXPECT_EQ(Run(dir.Path("missing/out.mdl"), model), -1);
    EXPECT_EQ(model.destroy_count(), 0);
    EXPECT_EQ(g_allocations, 0);
    EXPECT_FALSE(FileExists(dir.Path("missing")));
}

TEST_F(FaultInjection, ReadOnlyFileKeepsItsBytes)
{
    std::string path = dir.Path("locked.mdl");
    WriteText(path, "the user's older file");
    ReadOnly locked(path);
    if (!locked.applied())
        GTEST_SKIP() << locked.why_not();
    TestModel model;
    BuildTwoMeshesThreeBones(model);
    EXPECT_EQ(Run(path, model), -1);
    EXPECT_EQ(model.destroy_count(), 0);
    EXPECT_EQ(ReadFile(path), "the user's older file");
}

TEST_F(FaultInjection, FileInAReadOnlyFolder)
{
    std::filesystem::create_directory(dir.Path("locked"));
    std::string path = dir.Path("locked/out.mdl");
    TestModel model;
    BuildTwoMeshesThreeBones(model);
    {
        ReadOnly locked(dir.Path("locked"));
        if (!locked.applied())
            GTEST_SKIP() << locked.why_not();
        EXPECT_EQ(Run(path, model), -1);
    }
    EXPECT_EQ(model.destroy_count(), 0);
    EXPECT_FALSE(FileExists(path));
}

// -- The longest path the dialog's 256-byte buffer can hold.

TEST_F(FaultInjection, PathOf255Characters)
{
    std::string folder = dir.Path("");
    ASSERT_LT(folder.size(), 200u) << "the temporary folder's path leaves no room for the test";
    std::string path = folder + std::string(255 - folder.size() - 4, 'n') + ".mdl";
    ASSERT_EQ(path.size(), 255u);
    std::string expected = CompleteFile();
    TestModel model;
    BuildTwoMeshesThreeBones(model);
    ASSERT_EQ(Run(path, model), 0) << "the file system refused a 255-character path";
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(model.destroy_count(), 1);
}

namespace
{

std::string g_unterminated_answer; // 256 bytes without a NUL

bool AnswerUnterminated(SaveDialogRequest& request)
{
    std::memcpy(request.file, g_unterminated_answer.data(), request.file_capacity);
    return true;
}

} // namespace

TEST_F(FaultInjection, DialogThatFillsTheWholeBufferIsCutAt255)
{
    // A misbehaving dialog leaves no terminator: the run reads the first 255
    // bytes as the path and nothing past the buffer.
    std::string folder = dir.Path("");
    std::string path = folder + std::string(255 - folder.size(), 'p');
    g_unterminated_answer = path + "X";
    ASSERT_EQ(g_unterminated_answer.size(), 256u);
    ExportSeams seams = FailingSeams();
    seams.ask_save_path = AnswerUnterminated;
    TestModel model;
    BuildTwoMeshesThreeBones(model);
    EXPECT_EQ(ExportRunWith(model.handle(), seams), 0);
    EXPECT_EQ(ReadFile(path), CompleteFile());
    EXPECT_FALSE(FileExists(path + "X"));
}

// -- The disk fills: after N bytes, for every N short of the whole file.

TEST_F(FaultInjection, DiskFillsAtEveryByte)
{
    const std::string expected = CompleteFile();
    ASSERT_GT(expected.size(), 2000u); // a file with everything in it
    std::string path = dir.Path("full.mdl");
    for (bool close_fails : {false, true})
    {
        for (size_t budget = 0; budget < expected.size(); ++budget)
        {
            TestModel model;
            BuildTwoMeshesThreeBones(model);
            g_write_budget = budget;
            g_close_fails = close_fails;
            ASSERT_EQ(Run(path, model), -1) << budget << (close_fails ? ", close fails" : "");
            ASSERT_FALSE(FileExists(path)) << budget;
            ASSERT_EQ(model.destroy_count(), 1) << budget;
            ASSERT_EQ(g_closes, 1) << budget;
            ASSERT_EQ(g_allocations_live, 0) << budget;
        }
    }
    TestModel model;
    BuildTwoMeshesThreeBones(model);
    g_write_budget = expected.size(); // exactly enough
    g_close_fails = false;
    EXPECT_EQ(Run(path, model), 0);
    EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(FaultInjection, DiskFillsAtEachBufferBoundaryOfALargeFile)
{
    // Enough vertices for a file of several stream buffers, so that the disk
    // fills in a later write call as well as in the first.
    auto build = [](TestModel& model)
    {
        MeshHandle mesh = model.AddMesh();
        for (int v = 0; v < 3000; ++v)
            StandIn_AddVertex(mesh, static_cast<float>(v), 0.5f, -0.25f, 0, 1, 0);
        for (uint16_t t = 0; t + 2 < 3000; t = static_cast<uint16_t>(t + 3))
            StandIn_AddTriangle(mesh, t, static_cast<uint16_t>(t + 1),
                                static_cast<uint16_t>(t + 2));
        model.AddBone("Root", "");
    };
    std::string path = dir.Path("large.mdl");
    TestModel reference;
    build(reference);
    ASSERT_EQ(RunInto(reference.handle(), path), 0);
    const size_t size = ReadFile(path).size();
    ASSERT_GT(size, 3 * kMdlStreamBufferSize);
    std::vector<size_t> budgets;
    for (size_t boundary = kMdlStreamBufferSize; boundary < size; boundary += kMdlStreamBufferSize)
    {
        budgets.insert(budgets.end(), {boundary - 1, boundary, boundary + 1});
    }
    budgets.push_back(size - 1);
    for (size_t budget : budgets)
    {
        TestModel model;
        build(model);
        g_write_budget = budget;
        ASSERT_EQ(Run(path, model), -1) << budget;
        ASSERT_FALSE(FileExists(path)) << budget;
        ASSERT_EQ(model.destroy_count(), 1) << budget;
        ASSERT_EQ(g_allocations_live, 0) << budget;
    }
}

TEST_F(FaultInjection, CloseFailsAfterACompleteWrite)
{
    TestModel model;
    BuildTwoMeshesThreeBones(model);
    g_close_fails = true;
    EXPECT_EQ(Run(dir.Path("close.mdl"), model), -1);
    EXPECT_FALSE(FileExists(dir.Path("close.mdl")));
    EXPECT_EQ(model.destroy_count(), 1);
    EXPECT_EQ(g_closes, 1);
}

// -- Scratch memory refused, early or late.

TEST_F(FaultInjection, LateAllocationsRefused)
{
    TestModel counted;
    BuildTwoMeshesThreeBones(counted);
    ASSERT_EQ(Run(dir.Path("counted.mdl"), counted), 0);
    const std::vector<size_t> sizes = g_allocation_sizes;
    // The stream first; then per mesh, in mesh order, one block of positions
    // and normals (3 and 4 vertices of 2 x 12 bytes) and one of triangles (1
    // and 2 of 6 bytes); then the parent table (3 bones of 4 bytes).
    ASSERT_GE(sizes.size(), 6u);
    EXPECT_EQ(sizes[1], 72u);
    EXPECT_EQ(sizes[2], 6u);
    EXPECT_EQ(sizes[3], 96u); // the second mesh's positions and normals
    EXPECT_EQ(sizes[4], 12u); // and its triangles
    EXPECT_EQ(sizes[5], 12u); // the parent table

    std::string path = dir.Path("memory.mdl");
    for (int refused = 0; refused < static_cast<int>(sizes.size()); ++refused)
    {
        TestModel model;
        BuildTwoMeshesThreeBones(model);
        g_refused_allocation = refused;
        ASSERT_EQ(Run(path, model), -1) << "allocation " << refused;
        ASSERT_FALSE(FileExists(path)) << refused;
        ASSERT_EQ(model.destroy_count(), 1) << refused;
        ASSERT_EQ(g_closes, 1) << refused;
        ASSERT_EQ(g_allocations_live, 0) << refused;
    }
}
