#ifndef MDLEXPORT_EXPORT_GEOSET_WRITER_H
#define MDLEXPORT_EXPORT_GEOSET_WRITER_H

#include "host_model_lib.h"
#include "mdl_stream.h"

// Appends the Geoset block of `mesh` to `out`: positions, normals, texture
// coordinates, vertex groups, faces, one matrix group per bone of `model`, and
// the fixed extents and material lines. The normals' scratch array comes from
// the stream's allocator and is released before it returns; if it is refused,
// the stream is marked failed and the block is left incomplete.
void WriteGeoset(MdlStream& out, ModelHandle model, MeshHandle mesh);

#endif
