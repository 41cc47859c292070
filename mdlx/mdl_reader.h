// Reads a model from MDL text, FormatVersion 800 only: what the plug-in
// writes once a heading is in place, what mdx-m3-viewer writes, what
// mdl_writer.h writes, and hand-edited files (tabs or spaces, LF or CR LF,
// comments anywhere between tokens, integers where a float belongs,
// exponents). Tokens and numbers are read as mdl_tokenizer.h says, and every
// field the text leaves out keeps its default (model.h).
//
// Refused, with `FILE:LINE:COLUMN: BLOCK PATH: what is wrong`:
// - a count that disagrees with the rows that follow (Vertices, Normals,
//   TVertices, Faces, Groups, Sequences, Textures, Materials, tracks, ...);
//   the place is the '}' that comes early, or the first row too many;
// - an unknown block or keyword, an unknown interpolation or filter mode;
// - a number that is not one, or out of its field's range;
// - a file that ends inside a block;
// - another FormatVersion;
// and after parsing, a model that breaks a rule of validate.h (then the
// message has no line: `FILE: BLOCK PATH: what`).
// The Model block's Num... counts are informative: the plug-in's heading may
// announce blocks it does not have, so they are read and not compared.
#ifndef MDLEXPORT_MDLX_MDL_READER_H
#define MDLEXPORT_MDLX_MDL_READER_H

#include "model.h"

#include <string>
#include <string_view>

namespace mdlx
{

// Fills `model` from `text`; `file` names it in messages. On a refusal
// `model` is left empty.
Status ReadMdl(std::string_view text, const std::string& file, Model& model);

} // namespace mdlx

#endif
