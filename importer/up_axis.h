// The turn that stands a scene upright in the host's axes (+Y up, glTF's).
#ifndef MDLEXPORT_IMPORTER_UP_AXIS_H
#define MDLEXPORT_IMPORTER_UP_AXIS_H

#include "pose_math.h"

struct aiScene;

// An up axis: 0, 1, 2 for x, y, z, and its sign, +1 or -1.
struct UpAxis
{
    int axis = 1;
    int sign = 1;
};

// The up axis a file records: "UpAxis" (0, 1, 2) and "UpAxisSign" (+1 or
// -1, +1 when absent) in the scene's metadata, as 32- or 64-bit integers or
// as floats. False when it records none, or an axis that is not 0, 1 or 2.
bool RecordedUpAxis(const aiScene& scene, UpAxis& up);

// The rotation that takes the up axis to +Y by the shortest turn: +Z up
// becomes +Y, and -Y (the usual Z-up front) becomes +Z: (x, y, z) -> (x, z, -y).
Mat3 UpRotation(UpAxis up);

#endif
