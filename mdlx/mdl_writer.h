// Writes a model as MDL text in one canonical layout that this library's
// reader and mdx-m3-viewer read back: tabs for indentation, CR LF line ends,
// blocks in the MDX's chunk order, each block's fixed values first and its
// tracks after them in the order the model keeps them (so that MDX -> MDL ->
// MDX gives the same bytes). Floats are written in their shortest form that
// reads back as the same float through a double (as the readers read them),
// integers in decimal; nothing depends on the locale.
//
// Values the usual MDL leaves out are written when they are not their
// defaults, so that nothing is lost: a Layer's static TextureID and Alpha
// beside their tracks, a Sequence's SyncPoint (a keyword of this library's
// own, written only when not 0), a ParticleEmitter's Path whatever its flags.
#ifndef MDLEXPORT_MDLX_MDL_WRITER_H
#define MDLEXPORT_MDLX_MDL_WRITER_H

#include "model.h"

#include <string>

namespace mdlx
{

// Replaces `out` with the MDL text of `model`, validated first (validate.h);
// `file` names the output in messages. A refused model leaves `out` empty.
Status WriteMdl(const Model& model, std::string& out, const std::string& file);

// Appends the shortest text of `value` that reads back as `value`.
void AppendMdlFloat(std::string& out, float value);

} // namespace mdlx

#endif
