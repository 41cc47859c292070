// What the MDL reader's parts share: the tokenizer, the model being filled,
// the block path for messages, and the readers of the pieces every block
// uses (counted rows, tracks, extents, the node keywords). Internal to the
// library.
#ifndef MDLEXPORT_MDLX_MDL_READ_CONTEXT_H
#define MDLEXPORT_MDLX_MDL_READ_CONTEXT_H

#include "mdl_tokenizer.h"
#include "model.h"
#include "track_kinds.h"

#include <limits>
#include <string>
#include <type_traits>

namespace mdlx
{

constexpr int64_t kI32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kI32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kU32Max = std::numeric_limits<uint32_t>::max();

struct MdlReadContext
{
    MdlTokenizer& in;
    Model& model;

    // Names a block in messages while it is read.
    struct Scope
    {
        Scope(MdlTokenizer& tokenizer, std::string name) : in(tokenizer)
        {
            in.path.push_back(std::move(name));
        }
        ~Scope()
        {
            in.path.pop_back();
        }
        MdlTokenizer& in;
    };

    // The next keyword of a block into `key` ("static X" as one, its place in
    // `at`); false once the block's '}' is passed.
    bool Key(std::string& key, size_t& at)
    {
        if (in.TryClose())
            return false;
        at = in.Skip();
        if (in.PeekChar() == '{' || in.PeekChar() == '"')
            in.Fail(at, "a keyword expected");
        key.assign(in.Word("a keyword"));
        if (key == "static")
        {
            key.push_back(' ');
            key.append(in.Word("a keyword"));
        }
        return true;
    }
    [[noreturn]] void Unknown(size_t at, const std::string& key)
    {
        in.Fail(at, "unknown keyword \"" + key + "\"");
    }
    int32_t I32()
    {
        return int32_t(in.Integer(kI32Min, kI32Max));
    }
    uint32_t U32()
    {
        return uint32_t(in.Integer(0, kU32Max));
    }
    template <typename T, size_t N> void Vector(std::array<T, N>& out)
    {
        in.Open();
        for (T& value : out)
        {
            if constexpr (std::is_same_v<T, float>)
                value = in.Float();
            else
                value = T(in.Integer(0, std::numeric_limits<T>::max()));
        }
        in.Close();
    }
    // { r, g, b } into blue, green, red.
    void Color(Vec3& out)
    {
        in.Open();
        for (int i = 2; i >= 0; --i)
            out[size_t(i)] = in.Float();
        in.Close();
    }
    // Refuses `found` rows where `announced` were: at the early '}', or at
    // the first row too many.
    void CountCheck(int64_t announced, size_t found, size_t close_at, size_t extra_at,
                    const std::string& what)
    {
        if (found == size_t(announced))
            return;
        in.Fail(found < size_t(announced) ? close_at : extra_at,
                std::to_string(announced) + " " + what + " announced, " + std::to_string(found) +
                    " found");
    }
    // Room for `count` items of at least `min_bytes` of text each, never more
    // than the rest of the text could hold.
    size_t Reserve(int64_t count, size_t min_bytes)
    {
        const size_t left = (in.Size() - in.Offset()) / min_bytes + 1;
        return size_t(count) < left ? size_t(count) : left;
    }

    // `NAME COUNT { { x, ... }, ... }` with `width` floats a row.
    void FloatRows(const char* name, std::vector<float>& out, size_t width);
    // `NAME COUNT { Interpolation, [GlobalSeqId N,] FRAME: VALUE, ... }`.
    void ReadTrack(std::vector<Track>& tracks, uint32_t tag);
    // Reads the track if `key` names one of `owner`'s (the node's three
    // included for node owners).
    bool TrackOf(TrackOwner owner, const std::string& key, std::vector<Track>& tracks);
    bool ExtentKey(const std::string& key, Extent& extent);
    // ObjectId, Parent, the flags, DontInherit and the node's tracks.
    bool NodeKey(const std::string& key, Node& node, TrackOwner owner);

    // `COUNT { ITEM ... ITEM }`: the count must match the items.
    template <typename T, typename Fn> void Numbered(const char* item, std::vector<T>& out, Fn fn)
    {
        const int64_t count = in.Integer(0, kU32Max);
        in.Open();
        size_t found = 0;
        size_t extra_at = 0;
        size_t at = 0;
        for (std::string key; Key(key, at);)
        {
            if (key != item)
                Unknown(at, key);
            if (found == size_t(count))
                extra_at = at;
            Scope scope(in, std::string(item) + " " + std::to_string(found));
            out.emplace_back();
            fn(out.back());
            ++found;
        }
        CountCheck(count, found, in.Offset() - 1, extra_at, (std::string(item) + "s").c_str());
    }

    // `NAME "name" { ... }` of a node; `key_fn(key, object)` reads the
    // object's own keywords.
    template <typename T, typename Fn>
    void NodeBlock(const char* name, std::vector<T>& out, TrackOwner owner, Fn key_fn)
    {
        Scope scope(in, std::string(name) + " " + std::to_string(out.size()));
        out.emplace_back();
        T& object = out.back();
        object.node.name = in.Text("a name");
        in.Open();
        size_t at = 0;
        for (std::string key; Key(key, at);)
        {
            if (!NodeKey(key, object.node, owner) && !key_fn(*this, key, object))
                Unknown(at, key);
        }
    }
};

// Reads a node block or a camera (Bone, Light, Helper, Attachment,
// ParticleEmitter, ParticleEmitter2, RibbonEmitter, EventObject,
// CollisionShape, Camera); false if `block` names none.
bool ReadMdlNodeBlock(MdlReadContext& r, const std::string& block);

} // namespace mdlx

#endif
