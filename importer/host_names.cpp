#include "host_names.h"

#include <unordered_map>
#include <unordered_set>

namespace
{

constexpr size_t kHostNameLimit = 31;

// The length of the well-formed UTF-8 sequence at `at`, or 0.
size_t SequenceLength(const std::string& text, size_t at)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xbf; // the range of the first continuation byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef)
    {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0; // no overlong forms
        if (lead == 0xed)
            high = 0x9f; // no surrogates
    }
    else if (lead >= 0xf0 && lead <= 0xf4)
    {
        length = 4;
        if (lead == 0xf0)
            low = 0x90;
        if (lead == 0xf4)
            high = 0x8f; // nothing above U+10FFFF
    }
    else
        return 0;
    if (at + length > text.size())
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf)
            return 0;
    return length;
}

// Each backslash at the end of `name` made '_'.
std::string WithoutEndBackslashes(std::string name)
{
    for (size_t i = name.size(); i > 0 && name[i - 1] == '\\'; --i)
        name[i - 1] = '_';
    return name;
}

} // namespace

std::string CleanName(const std::string& name)
{
    std::string clean;
    clean.reserve(name.size());
    for (size_t at = 0; at < name.size();)
    {
        size_t length = SequenceLength(name, at);
        unsigned char c = static_cast<unsigned char>(name[at]);
        if (length == 0 || (length == 1 && (c < 0x20 || c == 0x7f || c == '"')))
        {
            clean += '_';
            at += 1;
            continue;
        }
        clean.append(name, at, length);
        at += length;
    }
    return clean;
}

std::string ReadableName(const std::string& name)
{
    return WithoutEndBackslashes(CleanName(name));
}

const char* MdlNameProblem(const std::string& name)
{
    if (name.find('"') != std::string::npos)
        return "holds a double quote";
    if (!name.empty() && name.back() == '\\')
        return "ends in a backslash";
    return nullptr;
}

std::string CutName(const std::string& name, size_t limit)
{
    if (name.size() <= limit)
        return name;
    size_t end = limit;
    // Back off continuation bytes, then the lead byte they belonged to.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xc0) == 0x80)
        --end;
    return name.substr(0, end);
}

std::vector<std::string> UniqueHostNames(const std::vector<std::string>& wanted,
                                         const std::string& fallback)
{
    std::vector<std::string> names;
    names.reserve(wanted.size());
    std::unordered_set<std::string> taken;
    // Per stem, the suffix to try next: many repeats of one name cost one
    // try each, not one per earlier repeat.
    std::unordered_map<std::string, int> next_suffix;
    for (const std::string& raw : wanted)
    {
        std::string stem =
            WithoutEndBackslashes(CutName(CleanName(raw.empty() ? fallback : raw), kHostNameLimit));
        if (stem.empty())
            stem = WithoutEndBackslashes(CutName(CleanName(fallback), kHostNameLimit));
        std::string name = stem;
        int& suffix = next_suffix.try_emplace(stem, 2).first->second;
        for (; taken.count(name) != 0; ++suffix)
        {
            std::string tail(1, '.');
            tail += std::to_string(suffix);
            name = CutName(stem, kHostNameLimit - tail.size()) + tail;
        }
        taken.insert(name);
        names.push_back(name);
    }
    return names;
}
