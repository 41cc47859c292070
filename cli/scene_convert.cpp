#include "scene_convert.h"

#include "blp_convert.h"
#include "export_file.h"
#include "file_io.h"
#include "mdl_writer.h"
#include "mdx_writer.h"
#include "output_paths.h"
#include "scene_import.h"
#include "stand_in_model.h"
#include "whole_model.h"

#include <algorithm>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace
{

std::string StemOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

struct FreeModel
{
    void operator()(ModelHandle model) const
    {
        StandIn_FreeModel(model);
    }
};

} // namespace

bool ConvertsWhole(bool mdx, const std::string& output, const CommandLine& options)
{
    if (options.as_plugin || options.has_dump_json || options.has_heading)
        return false;
    return mdx || (EndsWithFolded(output, ".mdl") && options.has_output);
}

ImportOptions ImportOptionsOf(const CommandLine& options)
{
    ImportOptions import_options;
    import_options.up = options.up == 'y'   ? UpAxisChoice::kY
                        : options.up == 'z' ? UpAxisChoice::kZ
                                            : UpAxisChoice::kFromFile;
    import_options.keep_all_keys = options.keep_all_keys;
    import_options.scale = options.scale;
    import_options.height = options.height;
    import_options.ground = options.ground;
    import_options.geoset_vertex_limit = options.geoset_limit;
    return import_options;
}

int ConvertSceneWhole(const std::string& input, const std::string& output,
                      const CommandLine& options, int64_t run_started,
                      const std::function<void(const std::string&)>& report)
{
    auto started = std::chrono::steady_clock::now();
    ImportOptions import_options = ImportOptionsOf(options);
    import_options.sequence_extents = false; // the whole model measures its own

    mdlx::Model model;
    std::vector<WholeModelTexture> textures;
    std::vector<std::string> notes;
    SkinFigures skin;
    std::string error;
    bool built = false;
    try
    {
        Assimp::Importer importer;
        const aiScene* scene = ReadSceneFile(importer, input);
        if (scene == nullptr)
        {
            std::string reason = importer.GetErrorString();
            error = "cannot read " + input + ": " + (reason.empty() ? "unknown error" : reason);
        }
        else
        {
            std::unique_ptr<HostModel, FreeModel> host(StandIn_CreateModel());
            ImportSummary summary;
            built = ImportAssimpScene(*scene, input, import_options, host.get(), error, notes,
                                      &summary) &&
                    BuildWholeModel(*scene, input, summary, host.get(), import_options,
                                    StemOf(output), model, textures, notes, error, &skin);
        }
    }
    catch (const std::exception& failure)
    {
        error = "cannot read " + input + ": " + failure.what();
    }
    if (!options.quiet)
        for (const std::string& note : notes)
            report(input + ": note: " + note);
    if (!built)
    {
        report(error.rfind(input, 0) == 0 || error.rfind("cannot read", 0) == 0
                   ? error
                   : input + ": " + error);
        return 2;
    }

    // Every texture in memory first: a scene with an image that cannot be
    // read is refused whole.
    BlpOptions blp_options;
    if (options.texture_quality != 0)
        blp_options.quality = options.texture_quality;
    std::vector<std::vector<uint8_t>> blps(textures.size());
    for (size_t t = 0; t < textures.size(); ++t)
    {
        const WholeModelTexture& texture = textures[t];
        std::string copied;
        bool converted = texture.copy ? ReadFileBytes(texture.source, copied, error)
                         : texture.source.empty()
                             ? ConvertImageToBlp(texture.bytes.data(), texture.bytes.size(),
                                                 texture.file_name, blp_options, blps[t], error)
                             : ConvertImageFileToBlp(texture.source, blp_options, blps[t], error);
        if (!converted)
        {
            report(input + ": " + error);
            return 2;
        }
        if (texture.copy)
            blps[t].assign(copied.begin(), copied.end());
    }

    // A name that this run already wrote with other bytes is another model's
    // texture: this one takes the next free name.
    std::vector<std::string> names;
    for (size_t t = 0; t < textures.size(); ++t)
    {
        const std::string& name = textures[t].file_name;
        const std::string stem = name.substr(0, name.size() - 4);
        std::string chosen = name;
        for (int n = 2;; ++n)
        {
            std::string path = FolderOf(output) + "/" + chosen, existing, ignored;
            bool taken = std::find(names.begin(), names.end(), chosen) != names.end();
            bool other =
                !taken && ModifiedSince(path, run_started) &&
                !(ReadFileBytes(path, existing, ignored) && existing.size() == blps[t].size() &&
                  std::memcmp(existing.data(), blps[t].data(), existing.size()) == 0);
            if (!taken && !other)
                break;
            chosen = stem + " " + std::to_string(n) + ".blp";
        }
        names.push_back(chosen);
        if (t < model.textures.size())
            model.textures[t].path = chosen;
    }

    std::string bytes;
    mdlx::Status status = EndsWithFolded(output, ".mdx") ? mdlx::WriteMdx(model, bytes, output)
                                                         : mdlx::WriteMdl(model, bytes, output);
    if (!status.ok)
    {
        report(input + ": " + status.message);
        return 2;
    }
    for (size_t t = 0; t < textures.size(); ++t)
    {
        ExportFileResult written =
            WriteWholeFile(FolderOf(output) + "/" + names[t], blps[t].data(), blps[t].size());
        if (written.status != ExportFileStatus::Done)
        {
            report(written.message);
            return 3;
        }
    }
    ExportFileResult written =
        WriteWholeFile(output, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (written.status != ExportFileStatus::Done)
    {
        report(written.message);
        return 3;
    }
    if (!options.quiet)
    {
        size_t vertices = 0, triangles = 0;
        for (const mdlx::Geoset& geoset : model.geosets)
        {
            vertices += geoset.vertices.size() / 3;
            triangles += geoset.faces.size() / 3;
        }
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
        char text[400];
        std::snprintf(text, sizeof text,
                      "%zu geosets, %zu vertices, %zu triangles, %zu bones, %zu attachments, "
                      "%zu sequences, %zu materials, %zu textures, %zu bytes, %.1f ms",
                      model.geosets.size(), vertices, triangles, model.bones.size(),
                      model.attachments.size(), model.sequences.size(), model.materials.size(),
                      model.textures.size(), bytes.size(), took.count());
        report(input + " -> " + output + ": " + text);
        if (skin.blended_vertices > 0)
        {
            double count = static_cast<double>(skin.blended_vertices);
            std::snprintf(text, sizeof text,
                          "%zu vertices of several bones, %zu of them in a bone group; mean "
                          "distance from the source's skin %.6g with the heaviest bone, %.6g "
                          "with the groups",
                          skin.blended_vertices, skin.grouped_vertices, skin.heaviest_error / count,
                          skin.group_error / count);
            report(input + ": " + text);
        }
    }
    return 0;
}
