// The stand-in model library: the host's twenty functions over an in-memory
// model, for every place where the host itself is absent (the command-line
// exporter, the tests, the Windows test host).
//
// A model is built with the calls below, handed to the export, and freed by
// whoever created it with StandIn_FreeModel. msModel_Destroy releases the
// model's contents and counts the call, so that a caller can see whether, and
// how often, the export destroyed the model.
//
// The construction calls copy what they are given. They do not check corner or
// bone indices: a stand-in model may hold anything the host could report.
#ifndef MDLEXPORT_HOST_STAND_IN_MODEL_H
#define MDLEXPORT_HOST_STAND_IN_MODEL_H

#include "host_model_lib.h"

#ifdef __cplusplus
extern "C"
{
#endif

    MDL_MODEL_LIB_API ModelHandle StandIn_CreateModel(void);
    // Frees the model whether or not msModel_Destroy was called on it. Null is ignored.
    MDL_MODEL_LIB_API void StandIn_FreeModel(ModelHandle model);
    // How many times msModel_Destroy was called on `model`.
    MDL_MODEL_LIB_API int32_t StandIn_DestroyCount(ModelHandle model);
    // How many of the twenty library functions were called, in this process, on
    // any model. Lets a test see that a run touched nothing.
    MDL_MODEL_LIB_API int64_t StandIn_LibraryCallCount(void);

    // Appends a mesh; `name` may be null. The handle stays valid while the model lives.
    MDL_MODEL_LIB_API MeshHandle StandIn_AddMesh(ModelHandle model, const char* name);
    // Reserves room, so that loading a large mesh allocates once.
    MDL_MODEL_LIB_API void StandIn_ReserveMesh(MeshHandle mesh, int32_t vertices,
                                               int32_t triangles);
    MDL_MODEL_LIB_API void StandIn_AddVertex(MeshHandle mesh, float x, float y, float z, float u,
                                             float v, int32_t bone_index);
    MDL_MODEL_LIB_API void StandIn_AddTriangle(MeshHandle mesh, uint16_t i0, uint16_t i1,
                                               uint16_t i2);

    // Appends a bone. Names longer than 31 bytes are cut to 31; null is "".
    MDL_MODEL_LIB_API BoneHandle StandIn_AddBone(ModelHandle model, const char* name,
                                                 const char* parent_name, float x, float y,
                                                 float z);
    MDL_MODEL_LIB_API void StandIn_ReserveKeys(BoneHandle bone, int32_t position_keys,
                                               int32_t rotation_keys);
    MDL_MODEL_LIB_API void StandIn_AddPositionKey(BoneHandle bone, float time, float x, float y,
                                                  float z);
    MDL_MODEL_LIB_API void StandIn_AddRotationKey(BoneHandle bone, float time, float x, float y,
                                                  float z);
    // Makes msBone_GetName copy these bytes as they are, up to 32 and up to the size
    // it is given, without terminating them: a host that misbehaves.
    MDL_MODEL_LIB_API void StandIn_SetRawName(BoneHandle bone, const char raw[32]);

#ifdef __cplusplus
}
#endif

#endif
