// Reads a model from MDX bytes, FormatVersion 800 only. Every size and count
// is checked against the bytes that remain in its chunk or object before it
// is used, so no input makes the reader look past its end or allocate more
// than the file could hold; an object must fill its size exactly. Floats must
// be finite. After parsing, the model is validated (validate.h).
#ifndef MDLEXPORT_MDLX_MDX_READER_H
#define MDLEXPORT_MDLX_MDX_READER_H

#include "model.h"

#include <cstddef>
#include <string>

namespace mdlx
{

// Fills `model` from the `size` bytes at `data`. On a refusal the status says
// `FILE: at byte OFFSET: BLOCK PATH: what is wrong` and `model` is left empty.
Status ReadMdx(const void* data, size_t size, const std::string& file, Model& model);

} // namespace mdlx

#endif
