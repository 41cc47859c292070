// What the MDL writer's parts share: the text being written with its depth,
// and the writers of the pieces every block uses (values, extents, tracks,
// the node header). Internal to the library.
#ifndef MDLEXPORT_MDLX_MDL_WRITE_CONTEXT_H
#define MDLEXPORT_MDLX_MDL_WRITE_CONTEXT_H

#include "mdl_writer.h"
#include "model.h"

#include <charconv>
#include <string>
#include <string_view>
#include <type_traits>

namespace mdlx
{

// Lines of text at a depth of tabs, each ended by CR LF.
class Writer
{
  public:
    explicit Writer(std::string& out) : out_(out) {}

    // A line at the current depth: its pieces, then ",\r\n" or what `end` says.
    Writer& Start()
    {
        out_.append(depth_, '\t');
        return *this;
    }
    Writer& Put(std::string_view text)
    {
        out_.append(text);
        return *this;
    }
    Writer& Float(float value)
    {
        AppendMdlFloat(out_, value);
        return *this;
    }
    Writer& Int(int64_t value)
    {
        char text[24];
        out_.append(text, std::to_chars(text, text + sizeof text, value).ptr);
        return *this;
    }
    Writer& Quoted(const std::string& text)
    {
        out_.push_back('"');
        out_.append(text);
        out_.push_back('"');
        return *this;
    }
    template <typename T> Writer& Values(const T* values, size_t count)
    {
        out_.append("{ ");
        for (size_t i = 0; i < count; ++i)
        {
            if (i > 0)
                out_.append(", ");
            if constexpr (std::is_same_v<T, float>)
                Float(values[i]);
            else
                Int(int64_t(values[i]));
        }
        out_.append(" }");
        return *this;
    }
    template <typename T, size_t N> Writer& Values(const std::array<T, N>& values)
    {
        return Values(values.data(), N);
    }
    Writer& Rgb(const Vec3& bgr)
    {
        const Vec3 rgb{bgr[2], bgr[1], bgr[0]};
        return Values(rgb);
    }
    void End(std::string_view end = ",")
    {
        out_.append(end);
        out_.append("\r\n");
    }
    // `NAME {` and one level deeper.
    void Open(std::string_view head)
    {
        Start().Put(head).End(" {");
        ++depth_;
    }
    void Close()
    {
        --depth_;
        Start().End("}");
    }
    // `NAME VALUE,`
    void Field(std::string_view name, float value)
    {
        Start().Put(name).Put(" ").Float(value).End();
    }
    void IntField(std::string_view name, int64_t value)
    {
        Start().Put(name).Put(" ").Int(value).End();
    }
    void Flag(std::string_view name)
    {
        Start().Put(name).End();
    }
    std::string& out_;
    size_t depth_ = 0;
};

bool NonZero(float value);
bool NonZero(const Vec3& v);
void WriteExtent(Writer& w, const Extent& extent);
// `NAME COUNT { Interpolation, [GlobalSeqId N,] FRAME: VALUE, ... }`.
void WriteTrack(Writer& w, const Track& track);
// Every track of `tracks` but those `skip(tag)` leaves out, in their order.
template <typename Skip> void WriteTracks(Writer& w, const std::vector<Track>& tracks, Skip skip)
{
    for (const Track& track : tracks)
    {
        if (!skip(track.tag))
            WriteTrack(w, track);
    }
}
void WriteTracks(Writer& w, const std::vector<Track>& tracks);
// `BLOCK "name" {` and the node's ObjectId, Parent and flags.
void OpenNode(Writer& w, const char* block, const Node& node);
// The node blocks, pivot points and cameras, in the MDX's chunk order.
void WriteMdlNodes(Writer& w, const Model& model);

} // namespace mdlx

#endif
