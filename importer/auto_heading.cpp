#include "auto_heading.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <vector>

namespace
{

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

// The word the game goes by in a sequence name: the first word before any
// '-', lower case, past a leading "alternate" ("Stand Ready" is a stand).
std::string LeadingWord(const std::string& name)
{
    std::string words = name.substr(0, name.find('-'));
    std::string first, second;
    size_t at = 0;
    for (std::string* word : {&first, &second})
    {
        while (at < words.size() && std::isspace(static_cast<unsigned char>(words[at])))
            ++at;
        while (at < words.size() && !std::isspace(static_cast<unsigned char>(words[at])))
            *word += static_cast<char>(std::tolower(static_cast<unsigned char>(words[at++])));
    }
    return first == "alternate" ? second : first;
}

} // namespace

// The game needs a "Stand" and a "Death" sequence on every unit model. Those
// that the source's animations do not name are added as still sequences of
// one second each after the last one, on whole seconds, where no key lies.
std::vector<ImportedSequence> WithStandAndDeath(const std::vector<ImportedSequence>& sequences)
{
    std::vector<ImportedSequence> all = sequences;
    int64_t last_end = -1;
    bool has_stand = false, has_death = false;
    for (const ImportedSequence& sequence : sequences)
    {
        last_end = std::max<int64_t>(last_end, sequence.end_ms);
        has_stand = has_stand || LeadingWord(sequence.name) == "stand";
        has_death = has_death || LeadingWord(sequence.name) == "death";
    }
    for (const char* name : {"Stand", "Death"})
    {
        if ((name[0] == 'S' && has_stand) || (name[0] == 'D' && has_death))
            continue;
        int64_t start = (last_end / 1000 + 1) * 1000;
        if (start > INT32_MAX - 1000)
            break; // no room left on the timeline
        ImportedSequence still;
        still.name = name;
        still.start_ms = static_cast<int32_t>(start);
        still.end_ms = static_cast<int32_t>(start + 1000);
        all.push_back(still);
        last_end = still.end_ms;
    }
    return all;
}

namespace
{

// The game reads BLP and TGA textures: a source's PNG, JPEG or BMP is named
// as the BLP that the modder converts it to, beside the model, and a leading
// ".\" is dropped.
std::string GameTexturePath(std::string image)
{
    for (char& c : image)
        if (c == '/')
            c = '\\';
    while (image.rfind(".\\", 0) == 0)
        image.erase(0, 2);
    size_t dot = image.find_last_of('.');
    size_t slash = image.find_last_of('\\');
    std::string extension = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                ? std::string()
                                : image.substr(dot);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".blp" && extension != ".tga")
        image = image.substr(0, image.size() - extension.size()) + ".blp";
    return image;
}

// The box's half diagonal: the radius of the sphere around its centre that holds it.
double HalfDiagonal(const double (&minimum)[3], const double (&maximum)[3])
{
    double squares = 0.0;
    for (int i = 0; i < 3; ++i)
    {
        double half = (maximum[i] - minimum[i]) / 2.0;
        squares += half * half;
    }
    return std::sqrt(squares);
}

} // namespace

std::string AutoHeadingText(const ImportSummary& summary)
{

    std::vector<ImportedSequence> sequences = WithStandAndDeath(summary.sequences);
    std::string text = "Sequences " + std::to_string(sequences.size()) + " {\r\n";
    for (const ImportedSequence& sequence : sequences)
    {
        // The sequence's own box where sampling measured one, else the rest pose's.
        const double(&low)[3] = sequence.has_extent ? sequence.minimum : summary.minimum;
        const double(&high)[3] = sequence.has_extent ? sequence.maximum : summary.maximum;
        std::string minimum = Extent(low, false);
        std::string maximum = Extent(high, true);
        std::string radius = Whole(HalfDiagonal(low, high), true);
        text += "\tAnim \"" + sequence.name + "\" {\r\n";
        text += "\t\tInterval { " + std::to_string(sequence.start_ms) + ", " +
                std::to_string(sequence.end_ms) + " },\r\n";
        text += "\t\tMinimumExtent " + minimum + ",\r\n";
        text += "\t\tMaximumExtent " + maximum + ",\r\n";
        text += "\t\tBoundsRadius " + radius + ",\r\n";
        text += "\t}\r\n";
    }
    text += "}\r\n";

    std::string image =
        summary.texture_path.empty() ? kWhiteTexture : GameTexturePath(summary.texture_path);
    text += "Textures 1 {\r\n";
    text += "\tBitmap {\r\n";
    text += "\t\tImage \"" + image + "\",\r\n";
    if (!summary.texture_path.empty() && summary.wrap_width)
        text += "\t\tWrapWidth,\r\n";
    if (!summary.texture_path.empty() && summary.wrap_height)
        text += "\t\tWrapHeight,\r\n";
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
