#include "attachment_points.h"

#include <cstddef>

namespace
{

const char kOrigin[] = "Origin Ref";

} // namespace

bool IsAttachmentName(const std::string& name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, " Ref") == 0;
}

std::vector<AttachmentPoint> FindAttachmentPoints(const std::vector<AttachmentNode>& nodes)
{
    std::vector<AttachmentPoint> points;
    bool origin = false;
    for (size_t i = 0; i < nodes.size(); ++i)
    {
        if (!IsAttachmentName(nodes[i].name))
            continue;
        AttachmentPoint point;
        point.name = nodes[i].name;
        point.node = static_cast<int32_t>(i);
        // The node's own bone, else its nearest ancestor's; a parent index
        // that does not come earlier (a malformed list) ends the walk.
        int32_t at = static_cast<int32_t>(i);
        while (at >= 0 && nodes[static_cast<size_t>(at)].bone < 0)
        {
            int32_t parent = nodes[static_cast<size_t>(at)].parent;
            at = parent < at ? parent : -1;
        }
        point.parent_bone = at >= 0 ? nodes[static_cast<size_t>(at)].bone : -1;
        origin = origin || point.name.rfind(kOrigin, 0) == 0;
        points.push_back(point);
    }
    if (!origin)
        points.push_back({kOrigin, -1, -1});
    return points;
}
