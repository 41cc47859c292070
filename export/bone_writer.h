#ifndef MDLEXPORT_EXPORT_BONE_WRITER_H
#define MDLEXPORT_EXPORT_BONE_WRITER_H

#include "host_model_lib.h"
#include "mdl_stream.h"

#include <cstdint>

// Appends one Bone block per bone of `model`, in bone order: name, ObjectId,
// Parent, and the linear Translation and Rotation tracks. Fills
// `parent_table` (the model's bone count of entries, each -1 on entry) with
// each bone's parent: the highest-numbered bone whose name equals the parent
// name, the bone itself included; -1 where no bone bears it.
void WriteBones(MdlStream& out, ModelHandle model, int32_t* parent_table);

#endif
