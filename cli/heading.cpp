#include "heading.h"

#include "file_io.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace
{

// The marker line as the export writes it, line end included. The empty
// lines around it are not part of it and stay.
constexpr std::string_view kHeadingMarkerLine = "PASTE HEADING HERE\r\n";
constexpr size_t kMarkerSearchBytes = 1 << 16;

} // namespace

std::string NormalizeHeading(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::string result;
    result.reserve(text.size() + text.size() / 16 + 2);
    for (size_t i = 0; i < text.size(); ++i)
    {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue; // the LF that follows writes the pair
        if (c == '\n')
            result += '\r';
        result += c;
    }
    if (!result.empty() && (result.size() < 2 || result.compare(result.size() - 2, 2, "\r\n") != 0))
        result += "\r\n";
    return result;
}

bool SpliceHeading(int from, int to, std::string_view heading, uint64_t& written,
                   std::string& error)
{
    std::string start(kMarkerSearchBytes, '\0');
    size_t have = 0;
    while (have < start.size())
    {
        ssize_t got = read(from, start.data() + have, start.size() - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
        {
            error = std::string("cannot read the export back: ") + std::strerror(errno);
            return false;
        }
        if (got == 0)
            break;
        have += static_cast<size_t>(got);
    }
    start.resize(have);

    size_t at = 0;
    for (;;)
    {
        at = start.find(kHeadingMarkerLine, at);
        if (at == std::string::npos)
        {
            error = "the export holds no \"PASTE HEADING HERE\" line";
            return false;
        }
        if (at == 0 || start[at - 1] == '\n')
            break;
        ++at;
    }

    size_t after = at + kHeadingMarkerLine.size();
    if (!WriteAll(to, start.data(), at) || !WriteAll(to, heading.data(), heading.size()) ||
        !WriteAll(to, start.data() + after, start.size() - after))
    {
        error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    written += at + heading.size() + (start.size() - after);
    bool read_failed = false;
    if (!CopyToEnd(from, to, written, read_failed))
    {
        error = std::string(read_failed ? "cannot read the export back: " : "cannot write: ") +
                std::strerror(errno);
        return false;
    }
    return true;
}
