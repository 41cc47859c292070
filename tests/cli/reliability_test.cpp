// The exporter at the edges, as a hostile user meets it: outputs that are
// inputs or each other through other paths, devices and links as outputs,
// limits on file size, memory and time, a closed standard error, a reader
// that never ends. Each run states its exit status and standard error
// exactly, and every file the run does not write is left as it was.
#include "run_binary.h"
#include "test_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const std::string kOneTriangle = R"({"meshes": [{"positions": [[0, 0, 0], [1, 0, 0], [0, 1, 0]],
                                   "triangles": [[0, 1, 2]]}],
                       "bones": [{"name": "B"}]})";

// Every entry under `root`: path -> mode and contents (a link's target).
std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& under = "")
{
    std::map<std::string, std::string> entries;
    for (const std::string& name : ListFolder(root + "/" + under))
    {
        std::string path = under + name;
        std::string full = root + "/" + path;
        struct stat info;
        lstat(full.c_str(), &info);
        std::string mode = std::to_string(info.st_mode) + ":";
        if (S_ISLNK(info.st_mode))
        {
            char target[4096] = {};
            entries[path] = mode + std::string(target, readlink(full.c_str(), target, 4095));
        }
        else if (S_ISDIR(info.st_mode))
        {
            entries[path] = mode;
            entries.merge(Snapshot(root, path + "/"));
        }
        else
            entries[path] = mode + ReadFile(full);
    }
    return entries;
}

// Debian's FBX test scene with the first key of every animation curve set to
// -1e35: a rotation curve so keyed makes the FBX reader insert keys without
// end. The curves' values are raw little-endian floats after the property
// "KeyValueFloat" ('f', count, encoding 0, byte length).
std::string RunawayFbx()
{
    std::string fbx = ReadFile("/usr/share/assimp/models/FBX/animation_with_skeleton.fbx");
    const std::string key = "KeyValueFloat";
    const float huge = -1e35f;
    int curves = 0;
    for (size_t at = fbx.find(key); at != std::string::npos; at = fbx.find(key, at + 1))
    {
        size_t header = at + key.size();
        uint32_t count, encoding;
        std::memcpy(&count, &fbx[header + 1], 4);
        std::memcpy(&encoding, &fbx[header + 5], 4);
        if (fbx[header] != 'f' || encoding != 0 || count == 0)
            continue;
        std::memcpy(&fbx[header + 13], &huge, 4);
        ++curves;
    }
    EXPECT_GT(curves, 20);
    return fbx;
}

struct Case
{
    const char* what;
    // Makes the files of the run in the test's folder (`dir`).
    void (*setup)(const TempDir& dir);
    std::vector<std::string> arguments;
    int exit_code;
    std::string err;
    // The files the run writes; every other file stays as it was.
    std::vector<std::string> written = {};
    BinaryRunOptions options = {};
};

void OneTriangle(const TempDir& dir)
{
    WriteFile(dir.Path("one.json"), kOneTriangle);
    WriteFile(dir.Path("d.json"), "old dump");
    WriteFile(dir.Path("one.mdl"), "old model");
    mkdir(dir.Path("real").c_str(), 0755);
    WriteFile(dir.Path("real/a.json"), kOneTriangle);
    WriteFile(dir.Path("real/a"), kOneTriangle);
    WriteFile(dir.Path("real/b.json"), kOneTriangle);
    WriteFile(dir.Path("real/b.mdl"), kOneTriangle); // a description, whatever its name
    symlink("real", dir.Path("alias").c_str());
}

void WithRunawayFbx(const TempDir& dir)
{
    OneTriangle(dir);
    WriteFile(dir.Path("runaway.fbx"), RunawayFbx());
}

void WithUnreadableNames(const TempDir& dir)
{
    WriteFile(dir.Path("names.json"),
              R"({"meshes": [{"positions": [[0, 0, 0], [1, 0, 0], [0, 1, 0]],
                              "triangles": [[0, 1, 2]]}],
                  "bones": [{"name": "arm\\"}, {"name": "say \"hi\"", "parent": "arm\\"}]})");
}

BinaryRunOptions SizeLimit(long bytes, bool signal)
{
    BinaryRunOptions options = {};
    options.file_size_limit = bytes;
    options.file_size_signal = signal;
    return options;
}

BinaryRunOptions ClosedStderr()
{
    BinaryRunOptions options = {};
    options.closed_stderr = true;
    return options;
}

const Case kCases[] = {
    // 1: --dump-json is checked and written as every output is.
    {"the dump names the input",
     OneTriangle,
     {"one.json", "--dump-json", "one.json"},
     2,
     "mdlexport: the --dump-json file one.json is the same file as the input one.json\n"},
    {"the dump names the output",
     OneTriangle,
     {"one.json", "-o", "x.mdl", "--dump-json", "x.mdl"},
     2,
     "mdlexport: the --dump-json file x.mdl is the same file as the output x.mdl of one.json\n"},
    {"the dump names the input through a linked folder",
     OneTriangle,
     {"real/a.json", "-o", "x.mdl", "--dump-json", "alias/a.json"},
     2,
     "mdlexport: the --dump-json file alias/a.json is the same file as the input real/a.json\n"},
    {"the dump is a device that takes nothing",
     OneTriangle,
     {"one.json", "--dump-json", "/dev/full"},
     3,
     "mdlexport: /dev/full: cannot write: No space left on device\n"},
    {"the dump does not fit",
     OneTriangle,
     {"one.json", "--dump-json", "d.json"},
     3,
     "mdlexport: d.json: cannot write: File too large\n",
     {},
     SizeLimit(64, false)},
    {"a device named twice is written into twice",
     OneTriangle,
     {"-q", "one.json", "-o", "/dev/null", "--dump-json", "/dev/null"},
     0,
     ""},
    // 2: a reader that inserts keys without end meets its memory budget, or
    // its processor time; the batch goes on.
    {"a runaway FBX reader, memory",
     WithRunawayFbx,
     {"-q", "runaway.fbx", "one.json", "--import-memory", "128", "-o", "real/"},
     2,
     "mdlexport: runaway.fbx: the importer exceeded its memory budget of 128 MB (raise it "
     "with --import-memory MB)\n",
     {"real/one.mdl"}},
    {"a runaway FBX reader, time",
     WithRunawayFbx,
     {"-q", "runaway.fbx", "--import-memory", "100000", "--import-seconds", "1"},
     2,
     "mdlexport: runaway.fbx: the importer exceeded its time budget of 1 s (raise it with "
     "--import-seconds S)\n"},
    // 3: a heading that never ends.
    {"the heading is /dev/zero",
     OneTriangle,
     {"one.json", "--heading", "/dev/zero"},
     2,
     "mdlexport: /dev/zero: the file is larger than 64 MiB, more than it may hold\n"},
    // 4: the plug-in writes a description's names as they are, with a warning.
    {"names MDL readers cannot read",
     WithUnreadableNames,
     {"-q", "names.json"},
     0,
     "mdlexport: names.json: warning: the bone name \"arm\\\" ends in a backslash: MDL readers "
     "will not read the file back\n"
     "mdlexport: names.json: warning: the bone name \"say \"hi\"\" holds a double quote: MDL "
     "readers will not read the file back\n",
     {"names.mdl"}},
    // 5: past the file size limit, SIGXFSZ left at its default.
    {"ulimit -f",
     OneTriangle,
     {"one.json"},
     3,
     "mdlexport: one.mdl: cannot write: File too large\n",
     {},
     SizeLimit(1024, true)},
    // 8: outputs that are one file through a linked folder.
    {"default outputs meet through a linked folder",
     OneTriangle,
     {"real/a.json", "alias/a"},
     2,
     "mdlexport: the output alias/a.mdl of alias/a is the same file as the output real/a.mdl of "
     "real/a.json\n"},
    {"an output is another input",
     OneTriangle,
     {"alias/b.mdl", "real/b.json"},
     2,
     "mdlexport: the output real/b.mdl of real/b.json is the same file as the input "
     "alias/b.mdl\n"},
    {"the heading is the output",
     OneTriangle,
     {"one.json", "--heading", "alias/../one.mdl"},
     2,
     "mdlexport: the output one.mdl of one.json is the same file as the heading "
     "alias/../one.mdl\n"},
    // 10: nobody reads standard error; every input is still tried.
    {"a closed standard error",
     OneTriangle,
     {"real/a.json", "missing.json", "one.json"},
     2,
     "",
     {"real/a.mdl", "one.mdl"},
     ClosedStderr()},
};

TEST(Reliability, EveryCaseEndsAsDocumentedAndTouchesNothingElse)
{
    for (const Case& c : kCases)
    {
        TempDir dir;
        c.setup(dir);
        std::map<std::string, std::string> before = Snapshot(dir.Path(""));
        BinaryRunOptions options = c.options;
        options.working_directory = dir.Path("");
        BinaryRun run = RunMdlexport(c.arguments, options);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.what << ", signal " << run.signal;
        EXPECT_EQ(run.err, c.err) << c.what;
        std::map<std::string, std::string> after = Snapshot(dir.Path(""));
        for (const std::string& path : c.written)
        {
            EXPECT_NE(after[path], before[path]) << c.what << ": " << path << " is not written";
            EXPECT_EQ(ReadFile(dir.Path(path)).substr(0, 2), "//") << c.what << ": " << path;
            after.erase(path);
            before.erase(path);
        }
        EXPECT_EQ(after, before) << c.what;
    }
    // The device is still there.
    struct stat info;
    ASSERT_EQ(stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST(Reliability, ADumpThroughALinkReplacesItsTargetAndKeepsTheLink)
{
    TempDir dir;
    OneTriangle(dir);
    symlink("d.json", dir.Path("link.json").c_str());
    BinaryRun run = RunMdlexport({"-q", "one.json", "--dump-json", "link.json"}, {dir.Path("")});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(ReadFile(dir.Path("d.json")).substr(0, 13), "{\n  \"meshes\":");
    struct stat info;
    ASSERT_EQ(lstat(dir.Path("link.json").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST(Reliability, AReplacedOutputLosesItsSetIdBits)
{
    TempDir dir;
    OneTriangle(dir);
    chmod(dir.Path("one.mdl").c_str(), 06754);
    chmod(dir.Path("d.json").c_str(), 02640);
    BinaryRun run = RunMdlexport({"-q", "one.json", "--dump-json", "d.json"}, {dir.Path("")});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    struct stat info;
    ASSERT_EQ(stat(dir.Path("one.mdl").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0754u);
    ASSERT_EQ(stat(dir.Path("d.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

} // namespace
