// The heading an imported model needs to stand alone: the part of the MDL
// that the export leaves to its user, in place of its marker line.
#ifndef MDLEXPORT_IMPORTER_AUTO_HEADING_H
#define MDLEXPORT_IMPORTER_AUTO_HEADING_H

#include "scene_import.h"

#include <string>
#include <vector>

// `sequences` and, where none is named so (by its first word, in any case),
// a still "Stand" and "Death" of one second each after the last, on whole
// seconds.
std::vector<ImportedSequence> WithStandAndDeath(const std::vector<ImportedSequence>& sequences);

// The Sequences block (one Anim per sequence of `summary`, with its name, its
// interval in milliseconds and its extents rounded outward to whole units:
// the box of its posed vertices over every sampled frame, or the rest pose's
// for a still one, and the radius of the sphere around the box), a Textures
// block of one bitmap (the summary's texture, its slashes turned to
// backslashes, with WrapWidth and WrapHeight where it repeats, or
// "Textures\white.blp" without one) and a
// Materials block of one material showing it. Lines end in CR LF, like the
// rest of the file the export writes. Throws nothing but std::bad_alloc.
std::string AutoHeadingText(const ImportSummary& summary);

#endif
