// The invariants of a completed export's text, checked by the fuzz target and
// by the replay of its inputs through the Windows module.
#ifndef MDLEXPORT_FUZZ_OUTPUT_CHECK_H
#define MDLEXPORT_FUZZ_OUTPUT_CHECK_H

#include "hostile_model.h"

#include <string>

// Reads `bytes`, the whole file of a run that returned 0, from front to back:
// the header with the model's counts; one Geoset block per mesh with a row per
// vertex in each of its four lists, the bone index of every vertex and the
// corners of every triangle exactly as the host reported them, and the matrix
// groups; one Bone block per bone with its name as the export holds it, its
// Parent line exactly where a bone bears the parent's name, and a row per key;
// the PivotPoints block with a row per bone; and a final "}" with no line end
// after it. Every line ends in CR LF and every "%f" is digits, a point and six
// decimals: no "nan", no "inf", no exponent. Returns "" when the file is so,
// otherwise the first difference and where it is.
std::string CheckCompleteOutput(const std::string& bytes, const HostileExpectations& expect);

#endif
