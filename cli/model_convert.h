// Models converted by the model library (mdlx/): an MDL or MDX input read and
// written in the other form (or the same), and the plug-in's MDL, with its
// heading, made MDX. Nothing here touches a file.
#ifndef MDLEXPORT_CLI_MODEL_CONVERT_H
#define MDLEXPORT_CLI_MODEL_CONVERT_H

#include <cstdint>
#include <string>

enum class ModelForm
{
    kMdl,
    kMdx,
};

// Whether `path` ends in ".mdl" or ".mdx" (any case): a model to convert.
bool IsModelFile(const std::string& path);
// The form a path's extension names: ".mdx" (any case) is MDX, anything
// else MDL.
ModelForm FormOfPath(const std::string& path);
// ".mdl" or ".mdx".
const char* ExtensionOf(ModelForm form);

// What the summary tells of a converted model.
struct ModelSummary
{
    int64_t geosets = 0;
    int64_t vertices = 0;
    int64_t triangles = 0;
    int64_t bones = 0;
    int64_t keys = 0;
};

// Reads `bytes` (an MDL text or MDX bytes, as `input_form` says) and writes
// the model as `form` into `out`. False with `error` (the library's message,
// naming `input` or `output`) when the model is refused.
bool ConvertModel(const std::string& input, ModelForm input_form, const std::string& bytes,
                  ModelForm form, const std::string& output, std::string& out, std::string& error,
                  ModelSummary& summary);

#endif
