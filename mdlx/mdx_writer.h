// Writes a model as MDX, the binary form: little-endian, chunk by chunk in
// the order the format keeps (VERS, MODL, SEQS, GLBS, MTLS, TEXS, TXAN, GEOS,
// GEOA, BONE, LITE, HELP, ATCH, PIVT, PREM, PRE2, RIBB, CAMS, EVTS, CLID),
// an empty chunk left out, names in fixed fields of 80 or 260 bytes padded
// with zeros, every object's size counting its own size field. Geosets hold
// their triangles as one group. A node's flags gain its kind's bit as
// mdx-m3-viewer writes it (bone 0x100, light 0x200, event object 0x400,
// attachment 0x800, particle emitter 0x1000, collision shape 0x2000, ribbon
// emitter 0x4000; helpers and particle emitters 2 none).
#ifndef MDLEXPORT_MDLX_MDX_WRITER_H
#define MDLEXPORT_MDLX_MDX_WRITER_H

#include "model.h"

#include <string>

namespace mdlx
{

// Replaces `out` with the MDX bytes of `model`. The model is validated first
// (validate.h): a model that breaks a rule, a name longer than its field
// included, is refused with the rule in the status and `out` left empty.
// `file` names the output in messages.
Status WriteMdx(const Model& model, std::string& out, const std::string& file);

} // namespace mdlx

#endif
