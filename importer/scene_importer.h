// The scene importer's steps and what they share, for the files that hold
// them (scene_import.cpp: nodes, bones and animation; host_meshes.cpp: the
// host meshes). Not part of the importer's interface: scene_import.h is.
#ifndef MDLEXPORT_IMPORTER_SCENE_IMPORTER_H
#define MDLEXPORT_IMPORTER_SCENE_IMPORTER_H

#include "bone_choice.h"
#include "host_model_lib.h"
#include "mesh_split.h"
#include "pose_math.h"
#include "scene_import.h"
#include "scene_pose.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct aiFace;
struct aiMesh;
struct aiScene;
struct aiBone;

// A mesh as one node places it.
struct MeshInstance
{
    int32_t node = -1;
    uint32_t mesh = 0;
};

// A skin bone of a placed mesh, read once for every use of it.
struct SkinBone
{
    const aiBone* bone = nullptr;
    int32_t node = -1;     // the node it names, or -1
    Affine bind;           // its node at rest, where it names a node
    Affine placement;      // its SkinPlacement: where the vertices it carries stand
    bool singular = false; // its offset matrix cannot be inverted
    bool skins = false;    // a weight of it counts
};

// A source name in a note: one line, whatever the file holds.
std::string Quoted(const std::string& text);

// True for a face of three corners that holds its corners.
bool IsTriangle(const aiFace& face);

// `value` with 4 significant digits, in any locale ("1.8", "180", "2.5e+04").
std::string ShortNumber(double value);

// `value` rounded to float; one that is not finite as a float becomes 0 and
// is counted in `replaced`.
float ToFiniteFloat(double value, size_t& replaced);

// Everything one import works on.
class SceneImporter
{
  public:
    SceneImporter(const aiScene& scene, const std::string& source_name,
                  const ImportOptions& options, ModelHandle model, std::vector<std::string>& notes)
        : scene_(scene), source_(source_name), options_(options), model_(model), notes_(notes)
    {
    }

    bool Run(std::string& error, ImportSummary& summary);

  private:
    // The steps of Run, in order. scene_import.cpp:
    void ChooseAxes();    // up_: the source's up axis turned to +Y
    void FindInstances(); // instances_: every mesh as each node places it
    std::vector<SkinBone> SkinBonesOf(const MeshInstance& instance) const;
    bool HasUnskinnedVertices(const MeshInstance& instance) const;
    void FindBones();                          // bones_: ChooseBones over what the scene asks
    void AddHostBones(ImportSummary& summary); // host_bones_, pivots on the bind-pose joints
    // host_meshes.cpp: the meshes in the rest pose, cut to the host's vertex limit.
    void AddHostMeshes(ImportSummary& summary);
    void NoteDroppedMeshParts(const aiMesh& mesh, size_t other_faces);
    // Each vertex's host bone, and where it stands at rest: an index into
    // `placements` (the skin bones' SkinPlacement, then the mesh's node).
    std::vector<int32_t> BonesOfVertices(const MeshInstance& instance,
                                         std::vector<Affine>& placements,
                                         std::vector<uint32_t>& placement_of_vertex);
    void AddHostMesh(const MeshInstance& instance, const MeshPiece& piece,
                     const std::vector<int32_t>& bone_of_vertex,
                     const std::vector<Affine>& placements,
                     const std::vector<uint32_t>& placement_of_vertex, bool reverse,
                     ImportSummary& summary);
    void MeasureBounds(ImportSummary& summary); // the summary's bounds, model_size_
    // The rest pose's lowest and highest point along the host's up axis (y),
    // as the meshes would be added now; false when there is no vertex.
    bool RestHeightRange(double& low, double& high);
    // up_ with the options' scale or height and ground applied, and the
    // bones chosen again (their notes from `notes_of_bones` on made anew).
    bool ApplySize(std::string& error, size_t notes_of_bones);
    // scene_import.cpp again:
    // The animations that become sequences and their names: exact duplicates
    // of an earlier one under the same name dropped, an FBX take's "Object|"
    // prefix dropped where the rest is unique.
    std::vector<std::pair<unsigned, std::string>> NameAnimations();
    bool LayOutSequences(std::string& error, ImportSummary& summary); // one per animation
    // The bones' keys, from SamplePoses, and each sequence's extent.
    void SampleAnimations(ImportSummary& summary);
    void FindTexture(ImportSummary& summary);
    void NoteDroppedContent();
    Affine ModelGlobal(const Affine& source_global) const
    {
        return Multiply(up_, source_global);
    }
    Affine NodeRest(int32_t node) const
    {
        return ModelGlobal(nodes_.nodes[static_cast<size_t>(node)].rest_global);
    }
    void Note(const std::string& text)
    {
        notes_.push_back(text);
    }

    const aiScene& scene_;
    std::string source_;
    ImportOptions options_;
    ModelHandle model_;
    std::vector<std::string>& notes_;

    Affine up_;
    SceneNodes nodes_;
    std::vector<MeshInstance> instances_;
    BoneChoice bones_;
    std::vector<BoneHandle> host_bones_; // one per bone of bones_
    double model_size_ = 0.0;
    size_t replaced_values_ = 0;
};

#endif
