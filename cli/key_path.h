// A key path such as meshes[0].triangles[5][1], the place a message names:
// kept as a stack of segments while a JSON text is walked, and spelt out only
// for a message. Keys are viewed, not copied: each must outlive its segment.
#ifndef MDLEXPORT_CLI_KEY_PATH_H
#define MDLEXPORT_CLI_KEY_PATH_H

#include "json_diagnosis.h"
#include "json_number.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class KeyPath
{
  public:
    // Room for `max_depth` segments, allocated once: the walk's depth is
    // bounded.
    explicit KeyPath(size_t max_depth) : segments_(max_depth) {}

    void PushKey(std::string_view key)
    {
        segments_[depth_++] = Segment{key, 0, false};
    }
    void PushIndex(size_t index)
    {
        segments_[depth_++] = Segment{{}, index, true};
    }
    void SetIndex(size_t index)
    {
        segments_[depth_ - 1].index = index;
    }
    void Pop()
    {
        --depth_;
    }
    size_t Depth() const
    {
        return depth_;
    }

    // The path as a message shows it: plain keys after dots, other keys
    // quoted and escaped in brackets. Deep paths keep their first and last
    // segments.
    std::string Text() const
    {
        constexpr size_t kHead = 8, kTail = 4;
        std::string text;
        for (size_t i = 0; i < depth_; ++i)
        {
            if (depth_ > kHead + kTail && i == kHead)
            {
                text += "...";
                i = depth_ - kTail;
            }
            const Segment& s = segments_[i];
            if (s.is_index)
            {
                text += '[';
                text += std::to_string(s.index);
                text += ']';
            }
            else if (IsPlainKey(s.key))
            {
                if (!text.empty())
                    text += '.';
                text += s.key;
            }
            else
            {
                text += "[\"";
                text += Escaped(s.key);
                text += "\"]";
            }
        }
        return text;
    }

  private:
    struct Segment
    {
        std::string_view key;
        size_t index;
        bool is_index;
    };

    static bool IsPlainKey(std::string_view key)
    {
        if (key.empty() || key.size() > kShownTokenBytes || IsDigit(key[0]))
            return false;
        for (char c : key)
            if (!(IsDigit(c) || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
                return false;
        return true;
    }

    static std::string Escaped(std::string_view key)
    {
        std::string text;
        for (char c : key.substr(0, kShownTokenBytes))
        {
            if (c == '"' || c == '\\')
                text += '\\';
            if (static_cast<unsigned char>(c) < 0x20)
            {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(c));
                text += hex;
                continue;
            }
            text += c;
        }
        if (key.size() > kShownTokenBytes)
            text += "...";
        return text;
    }

    std::vector<Segment> segments_;
    size_t depth_ = 0;
};

#endif
