#include "auto_heading.h"

#include <cmath>
#include <cstdint>

namespace
{

constexpr char kMarker[] = "PASTE HEADING HERE";
constexpr char kWhiteTexture[] = "Textures\\white.blp";

// A whole number of model units, rounded outward: down for a minimum, up for a
// maximum, held inside the int32 range.
std::string Whole(double value, bool up)
{
    double rounded = up ? std::ceil(value) : std::floor(value);
    if (!(rounded > -2147483648.0))
        rounded = -2147483648.0;
    if (!(rounded < 2147483647.0))
        rounded = 2147483647.0;
    return std::to_string(static_cast<int64_t>(rounded));
}

std::string Extent(const double (&values)[3], bool up)
{
    return "{ " + Whole(values[0], up) + ", " + Whole(values[1], up) + ", " + Whole(values[2], up) +
           " }";
}

} // namespace

std::string AutoHeadingText(const ImportSummary& summary)
{
    double squares = 0.0;
    for (int i = 0; i < 3; ++i)
    {
        double half = (summary.maximum[i] - summary.minimum[i]) / 2.0;
        squares += half * half;
    }
    std::string minimum = Extent(summary.minimum, false);
    std::string maximum = Extent(summary.maximum, true);
    std::string radius = Whole(std::sqrt(squares), true);

    std::string text = "Sequences " + std::to_string(summary.sequences.size()) + " {\r\n";
    for (const ImportedSequence& sequence : summary.sequences)
    {
        text += "\tAnim \"" + sequence.name + "\" {\r\n";
        text += "\t\tInterval { " + std::to_string(sequence.start_ms) + ", " +
                std::to_string(sequence.end_ms) + " },\r\n";
        text += "\t\tMinimumExtent " + minimum + ",\r\n";
        text += "\t\tMaximumExtent " + maximum + ",\r\n";
        text += "\t\tBoundsRadius " + radius + ",\r\n";
        text += "\t}\r\n";
    }
    text += "}\r\n";

    std::string image = summary.texture_path.empty() ? kWhiteTexture : summary.texture_path;
    for (char& c : image)
        if (c == '/')
            c = '\\';
    text += "Textures 1 {\r\n";
    text += "\tBitmap {\r\n";
    text += "\t\tImage \"" + image + "\",\r\n";
    text += "\t}\r\n";
    text += "}\r\n";
    text += "Materials 1 {\r\n";
    text += "\tMaterial {\r\n";
    text += "\t\tLayer {\r\n";
    text += "\t\t\tFilterMode None,\r\n";
    text += "\t\t\tstatic TextureID 0,\r\n";
    text += "\t\t}\r\n";
    text += "\t}\r\n";
    text += "}\r\n";
    return text;
}

bool ReplaceHeadingMarker(std::string& mdl, const std::string& heading)
{
    const std::string marker = kMarker;
    for (size_t at = 0; at < mdl.size();)
    {
        size_t end = mdl.find('\n', at);
        size_t next = end == std::string::npos ? mdl.size() : end + 1;
        size_t length = (end == std::string::npos ? mdl.size() : end) - at;
        if (length > 0 && end != std::string::npos && mdl[end - 1] == '\r')
            --length;
        if (end != std::string::npos && mdl.compare(at, length, marker) == 0 &&
            length == marker.size())
        {
            mdl.replace(at, next - at, heading);
            return true;
        }
        at = next;
    }
    return false;
}
