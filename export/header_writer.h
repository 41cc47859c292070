// The first block of the file: the version, the model's header and the
// separator block with the paste marker.
#ifndef MDLEXPORT_EXPORT_HEADER_WRITER_H
#define MDLEXPORT_EXPORT_HEADER_WRITER_H

#include "host_model_lib.h"
#include "mdl_stream.h"

// Appends the header and the separator block with the paste marker.
void WriteModelHeader(MdlStream& out, ModelHandle model);

#endif
