// A scene as a whole game model (the model library's Model), for MDX or MDL
// output of a scene: the last step of an import that differs from the
// plug-in's path. The rest pose, bones, pivots and sampled motion are the
// importer's (a host model and its summary from ImportAssimpScene); what the
// host model cannot hold comes from the scene itself:
// - one geoset per host mesh (a source mesh has one material), each vertex in
//   the group of up to four bones that best reproduces the source's weighted
//   skinning over every sampled frame (skin_groups.h), identical groups shared;
// - one material per source material (material_choice.h), the textures they
//   use named by the BLP file written beside the model, and a plain white one
//   for materials without a texture;
// - rotation keys as the sampled quaternions, sign-continuous;
// - the model's, each sequence's and each geoset's per-sequence extents from
//   the posed vertices over every sampled frame (model_extents.h);
// - attachment points for nodes named "... Ref", and an "Origin Ref";
// - a still "Stand" and "Death" where the animations have none.
#ifndef MDLEXPORT_IMPORTER_WHOLE_MODEL_H
#define MDLEXPORT_IMPORTER_WHOLE_MODEL_H

#include "host_model_lib.h"
#include "model.h"
#include "scene_import.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct aiScene;

// A texture the model names, to be written beside it as BLP.
struct WholeModelTexture
{
    std::string file_name; // the BLP's name, as the model's texture path gives it
    std::string source;    // the image file to read; empty when `bytes` hold the image
    std::vector<uint8_t> bytes;
    bool copy = false; // `source` is a BLP texture already: written as it is
};

// How well the groups reproduce the source's skinning: over the vertices
// with more than one weight, the sum of each vertex's mean distance over the
// sampled frames.
struct SkinFigures
{
    size_t blended_vertices = 0;
    size_t grouped_vertices = 0; // of them, those in a group of more than one bone
    double heaviest_error = 0.0; // with the heaviest bone alone
    double group_error = 0.0;    // with the chosen group
    double worst_gain = 0.0;     // the largest group error minus heaviest error (<= 0)
};

// Builds `model` from `scene` (as read from `scene_path`), its import into
// `host` and `summary`. `name` is the model's name. False with `error` when
// the scene has no triangle mesh.
bool BuildWholeModel(const aiScene& scene, const std::string& scene_path,
                     const ImportSummary& summary, ModelHandle host, const ImportOptions& options,
                     const std::string& name, mdlx::Model& model,
                     std::vector<WholeModelTexture>& textures, std::vector<std::string>& notes,
                     std::string& error, SkinFigures* figures = nullptr);

// A small plain white image (a BMP) for materials without a texture.
std::vector<uint8_t> WhiteImage();

#endif
