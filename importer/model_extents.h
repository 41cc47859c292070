// The boxes and bounds radii of posed vertices: per geoset and sequence, and
// from those each geoset's, each sequence's and the model's. Plain numbers;
// nothing here reads a scene or writes a model.
#ifndef MDLEXPORT_IMPORTER_MODEL_EXTENTS_H
#define MDLEXPORT_IMPORTER_MODEL_EXTENTS_H

#include "pose_math.h"

#include <algorithm>
#include <cstddef>
#include <vector>

// The box around points; empty until one is added.
struct Box
{
    Vec3d minimum;
    Vec3d maximum;
    bool empty = true;

    void Add(Vec3d point)
    {
        if (empty)
        {
            minimum = maximum = point;
            empty = false;
            return;
        }
        minimum = {std::min(minimum.x, point.x), std::min(minimum.y, point.y),
                   std::min(minimum.z, point.z)};
        maximum = {std::max(maximum.x, point.x), std::max(maximum.y, point.y),
                   std::max(maximum.z, point.z)};
    }
    void Add(const Box& other);
    // Half the box's diagonal: the radius of the sphere about the box's
    // centre that holds the box. 0 for an empty box.
    double BoundsRadius() const;
};

// One box per geoset and sequence, filled as the frames are posed.
class ExtentTable
{
  public:
    ExtentTable(size_t geosets, size_t sequences);

    void Add(size_t geoset, size_t sequence, Vec3d point)
    {
        boxes_[geoset * sequences_ + sequence].Add(point);
    }
    const Box& Of(size_t geoset, size_t sequence) const
    {
        return boxes_[geoset * sequences_ + sequence];
    }
    Box Geoset(size_t geoset) const;     // over every sequence
    Box Sequence(size_t sequence) const; // over every geoset
    Box Model() const;                   // over everything

  private:
    size_t geosets_;
    size_t sequences_;
    std::vector<Box> boxes_;
};

#endif
