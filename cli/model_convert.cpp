#include "model_convert.h"

#include "mdl_reader.h"
#include "mdl_writer.h"
#include "mdx_reader.h"
#include "mdx_writer.h"
#include "output_paths.h"

namespace
{

int64_t Keys(const std::vector<mdlx::Track>& tracks)
{
    int64_t keys = 0;
    for (const mdlx::Track& track : tracks)
        keys += static_cast<int64_t>(track.frames.size());
    return keys;
}

} // namespace

bool IsModelFile(const std::string& path)
{
    return EndsWithFolded(path, ".mdl") || EndsWithFolded(path, ".mdx");
}

ModelForm FormOfPath(const std::string& path)
{
    return EndsWithFolded(path, ".mdx") ? ModelForm::kMdx : ModelForm::kMdl;
}

const char* ExtensionOf(ModelForm form)
{
    return form == ModelForm::kMdx ? ".mdx" : ".mdl";
}

bool ConvertModel(const std::string& input, ModelForm input_form, const std::string& bytes,
                  ModelForm form, const std::string& output, std::string& out, std::string& error,
                  ModelSummary& summary)
{
    mdlx::Model model;
    mdlx::Status status = input_form == ModelForm::kMdx
                              ? mdlx::ReadMdx(bytes.data(), bytes.size(), input, model)
                              : mdlx::ReadMdl(bytes, input, model);
    if (status.ok)
        status = form == ModelForm::kMdx ? mdlx::WriteMdx(model, out, output)
                                         : mdlx::WriteMdl(model, out, output);
    if (!status.ok)
    {
        error = status.message;
        return false;
    }
    summary = {};
    summary.geosets = static_cast<int64_t>(model.geosets.size());
    for (const mdlx::Geoset& geoset : model.geosets)
    {
        summary.vertices += static_cast<int64_t>(geoset.vertices.size() / 3);
        summary.triangles += static_cast<int64_t>(geoset.faces.size() / 3);
    }
    summary.bones = static_cast<int64_t>(model.bones.size());
    for (const mdlx::Bone& bone : model.bones)
        summary.keys += Keys(bone.node.tracks);
    return true;
}
