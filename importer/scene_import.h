// Fills a stand-in host model from a scene file that Assimp reads (glTF, FBX,
// Collada, X, SMD, OBJ and the rest), as the host would hold the same model,
// so that the unchanged export writes it as an MDL that animates as the
// source does.
//
// What the host model gets:
// - Axes: the host's are glTF's (+Y up). A source whose metadata records
//   another up axis (FBX's UpAxis and UpAxisSign), or that the options say
//   is Z-up, is turned so that its up axis becomes +Y; +Z up becomes +Y and
//   -Y (the usual Z-up front) becomes +Z: (x, y, z) -> (x, z, -y).
// - Meshes: every triangle mesh placed in the scene, once per node that
//   places it, in the rest pose in model space: the model as the scene shows
//   it without animation. A skinned vertex stands where its heaviest skin
//   bone puts it with the joints at their own (node) transforms, joint global
//   times the bone's offset matrix times the vertex, as Assimp gives the skin
//   (no transform of the mesh's node on top, as glTF rules; Collada's bind
//   shape is in the offset); any other vertex stands where its mesh's node
//   (scale included) puts it. The geometry without keys, the still sequences
//   and the keys' motion all come from this one reading. Texture coordinates are the first
//   set with v turned to 1 - v. A mesh of more vertices than the options'
//   geoset limit (7,432 unless set; 65,536 at most) becomes several host
//   meshes, each a patch of its surface (mesh_split.h). Points, lines, further texture coordinate
//   sets and morph targets are dropped, each with a note.
// - Bones: every node that skins a vertex or carries an animation channel,
//   and their ancestors below the scene root, parents before children; in a
//   scene with bones, also the node of every mesh with vertices that no bone
//   skins. Names are cut to 31 bytes and made unique. A bone's position puts
//   its pivot on the joint at rest. A scene without bones gets one bone
//   "Root" at the origin that every vertex follows.
// - Vertices: each follows its heaviest bone (ties: the lower host bone index);
//   one that no bone skins follows its mesh node's bone.
// - Size: as the source says, unless the options scale it or set its height,
//   and put its lowest point on the ground. A model under 10 or over 2,000
//   units tall (a game figure is about 100 to 200) gets a note naming
//   --height.
// - Names: Collada nodes by name (not id); an FBX take's "Object|" prefix
//   dropped where the rest of the name is unique, and a take that repeats an
//   earlier one of the same name key for key dropped with a note.
// - Texture: the first material's diffuse texture, repeating unless its
//   sampler clamps; an image inside the file under its own name, its bytes
//   in the summary for the caller to write.
// - Animation: each animation sampled at every whole frame (24 per second)
//   from its time 0 to its end and at the end itself, each starting on a whole
//   second of the host's single timeline after the one before; the keys are
//   the MDL's own translation and rotation about each pivot (bone_tracks.h),
//   with keys that interpolation reproduces dropped unless kept by the options;
//   each sequence's extent is the box of its posed vertices over its samples.
//
// Nothing here throws: every failure is a false return and a message.
#ifndef MDLEXPORT_IMPORTER_SCENE_IMPORT_H
#define MDLEXPORT_IMPORTER_SCENE_IMPORT_H

#include "host_model_lib.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct aiScene;
namespace Assimp
{
class Importer;
}

enum class UpAxisChoice
{
    kFromFile, // the file's metadata, else +Y
    kY,
    kZ,
};

struct ImportOptions
{
    UpAxisChoice up = UpAxisChoice::kFromFile;
    bool keep_all_keys = false; // every sampled key, even those interpolation reproduces
    // The most vertices in one host mesh (one geoset): a mesh with more is
    // cut into several. Held between 3 and 65,536 (corners are 16-bit); the
    // default stays below the 7,433 that the game is known to draw wrongly.
    uint32_t geoset_vertex_limit = 7432;
    // Called with a step ("reading", "sampling") and the share of it done,
    // from 0 to 1, as the import goes; may be empty.
    std::function<void(const char* step, double fraction)> progress;
    // Size: a uniform scale (1: none), or the rest pose's height to scale to
    // (0: none; it wins over `scale`), then with `ground` the model moved up
    // or down so that the rest pose's lowest point is at height 0. They apply
    // to the geometry, the pivots and the translation keys alike.
    double scale = 1.0;
    double height = 0.0;
    bool ground = false;
    // Each sequence's extent from the host model's posed vertices (the
    // summary's); off where the caller measures its own.
    bool sequence_extents = true;
};

// One sequence of the host timeline.
struct ImportedSequence
{
    std::string name;        // cleaned for the MDL's quotes; never empty
    float start_frame = 0.0; // host frames, a whole second
    float end_frame = 0.0;
    int32_t start_ms = 0; // FrameToMdlTime of the frames: the keys' own times
    int32_t end_ms = 0;
    int32_t animation = -1; // the source animation, or -1 for the still "Stand"
    // The box of the posed vertices over every sampled frame of it, in MDL
    // axis order (host z, x, y); without it the rest pose's bounds stand in.
    bool has_extent = false;
    double minimum[3] = {0.0, 0.0, 0.0};
    double maximum[3] = {0.0, 0.0, 0.0};
};

// What an import made, beyond the host model: what a heading needs, and where
// each host mesh and bone came from.
struct ImportSummary
{
    // One per source animation, in order; a scene without animations gets one
    // still sequence "Stand" of one second.
    std::vector<ImportedSequence> sequences;
    // The diffuse texture file of the first material that names one, as the
    // source recorded it; for an image inside the file, its own name with
    // the extension of its format ("Bricks.png"); empty when there is none.
    std::string texture_path;
    // The bytes of that image when it is inside the file (PNG or JPEG, as
    // stored), for the caller to write beside the output under texture_path.
    std::string embedded_image;
    // Whether the texture repeats across its width and height: as the
    // source's sampler says, repeating unless it clamps (every format's default).
    bool wrap_width = false;
    bool wrap_height = false;
    // The rest pose's bounds in MDL axis order (host z, x, y); zero when empty.
    double minimum[3] = {0.0, 0.0, 0.0};
    double maximum[3] = {0.0, 0.0, 0.0};
    // Source space to model space, rows first (3 x 4): the up axis turned to
    // +y, then the options' size and ground. host = to_model * source.
    double to_model[3][4] = {{1.0, 0.0, 0.0, 0.0}, {0.0, 1.0, 0.0, 0.0}, {0.0, 0.0, 1.0, 0.0}};

    struct MeshOrigin
    {
        int32_t source_mesh = -1;            // index into the scene's meshes
        int32_t node = -1;                   // the placing node, in preorder from the root (0)
        std::vector<uint32_t> source_vertex; // per host vertex
        bool reversed = false;               // corners reversed: the node mirrors
    };
    std::vector<MeshOrigin> meshes;
    struct BoneOrigin
    {
        int32_t node = -1; // preorder index; -1 for the added "Root"
        // The bind transform in model space (rows first, 3 x 4) whose
        // inverse the skinning uses.
        double bind[3][4] = {{1.0, 0.0, 0.0, 0.0}, {0.0, 1.0, 0.0, 0.0}, {0.0, 0.0, 1.0, 0.0}};
    };
    std::vector<BoneOrigin> bones;
};

// Reads `path` with Assimp and fills `model` (an empty stand-in model). On
// failure returns false with `error` naming the file and the reason (Assimp's
// own message for a file it cannot read); `model` may then hold part of the
// scene and should be freed. `notes` gets one line for everything dropped or
// changed. `summary` may be null.
bool ImportScene(const std::string& path, const ImportOptions& options, ModelHandle model,
                 std::string& error, std::vector<std::string>& notes,
                 ImportSummary* summary = nullptr);

// The same for a scene already in memory, read as ReadSceneFile reads one
// (triangulated, identical vertices joined, primitive types sorted apart).
// `source_name` names it in messages.
bool ImportAssimpScene(const aiScene& scene, const std::string& source_name,
                       const ImportOptions& options, ModelHandle model, std::string& error,
                       std::vector<std::string>& notes, ImportSummary* summary = nullptr);

// True when `path`'s extension (".gltf", ".fbx", ...; any case) names a
// format that the importer reads.
bool IsSceneFileName(const std::string& path);

// Reads `path` as ImportScene does (the same importer settings and
// post-processing); null on failure, with the reason in the importer's
// GetErrorString. The scene belongs to `importer`.
const aiScene* ReadSceneFile(Assimp::Importer& importer, const std::string& path);

#endif
