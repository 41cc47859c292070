#include "material_choice.h"

#include <algorithm>
#include <assimp/GltfMaterial.h>
#include <assimp/material.h>

namespace
{

bool Repeats(const aiMaterial& material, const char* key, aiTextureType type)
{
    int mode = aiTextureMapMode_Wrap;
    if (material.Get(key, type, 0, mode) != aiReturn_SUCCESS)
        return true;
    return mode == aiTextureMapMode_Wrap || mode == aiTextureMapMode_Mirror;
}

} // namespace

SourceMaterial ReadSourceMaterial(const aiMaterial& material)
{
    SourceMaterial result;
    for (aiTextureType type : {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE})
    {
        aiString path;
        if (material.GetTexture(type, 0, &path) != aiReturn_SUCCESS || path.length == 0)
            continue;
        result.texture.assign(path.data, path.length);
        result.wrap_u = Repeats(material, _AI_MATKEY_MAPPINGMODE_U_BASE, type);
        result.wrap_v = Repeats(material, _AI_MATKEY_MAPPINGMODE_V_BASE, type);
        break;
    }

    aiString mode;
    float opacity = 1.0f;
    if (material.Get(AI_MATKEY_GLTF_ALPHAMODE, mode) == aiReturn_SUCCESS)
    {
        std::string text(mode.data, mode.length);
        result.alpha = text == "MASK"    ? AlphaMode::kCutout
                       : text == "BLEND" ? AlphaMode::kTranslucent
                                         : AlphaMode::kOpaque;
    }
    else if (material.Get(AI_MATKEY_OPACITY, opacity) == aiReturn_SUCCESS && opacity < 1.0f)
    {
        result.alpha = AlphaMode::kTranslucent;
    }

    int two_sided = 0;
    result.two_sided =
        material.Get(AI_MATKEY_TWOSIDED, two_sided) == aiReturn_SUCCESS && two_sided != 0;
    return result;
}

std::vector<TextureUse> ShareTextures(const std::vector<SourceMaterial>& materials,
                                      std::vector<uint32_t>& texture_of)
{
    std::vector<TextureUse> textures;
    texture_of.clear();
    for (const SourceMaterial& material : materials)
    {
        TextureUse use;
        if (!material.texture.empty())
            use = {material.texture, material.wrap_u, material.wrap_v};
        auto found = std::find(textures.begin(), textures.end(), use);
        texture_of.push_back(static_cast<uint32_t>(found - textures.begin()));
        if (found == textures.end())
            textures.push_back(use);
    }
    return textures;
}
