// Host rotation angles from a rotation: the inverse of the export's
// EulerToMdlQuaternion (export/mdl_convert.h), which turns three angles into
// q(x)·q(z)·q(y), that is the matrix Rx(a)·Rz(c)·Ry(b) in host axes.
#ifndef MDLEXPORT_IMPORTER_MDL_EULER_H
#define MDLEXPORT_IMPORTER_MDL_EULER_H

#include "host_model_lib.h"
#include "pose_math.h"

// Angles (x = a, y = b, z = c) with Rx(a)·Rz(c)·Ry(b) = `rotation`, in double:
// c in [-pi/2, pi/2], a and b in [-pi, pi]. At gimbal lock (c = ±pi/2) any
// split of the remaining turn between a and b is right; this one stays
// accurate on the way there.
Vec3d HostAnglesFromRotation(const Mat3& rotation);

// The rotation of host angles as the export writes it, as a host-axes
// quaternion (EulerToMdlQuaternion's vector part put back in x, y, z order).
Quatd HostQuaternion(Vec3 angles);

// The angles for `rotation` as the host stores them (floats), chosen so that
// their quaternion lies on the same side as `previous` (a non-negative dot
// product): where it would not, 2π is added to or taken from the x angle,
// which turns the quaternion into its negation and leaves the rotation as
// it is. With no previous key, the angles from HostAnglesFromRotation.
Vec3 HostAnglesNear(const Mat3& rotation, const Quatd* previous);

#endif
