// mdlexport: exports model descriptions (JSON) as MDL text models through the
// export plug-in, exactly as the modelling host runs it. See UsageText() in
// command_line.cpp for the command line and the exit statuses.
#include "command_line.h"
#include "export_file.h"
#include "file_io.h"
#include "heading.h"
#include "model_description.h"
#include "output_paths.h"
#include "stand_in_model.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

#ifndef MDLEXPORT_VERSION
#error "MDLEXPORT_VERSION comes from the project's version in CMake"
#endif

namespace
{

constexpr int kExitDone = 0;
constexpr int kExitEmptyModel = 1;
constexpr int kExitRefused = 2;
constexpr int kExitUnwritable = 3;

void Report(const std::string& message)
{
    std::fprintf(stderr, "mdlexport: %s\n", message.c_str());
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat one, other;
    return stat(a.c_str(), &one) == 0 && stat(b.c_str(), &other) == 0 &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

std::string Counted(int64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void PrintSummary(const std::string& input, const std::string& output,
                  const ModelDescriptionCounts& counts, uint64_t bytes, double milliseconds)
{
    std::string text = input + " -> " + output + ": " + Counted(counts.meshes, "mesh", "meshes") +
                       ", " + Counted(counts.vertices, "vertex", "vertices") + ", " +
                       Counted(counts.triangles, "triangle", "triangles") + ", " +
                       Counted(counts.bones, "bone", "bones") + ", " +
                       Counted(counts.position_keys + counts.rotation_keys, "key", "keys") + " (" +
                       std::to_string(counts.position_keys) + " translation, " +
                       std::to_string(counts.rotation_keys) + " rotation), " +
                       std::to_string(bytes) + " bytes, ";
    char took[32];
    std::snprintf(took, sizeof took, "%.1f ms", milliseconds);
    Report(text + took);
}

int ExportOne(const std::string& input, const std::string& output, const std::string* heading,
              bool quiet)
{
    auto started = std::chrono::steady_clock::now();
    if (SameFile(input, output))
    {
        Report(input + ": the output " + output + " is the input itself");
        return kExitRefused;
    }

    ModelDescription description;
    std::string error;
    if (!ReadModelDescription(input, description, error))
    {
        Report(error);
        return kExitRefused;
    }
    ModelDescriptionCounts counts = CountModelDescription(description);
    ModelHandle model = StandIn_CreateModel();
    BuildStandInModel(description, model);
    ExportFileResult result = ExportModelFile(model, output, heading);
    StandIn_FreeModel(model);

    switch (result.status)
    {
    case ExportFileStatus::Done:
        break;
    case ExportFileStatus::EmptyModel:
        Report(input + ": " + result.message);
        return kExitEmptyModel;
    case ExportFileStatus::Failed:
        Report(result.message);
        return kExitUnwritable;
    }
    if (!quiet)
    {
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
        PrintSummary(input, output, counts, result.bytes, took.count());
    }
    return kExitDone;
}

} // namespace

int main(int argc, char** argv)
{
    CommandLine options;
    std::string error;
    if (!ParseCommandLine(argc, argv, options, error))
    {
        Report(error + " (see mdlexport --help)");
        return kExitRefused;
    }
    if (options.help)
    {
        std::fputs(UsageText(), stdout);
        return std::fflush(stdout) == 0 ? kExitDone : kExitUnwritable;
    }
    if (options.version)
    {
        std::printf("mdlexport %s\n", MDLEXPORT_VERSION);
        return std::fflush(stdout) == 0 ? kExitDone : kExitUnwritable;
    }

    std::string heading;
    if (options.has_heading)
    {
        std::string bytes;
        if (!ReadFileBytes(options.heading, bytes, error))
        {
            Report(error);
            return kExitRefused;
        }
        heading = NormalizeHeading(bytes);
    }
    std::vector<std::string> outputs;
    if (!PlanOutputs(options.inputs, options.has_output, options.output, outputs, error))
    {
        Report(error);
        return kExitRefused;
    }

    RemoveTemporaryFilesOnSignals();
    int worst = kExitDone;
    for (size_t i = 0; i < options.inputs.size(); ++i)
        worst = std::max(worst, ExportOne(options.inputs[i], outputs[i],
                                          options.has_heading ? &heading : nullptr, options.quiet));
    return worst;
}
