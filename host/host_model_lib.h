// The host's model library, as the export sees it: twenty plain C functions,
// imported by name from msModelLib.dll, and the records they fill.
//
// Every handle is an opaque pointer that stays valid for one Run call. Indices,
// counts and buffer sizes are signed 32-bit; the functions use the C calling
// convention. The export only asks for indices below a count it has just
// fetched, except for triangle corners, which it uses as reported.
#ifndef MDLEXPORT_HOST_HOST_MODEL_LIB_H
#define MDLEXPORT_HOST_HOST_MODEL_LIB_H

#include <stdint.h>

#if defined(_WIN32) && defined(MDL_BUILDING_MODEL_LIB)
#define MDL_MODEL_LIB_API __declspec(dllexport)
#else
#define MDL_MODEL_LIB_API
#endif

#ifdef __cplusplus
extern "C"
{
#endif

    typedef struct HostModel* ModelHandle;
    typedef struct HostMesh* MeshHandle;
    typedef struct HostVertex* VertexHandle;
    typedef struct HostTriangle* TriangleHandle;
    typedef struct HostBone* BoneHandle;

    // A position or direction in the host's axes.
    typedef struct Vec3
    {
        float x, y, z;
    } Vec3;

    // Texture coordinates.
    typedef struct Vec2
    {
        float u, v;
    } Vec2;

    // The three corners of a triangle, in corner order.
    typedef struct VertexIndexTriple
    {
        uint16_t corner[3];
    } VertexIndexTriple;

    // A translation key: host frame, then the offset.
    typedef struct PositionKey
    {
        float time;
        Vec3 position;
    } PositionKey;

    // A rotation key: host frame, then angles about x, y and z in radians.
    typedef struct RotationKey
    {
        float time;
        Vec3 rotation;
    } RotationKey;

    enum
    {
        kNameBufferSize = 32 // a terminated name of at most 31 bytes
    };

    MDL_MODEL_LIB_API int32_t msModel_GetMeshCount(ModelHandle model);
    MDL_MODEL_LIB_API MeshHandle msModel_GetMeshAt(ModelHandle model, int32_t index);
    MDL_MODEL_LIB_API int32_t msMesh_GetVertexCount(MeshHandle mesh);
    MDL_MODEL_LIB_API VertexHandle msMesh_GetVertexAt(MeshHandle mesh, int32_t index);
    MDL_MODEL_LIB_API void msVertex_GetVertex(VertexHandle vertex, Vec3* position);
    MDL_MODEL_LIB_API void msVertex_GetTexCoords(VertexHandle vertex, Vec2* uv);
    MDL_MODEL_LIB_API int32_t msVertex_GetBoneIndex(VertexHandle vertex);
    MDL_MODEL_LIB_API int32_t msMesh_GetTriangleCount(MeshHandle mesh);
    MDL_MODEL_LIB_API TriangleHandle msMesh_GetTriangleAt(MeshHandle mesh, int32_t index);
    MDL_MODEL_LIB_API void msTriangle_GetVertexIndices(TriangleHandle triangle,
                                                       VertexIndexTriple* corners);
    MDL_MODEL_LIB_API int32_t msModel_GetBoneCount(ModelHandle model);
    MDL_MODEL_LIB_API BoneHandle msModel_GetBoneAt(ModelHandle model, int32_t index);
    // Fills at most size-1 bytes of `name` and terminates it.
    MDL_MODEL_LIB_API void msBone_GetName(BoneHandle bone, char* name, int32_t size);
    // The parent's name; for a root, a name that no bone bears.
    MDL_MODEL_LIB_API void msBone_GetParentName(BoneHandle bone, char* name, int32_t size);
    // The bone's offset from its parent's pivot.
    MDL_MODEL_LIB_API void msBone_GetPosition(BoneHandle bone, Vec3* position);
    MDL_MODEL_LIB_API int32_t msBone_GetPositionKeyCount(BoneHandle bone);
    MDL_MODEL_LIB_API PositionKey* msBone_GetPositionKeyAt(BoneHandle bone, int32_t index);
    MDL_MODEL_LIB_API int32_t msBone_GetRotationKeyCount(BoneHandle bone);
    MDL_MODEL_LIB_API RotationKey* msBone_GetRotationKeyAt(BoneHandle bone, int32_t index);
    // Releases the model; the last call of a completed export.
    MDL_MODEL_LIB_API void msModel_Destroy(ModelHandle model);

#ifdef __cplusplus
}
#endif

#endif
