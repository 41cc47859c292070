#include "output_paths.h"

#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace
{

bool IsExistingFolder(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The same path for comparing outputs: "a/./b" and "a//b" name the same file.
std::string Normal(const std::string& path)
{
    return std::filesystem::path(path).lexically_normal().string();
}

// The last component of `path`, trailing slashes ignored.
std::string LastComponent(const std::string& path)
{
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return path.empty() ? "" : "/";
    size_t slash = path.find_last_of('/', end);
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end + 1 - start);
}

} // namespace

std::string ReplaceExtension(const std::string& path, const std::string& extension)
{
    size_t start = path.find_last_of('/');
    start = start == std::string::npos ? 0 : start + 1;
    size_t dot = path.find_last_of('.');
    // Leading dots belong to the name, as in ".json" or "..json".
    size_t name_start = path.find_first_not_of('.', start);
    if (dot == std::string::npos || dot < start || name_start == std::string::npos ||
        dot < name_start)
        return path + extension;
    return path.substr(0, dot) + extension;
}

bool PlanOutputs(const std::vector<std::string>& inputs, bool has_output, const std::string& output,
                 std::vector<std::string>& outputs, std::string& error)
{
    return PlanOutputs(inputs, std::vector<std::string>(inputs.size(), ".mdl"), has_output, output,
                       outputs, error);
}

bool PlanOutputs(const std::vector<std::string>& inputs, const std::vector<std::string>& extensions,
                 bool has_output, const std::string& output, std::vector<std::string>& outputs,
                 std::string& error)
{
    outputs.clear();
    bool into_folder = has_output && (IsExistingFolder(output) || output.back() == '/');
    if (into_folder && !IsExistingFolder(output))
    {
        error = output + ": no such folder";
        return false;
    }
    if (has_output && !into_folder && inputs.size() > 1)
    {
        error = "with several inputs, -o must name an existing folder; " + output + " is not one";
        return false;
    }

    std::map<std::string, size_t> taken; // normal output path -> input index
    for (size_t i = 0; i < inputs.size(); ++i)
    {
        std::string path;
        if (!has_output)
            path = ReplaceExtension(inputs[i], extensions[i]);
        else if (into_folder)
        {
            std::string name = ReplaceExtension(LastComponent(inputs[i]), extensions[i]);
            path = output.back() == '/' ? output + name : output + "/" + name;
        }
        else
            path = output;
        auto [at, added] = taken.emplace(Normal(path), i);
        if (!added)
        {
            error = inputs[at->second] + " and " + inputs[i] + " would both be written to " + path;
            return false;
        }
        outputs.push_back(path);
    }
    return true;
}

bool EndsWithFolded(const std::string& path, const char* end)
{
    const std::string tail(end);
    if (path.size() < tail.size())
        return false;
    for (size_t i = 0; i < tail.size(); ++i)
    {
        char c = path[path.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i])
            return false;
    }
    return true;
}
