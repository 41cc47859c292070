#include "model_extents.h"

#include <algorithm>
#include <cmath>

void Box::Add(const Box& other)
{
    if (other.empty)
        return;
    Add(other.minimum);
    Add(other.maximum);
}

double Box::BoundsRadius() const
{
    return empty ? 0.0 : Length(Subtract(maximum, minimum)) / 2.0;
}

ExtentTable::ExtentTable(size_t geosets, size_t sequences)
    : geosets_(geosets), sequences_(sequences), boxes_(geosets * sequences)
{
}

Box ExtentTable::Geoset(size_t geoset) const
{
    Box box;
    for (size_t s = 0; s < sequences_; ++s)
        box.Add(Of(geoset, s));
    return box;
}

Box ExtentTable::Sequence(size_t sequence) const
{
    Box box;
    for (size_t g = 0; g < geosets_; ++g)
        box.Add(Of(g, sequence));
    return box;
}

Box ExtentTable::Model() const
{
    Box box;
    for (const Box& each : boxes_)
        box.Add(each);
    return box;
}
