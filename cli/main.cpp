// mdlexport: exports model descriptions (JSON) and scenes as MDL text models
// through the export plug-in, exactly as the modelling host runs it, converts
// models between MDL and MDX (the model library, mdlx/) and images to BLP
// textures. See UsageText() in command_line.cpp for the command line and the
// exit statuses.
#include "auto_heading.h"
#include "blp_convert.h"
#include "command_line.h"
#include "export_file.h"
#include "file_io.h"
#include "heading.h"
#include "host_names.h"
#include "import_budget.h"
#include "model_convert.h"
#include "model_description.h"
#include "model_json.h"
#include "output_paths.h"
#include "progress.h"
#include "safe_write.h"
#include "scene_convert.h"
#include "scene_import.h"
#include "stand_in_model.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
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
// A heading holds a few sections of MDL text; anything near this size is not
// one (and /dev/zero never ends).
constexpr size_t kMaxHeadingBytes = 64 << 20;

// A stand-in model, freed through the stand-in's own call when it goes out of
// scope.
struct FreeStandInModel
{
    void operator()(ModelHandle model) const
    {
        StandIn_FreeModel(model);
    }
};
using StandInModel = std::unique_ptr<HostModel, FreeStandInModel>;

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

struct ModelCounts
{
    int64_t meshes = 0;
    int64_t vertices = 0;
    int64_t triangles = 0;
    int64_t bones = 0;
    int64_t position_keys = 0;
    int64_t rotation_keys = 0;
};

// "1 vertex", "3 vertices".
std::string CountAndNoun(int64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void PrintSummary(const std::string& input, const std::string& output, const ModelCounts& counts,
                  uint64_t bytes, double milliseconds, const std::string& size)
{
    std::string text = input + " -> " + output + ": " +
                       CountAndNoun(counts.meshes, "mesh", "meshes") + ", " +
                       CountAndNoun(counts.vertices, "vertex", "vertices") + ", " +
                       CountAndNoun(counts.triangles, "triangle", "triangles") + ", " +
                       CountAndNoun(counts.bones, "bone", "bones") + ", " +
                       CountAndNoun(counts.position_keys + counts.rotation_keys, "key", "keys") +
                       " (" + std::to_string(counts.position_keys) + " translation, " +
                       std::to_string(counts.rotation_keys) + " rotation), " + size +
                       std::to_string(bytes) + " bytes, ";
    char took[32];
    std::snprintf(took, sizeof took, "%.1f ms", milliseconds);
    Report(text + took);
}

// The counts of the summary, asked of the host library as the export sees them.
ModelCounts CountModel(ModelHandle model)
{
    ModelCounts counts;
    counts.meshes = msModel_GetMeshCount(model);
    for (int32_t m = 0; m < counts.meshes; ++m)
    {
        MeshHandle mesh = msModel_GetMeshAt(model, m);
        counts.vertices += msMesh_GetVertexCount(mesh);
        counts.triangles += msMesh_GetTriangleCount(mesh);
    }
    counts.bones = msModel_GetBoneCount(model);
    for (int32_t b = 0; b < counts.bones; ++b)
    {
        BoneHandle bone = msModel_GetBoneAt(model, b);
        counts.position_keys += msBone_GetPositionKeyCount(bone);
        counts.rotation_keys += msBone_GetRotationKeyCount(bone);
    }
    return counts;
}

// A scene file is one whose extension the importer knows, ".json" aside;
// anything else is read as a model description.
bool IsModelDescription(const std::string& path)
{
    return EndsWithFolded(path, ".json") || !IsSceneFileName(path);
}

// The plug-in writes a description's names as they are, as it writes the
// host's; a name that MDL readers cannot read back is worth a warning.
void WarnOfUnreadableNames(const std::string& input, const ModelDescription& description)
{
    for (const BoneDescription& bone : description.bones)
        if (const char* problem = MdlNameProblem(bone.name))
            Report(input + ": warning: the bone name \"" + bone.name + "\" " + problem +
                   ": MDL readers will not read the file back");
}

struct ExportRequest
{
    const CommandLine* options;
    const std::string* heading; // the heading file's text, when one was given
    bool auto_heading;
};

// What an imported scene gives beyond the model.
struct ImportExtras
{
    std::string auto_heading; // for --heading auto
    std::string size;         // "rest pose W x D x H units, " for the summary
    std::string image_name;   // an image from inside the file, to write beside the output
    std::string image;
};

// "rest pose 1.2 x 0.5 x 1.8 units, ": the rest pose's size in MDL units
// (x, y, and z up), as the summary gives it.
std::string RestPoseSize(const ImportSummary& summary)
{
    std::string text = "rest pose ";
    for (int i = 0; i < 3; ++i)
    {
        char number[32];
        std::to_chars_result done =
            std::to_chars(number, number + sizeof number, summary.maximum[i] - summary.minimum[i],
                          std::chars_format::general, 4);
        text += (i > 0 ? " x " : "") + std::string(number, done.ptr);
    }
    return text + " units, ";
}

// Fills `model` from `input`: a model description, or a scene file through
// the importer (whose heading, size and embedded image go to `extras`).
int LoadModel(const std::string& input, const ExportRequest& request, ModelHandle model,
              ImportExtras& extras, ProgressLine& progress)
{
    std::string error;
    if (IsModelDescription(input))
    {
        if (request.auto_heading)
        {
            Report(input + ": --heading auto needs a scene file: a model description carries "
                           "no sequences, textures or materials");
            return kExitRefused;
        }
        ModelDescription description;
        if (!ReadModelDescription(input, description, error))
        {
            Report(error);
            return kExitRefused;
        }
        WarnOfUnreadableNames(input, description);
        BuildStandInModel(description, model);
        return kExitDone;
    }

    ImportOptions options = ImportOptionsOf(*request.options);
    std::string step;
    options.progress = [&progress, &step](const char* now, double fraction)
    {
        if (step != now)
        {
            step = now;
            progress.Step(now);
        }
        progress.Update(fraction);
    };
    std::vector<std::string> notes;
    ImportSummary summary;
    progress.Step("reading");
    bool imported = ImportScene(input, options, model, error, notes, &summary);
    progress.Done();
    if (!request.options->quiet)
        for (const std::string& note : notes)
            Report(input + ": note: " + note);
    if (!imported)
    {
        Report(error);
        return kExitRefused;
    }
    ImportSummary heading_summary = summary;
    if (!summary.embedded_image.empty())
    {
        // Written beside the output under its own name; the heading names it
        // as the BLP that the modder converts it to.
        extras.image_name = summary.texture_path;
        extras.image = std::move(summary.embedded_image);
    }
    if (request.auto_heading)
        extras.auto_heading = NormalizeHeading(AutoHeadingText(heading_summary));
    extras.size = RestPoseSize(summary);
    return kExitDone;
}

// An MDL or MDX model read and written again in `form`.
int ConvertOne(const std::string& input, const std::string& output, ModelForm form, bool quiet)
{
    auto started = std::chrono::steady_clock::now();
    if (SameFile(input, output))
    {
        Report(input + ": the output " + output + " is the input itself");
        return kExitRefused;
    }
    std::string bytes;
    std::string converted;
    std::string error;
    ModelSummary summary;
    if (!ReadFileBytes(input, bytes, error) ||
        !ConvertModel(input, FormOfPath(input), bytes, form, output, converted, error, summary))
    {
        Report(error);
        return kExitRefused;
    }
    bytes = std::string();
    ExportFileResult result = WriteWholeFile(
        output, reinterpret_cast<const uint8_t*>(converted.data()), converted.size());
    if (result.status != ExportFileStatus::Done)
    {
        Report(result.message);
        return kExitUnwritable;
    }
    if (!quiet)
    {
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
        char time[32];
        std::snprintf(time, sizeof time, "%.1f ms", took.count());
        Report(input + " -> " + output + ": " + CountAndNoun(summary.geosets, "geoset", "geosets") +
               ", " + CountAndNoun(summary.vertices, "vertex", "vertices") + ", " +
               CountAndNoun(summary.triangles, "triangle", "triangles") + ", " +
               CountAndNoun(summary.bones, "bone", "bones") + ", " +
               CountAndNoun(summary.keys, "bone key", "bone keys") + ", " +
               std::to_string(result.bytes) + " bytes, " + time);
    }
    return kExitDone;
}

// A model description or scene exported through the plug-in; as MDX, its MDL
// (with the heading, so that it is a whole model) read and written as MDX.
int ExportOne(const std::string& input, const std::string& output, ModelForm form,
              const ExportRequest& request)
{
    auto started = std::chrono::steady_clock::now();
    if (SameFile(input, output))
    {
        Report(input + ": the output " + output + " is the input itself");
        return kExitRefused;
    }
    if (form == ModelForm::kMdx && request.heading == nullptr && !request.auto_heading)
    {
        Report(input + ": " + output +
               ": MDX needs a whole model, and the plug-in's MDL has no sequences, textures "
               "or materials: give --heading FILE (or --heading auto for a scene file)");
        return kExitRefused;
    }

    // The model lives as long as the export needs it: it is freed before the
    // outcome is told, and its freeing counts in the time taken.
    ExportFileResult result;
    ModelCounts counts;
    std::string mdl; // MDX: the plug-in's MDL with its heading
    ImportExtras extras;
    {
        StandInModel model(StandIn_CreateModel());
        ProgressLine progress("mdlexport: " + input,
                              !request.options->quiet && StandardErrorIsTerminal());
        int loaded = LoadModel(input, request, model.get(), extras, progress);
        if (loaded != kExitDone)
            return loaded;
        std::string error;
        if (request.options->has_dump_json &&
            !WriteModelDescription(model.get(), request.options->dump_json, error))
        {
            Report(error);
            return kExitUnwritable;
        }
        counts = CountModel(model.get());
        progress.Step("writing");
        result = ExportModelFile(model.get(), output,
                                 request.auto_heading ? &extras.auto_heading : request.heading,
                                 form == ModelForm::kMdx ? &mdl : nullptr);
        progress.Done();
    }
    if (form == ModelForm::kMdx && result.status == ExportFileStatus::Done)
    {
        std::string mdx;
        std::string error;
        ModelSummary summary;
        if (!ConvertModel(input + ", as MDL", ModelForm::kMdl, mdl, ModelForm::kMdx, output, mdx,
                          error, summary))
        {
            Report(error);
            return kExitRefused;
        }
        mdl = std::string();
        result = WriteWholeFile(output, reinterpret_cast<const uint8_t*>(mdx.data()), mdx.size());
    }

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
    if (!extras.image.empty())
    {
        size_t slash = output.find_last_of('/');
        std::string beside =
            (slash == std::string::npos ? std::string() : output.substr(0, slash + 1)) +
            extras.image_name;
        ExportFileResult written = WriteWholeFile(
            beside, reinterpret_cast<const uint8_t*>(extras.image.data()), extras.image.size());
        if (written.status != ExportFileStatus::Done)
        {
            Report(written.message);
            return kExitUnwritable;
        }
        if (!request.options->quiet)
            Report(input + ": note: the image inside the file is written as " + beside +
                   "; the model names it as the BLP you convert it to");
    }
    if (!request.options->quiet)
    {
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
        PrintSummary(input, output, counts, result.bytes, took.count(), extras.size);
    }
    return kExitDone;
}

// Runs `work` for the scene file `input` within its import budget
// (import_budget.h), in a child process; a budget overrun is refused.
int WithinBudget(const std::string& input, const CommandLine& options,
                 const std::function<int()>& work)
{
    struct stat info;
    uint64_t size = stat(input.c_str(), &info) == 0 && S_ISREG(info.st_mode)
                        ? static_cast<uint64_t>(info.st_size)
                        : 0;
    ImportBudget budget = ImportBudgetFor(size, options.import_memory_mb, options.import_seconds);
    std::string message;
    int status = RunWithinBudget(budget, work, message);
    if (status >= 0)
        return status;
    Report(input + ": " + message);
    return kExitRefused;
}

// A scene file is exported through the plug-in within its import budget.
int ExportWithinBudget(const std::string& input, const std::string& output, ModelForm form,
                       const ExportRequest& request)
{
    if (IsModelDescription(input))
        return ExportOne(input, output, form, request);
    return WithinBudget(input, *request.options,
                        [&] { return ExportOne(input, output, form, request); });
}

// Enters every file of the run in one RunFiles; false with `error` when an
// output would replace an input or another output.
bool CheckRunFiles(const CommandLine& options, bool auto_heading,
                   const std::vector<std::string>& outputs, std::string& error)
{
    RunFiles files;
    if (options.has_heading && !auto_heading)
        files.AddInput(options.heading, "the heading " + options.heading);
    for (const std::string& input : options.inputs)
        files.AddInput(input, "the input " + input);
    for (size_t i = 0; i < outputs.size(); ++i)
        if (!files.AddOutput(outputs[i], "the output " + outputs[i] + " of " + options.inputs[i],
                             error, options.inputs[i]))
            return false;
    return !options.has_dump_json ||
           files.AddOutput(options.dump_json, "the --dump-json file " + options.dump_json, error);
}

// Converts the image `input` into the BLP texture `output`, written whole or
// not at all.
int ConvertImage(const std::string& input, const std::string& output, const CommandLine& options)
{
    auto started = std::chrono::steady_clock::now();
    if (SameFile(input, output))
    {
        Report(input + ": the output " + output + " is the input itself");
        return kExitRefused;
    }
    if (!EndsWithFolded(output, ".blp"))
    {
        Report(input + ": an image is converted to a BLP texture, and the output " + output +
               " does not end in .blp");
        return kExitRefused;
    }
    if (options.has_dump_json)
    {
        Report(input + ": --dump-json needs a model, not an image");
        return kExitRefused;
    }
    BlpOptions blp_options;
    if (options.texture_quality != 0)
        blp_options.quality = options.texture_quality;
    std::vector<uint8_t> blp;
    std::string error;
    BlpInfo info;
    if (!ConvertImageFileToBlp(input, blp_options, blp, error, &info))
    {
        Report(error);
        return kExitRefused;
    }
    if (!WriteOutputFile(
            output, std::string_view(reinterpret_cast<const char*>(blp.data()), blp.size()), error))
    {
        Report(error);
        return kExitUnwritable;
    }
    if (!options.quiet)
    {
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
        char text[160];
        std::snprintf(text, sizeof text,
                      "%d x %d image, %d x %d texture, %s, %d alpha bits, quality %d, %zu bytes, "
                      "%.1f ms",
                      info.image.width, info.image.height, info.texture.width, info.texture.height,
                      CountAndNoun(info.levels, "level", "levels").c_str(), info.alpha_bits,
                      blp_options.quality, blp.size(), took.count());
        Report(input + " -> " + output + ": " + text);
    }
    return kExitDone;
}

} // namespace

int main(int argc, char** argv)
{
    InstallWriteSignalHandling();
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
    bool auto_heading = options.has_heading && options.heading == "auto";
    if (options.has_heading && !auto_heading)
    {
        std::string bytes;
        if (!ReadFileBytes(options.heading, bytes, error, kMaxHeadingBytes))
        {
            Report(error);
            return kExitRefused;
        }
        heading = NormalizeHeading(bytes);
    }
    // Outputs named after their inputs get --format's extension, else a
    // model's other form, else .mdl; an output's own .mdl or .mdx says its
    // form, and --format says it for the others.
    const bool has_format = options.format != 0;
    const ModelForm format = options.format == 'x' ? ModelForm::kMdx : ModelForm::kMdl;
    std::vector<std::string> extensions;
    for (const std::string& input : options.inputs)
    {
        ModelForm form = ModelForm::kMdl;
        if (has_format)
            form = format;
        else if (IsModelFile(input) && FormOfPath(input) == ModelForm::kMdl)
            form = ModelForm::kMdx;
        extensions.push_back(IsImageFileName(input) ? ".blp" : ExtensionOf(form));
    }
    std::vector<std::string> outputs;
    if (!PlanOutputs(options.inputs, extensions, options.has_output, options.output, outputs,
                     error) ||
        !CheckRunFiles(options, auto_heading, outputs, error))
    {
        Report(error);
        return kExitRefused;
    }
    std::vector<ModelForm> forms;
    for (const std::string& output : outputs)
    {
        if (has_format && IsModelFile(output) && FormOfPath(output) != format)
        {
            Report(std::string("--format ") + (format == ModelForm::kMdx ? "mdx" : "mdl") +
                   " disagrees with the output " + output + " (see mdlexport --help)");
            return kExitRefused;
        }
        forms.push_back(IsModelFile(output) ? FormOfPath(output) : format);
    }

    int worst = kExitDone;
    const int64_t run_started = FileClockNow();
    ExportRequest request{&options, options.has_heading ? &heading : nullptr, auto_heading};
    for (size_t i = 0; i < options.inputs.size(); ++i)
    {
        const std::string& input = options.inputs[i];
        if (IsImageFileName(input))
            worst = std::max(worst, ConvertImage(input, outputs[i], options));
        else if (IsModelFile(input))
        {
            // A model is whole already: a heading meant for the other inputs
            // of the batch is not put into it.
            if (options.has_heading && !options.quiet)
                Report(input + ": note: --heading is for scenes and model descriptions; the "
                               "model is converted as it is");
            worst = std::max(worst, ConvertOne(input, outputs[i], forms[i], options.quiet));
        }
        else if (!IsModelDescription(input) &&
                 ConvertsWhole(forms[i] == ModelForm::kMdx, outputs[i], options))
        {
            bool same = SameFile(input, outputs[i]);
            if (same)
                Report(input + ": the output " + outputs[i] + " is the input itself");
            const std::string& output = outputs[i];
            worst = std::max(worst, same ? kExitRefused
                                         : WithinBudget(input, options,
                                                        [&] {
                                                            return ConvertSceneWhole(
                                                                input, output, options, run_started,
                                                                Report);
                                                        }));
        }
        else
            worst = std::max(worst, ExportWithinBudget(input, outputs[i], forms[i], request));
    }
    return worst;
}
