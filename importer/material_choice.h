// What a model's material takes from a source material (Assimp's), and the
// textures that the materials share. Nothing here writes a model.
#ifndef MDLEXPORT_IMPORTER_MATERIAL_CHOICE_H
#define MDLEXPORT_IMPORTER_MATERIAL_CHOICE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct aiMaterial;

// How a layer's colour meets what is behind it.
enum class AlphaMode
{
    kOpaque,      // the layer's filter mode None
    kCutout,      // Transparent: alpha below the cut-off is not drawn
    kTranslucent, // Blend
};

struct SourceMaterial
{
    // The base colour texture (else the diffuse one) as the source names it:
    // a file path, or "*N" for the scene's embedded texture N; empty: none.
    std::string texture;
    bool wrap_u = true; // the texture repeats across u (else it is clamped)
    bool wrap_v = true;
    AlphaMode alpha = AlphaMode::kOpaque;
    bool two_sided = false;
};

// glTF's alpha mode where the source records one (OPAQUE, MASK, BLEND);
// otherwise an opacity below 1 blends. Wrapping follows the texture's
// mapping mode (wrap and mirror repeat, clamp and decal do not; none
// recorded: repeat).
SourceMaterial ReadSourceMaterial(const aiMaterial& material);

// A texture of the model: a source image with its wrapping, or the plain
// white texture that stands in for a material without one.
struct TextureUse
{
    std::string source; // as SourceMaterial::texture; empty for the white one
    bool wrap_u = false;
    bool wrap_v = false;

    bool operator==(const TextureUse&) const = default;
};

// The textures of `materials`, each distinct image and wrapping once in the
// order first used, the white texture once where a material has none;
// `texture_of` gets each material's.
std::vector<TextureUse> ShareTextures(const std::vector<SourceMaterial>& materials,
                                      std::vector<uint32_t>& texture_of);

#endif
