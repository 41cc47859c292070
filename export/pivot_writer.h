#ifndef MDLEXPORT_EXPORT_PIVOT_WRITER_H
#define MDLEXPORT_EXPORT_PIVOT_WRITER_H

#include "bone_writer.h"
#include "host_model_lib.h"
#include "mdl_stream.h"

#include <cstdint>

// Appends the PivotPoints block, one row per bone of `table` (its offset
// summed with those of its ancestors along the table), and the closing brace
// that ends the file. A walk that comes back to a bone it already passed
// stops there, so a loop of parents adds each bone at most once.
void WritePivotPoints(MdlStream& out, ModelHandle model, ParentTable table);

#endif
