#ifndef MDLEXPORT_EXPORT_BONE_WRITER_H
#define MDLEXPORT_EXPORT_BONE_WRITER_H

#include "host_model_lib.h"
#include "mdl_stream.h"

#include <cstdint>

// One entry per bone of the model, the bone count as the run read it: the
// index of the bone's parent, or -1 for none.
struct ParentTable
{
    int32_t* parents;
    int32_t count;
};

// Appends one Bone block per bone (table.count of them, in bone order): name,
// ObjectId, Parent, and the linear Translation and Rotation tracks. Fills
// `table` (each entry -1 on entry) with each bone's parent: the
// highest-numbered bone whose name equals the parent name, the bone itself
// included; -1 where no bone bears it.
void WriteBones(MdlStream& out, ModelHandle model, ParentTable table);

#endif
