// The attachment points of a model: the scene nodes named as the game names
// them (a name ending in " Ref": "Origin Ref", "Overhead Ref", "Hand Left
// Ref", ...), each following the bone of its node or of its nearest ancestor
// that has one, and an "Origin Ref" at the model's origin where the scene has
// none. Plain arrays; nothing here reads a scene or writes a model.
#ifndef MDLEXPORT_IMPORTER_ATTACHMENT_POINTS_H
#define MDLEXPORT_IMPORTER_ATTACHMENT_POINTS_H

#include <cstdint>
#include <string>
#include <vector>

// What the choice needs of one node, in preorder (parents first).
struct AttachmentNode
{
    std::string name;
    int32_t parent = -1; // an earlier node, or -1
    int32_t bone = -1;   // the node's first bone, or -1
};

struct AttachmentPoint
{
    std::string name;
    int32_t node = -1;        // -1 for the added "Origin Ref"
    int32_t parent_bone = -1; // the bone it follows, or -1: none (it stays still)
};

// True for a name the game reads as an attachment point's: " Ref" at its end
// after at least one other byte.
bool IsAttachmentName(const std::string& name);

// The attachment points of `nodes`, in node order, then the added origin. A
// scene's origin counts as one when its name starts with "Origin Ref" (so
// does the game's own check).
std::vector<AttachmentPoint> FindAttachmentPoints(const std::vector<AttachmentNode>& nodes);

#endif
