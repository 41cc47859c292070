#include "command_line.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace
{

// Takes the value of an option that needs one: glued ("-oOUT",
// "--output=OUT") or the next argument.
bool TakeValue(const char* name, const char* glued, int argc, const char* const* argv, int& i,
               bool& seen, std::string& value, std::string& error)
{
    if (seen)
    {
        error = std::string(name) + " is given twice";
        return false;
    }
    seen = true;
    if (glued != nullptr)
    {
        value = glued;
        return true;
    }
    if (i + 1 >= argc)
    {
        error = std::string(name) + " needs a value";
        return false;
    }
    value = argv[++i];
    return true;
}

// A finite number above 0, the whole of `text` (no locale involved).
bool ReadPositive(const std::string& text, double& value)
{
    const char* end = text.data() + text.size();
    std::from_chars_result read = std::from_chars(text.data(), end, value);
    return !text.empty() && read.ec == std::errc() && read.ptr == end && std::isfinite(value) &&
           value > 0.0;
}

// The part after "--name=" when `arg` is that, else null.
const char* GluedLong(const char* arg, const char* name)
{
    size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) == 0 && arg[length] == '=')
        return arg + length + 1;
    return nullptr;
}

// A whole number from 1 to 1,000,000,000 for a budget option.
bool TakeBudget(const char* name, const char* glued, int argc, const char* const* argv, int& i,
                uint64_t& value, std::string& error)
{
    bool seen = value != 0;
    std::string text;
    if (!TakeValue(name, glued, argc, argv, i, seen, text, error))
        return false;
    uint64_t number = 0;
    bool digits = !text.empty() && text.size() <= 10;
    for (char c : text)
        digits = digits && c >= '0' && c <= '9';
    if (digits)
        number = std::stoull(text);
    if (!digits || number == 0 || number > 1000000000)
    {
        error =
            std::string(name) + " takes a whole number from 1 to 1000000000, not \"" + text + "\"";
        return false;
    }
    value = number;
    return true;
}

// "1" to "100", digits only.
bool ParseQuality(const std::string& text, int& quality)
{
    if (text.empty() || text.size() > 3)
        return false;
    int value = 0;
    for (char c : text)
    {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 100)
        return false;
    quality = value;
    return true;
}

} // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error)
{
    bool options_ended = false;
    bool seen_scale = false, seen_height = false, seen_limit = false;
    for (int i = 1; i < argc; ++i)
    {
        const char* arg = argv[i];
        if (options_ended || arg[0] != '-' || arg[1] == '\0')
        {
            out.inputs.emplace_back(arg);
            continue;
        }
        const char* glued = nullptr;
        if (std::strcmp(arg, "--") == 0)
            options_ended = true;
        else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0)
            out.help = true;
        else if (std::strcmp(arg, "--version") == 0)
            out.version = true;
        else if (std::strcmp(arg, "-q") == 0 || std::strcmp(arg, "--quiet") == 0)
            out.quiet = true;
        else if (std::strcmp(arg, "-o") == 0 || std::strcmp(arg, "--output") == 0 ||
                 (glued = GluedLong(arg, "--output")) != nullptr ||
                 (std::strncmp(arg, "-o", 2) == 0 && (glued = arg + 2) != nullptr))
        {
            if (!TakeValue("-o", glued, argc, argv, i, out.has_output, out.output, error))
                return false;
            if (out.output.empty())
            {
                error = "-o needs a non-empty path";
                return false;
            }
        }
        else if (std::strcmp(arg, "--heading") == 0 ||
                 (glued = GluedLong(arg, "--heading")) != nullptr)
        {
            if (!TakeValue("--heading", glued, argc, argv, i, out.has_heading, out.heading, error))
                return false;
            if (out.heading.empty())
            {
                error = "--heading needs a non-empty path";
                return false;
            }
        }
        else if (std::strcmp(arg, "--keep-all-keys") == 0)
            out.keep_all_keys = true;
        else if (std::strcmp(arg, "--ground") == 0)
            out.ground = true;
        else if (std::strcmp(arg, "--scale") == 0 ||
                 (glued = GluedLong(arg, "--scale")) != nullptr ||
                 std::strcmp(arg, "--height") == 0 ||
                 (glued = GluedLong(arg, "--height")) != nullptr)
        {
            bool is_scale = std::strncmp(arg, "--scale", 7) == 0;
            const char* name = is_scale ? "--scale" : "--height";
            bool seen = is_scale ? seen_scale : seen_height;
            std::string text;
            if (!TakeValue(name, glued, argc, argv, i, seen, text, error))
                return false;
            (is_scale ? seen_scale : seen_height) = true;
            double value = 0.0;
            if (!ReadPositive(text, value))
            {
                error = std::string(name) + " takes a number above 0, not \"" + text + "\"";
                return false;
            }
            (is_scale ? out.scale : out.height) = value;
        }
        else if (std::strcmp(arg, "--geoset-limit") == 0 ||
                 (glued = GluedLong(arg, "--geoset-limit")) != nullptr)
        {
            std::string text;
            if (!TakeValue("--geoset-limit", glued, argc, argv, i, seen_limit, text, error))
                return false;
            uint32_t limit = 0;
            const char* end = text.data() + text.size();
            std::from_chars_result read = std::from_chars(text.data(), end, limit);
            if (text.empty() || read.ec != std::errc() || read.ptr != end || limit < 3 ||
                limit > 65536)
            {
                error = "--geoset-limit takes a whole number from 3 to 65536, not \"" + text + "\"";
                return false;
            }
            out.geoset_limit = limit;
        }
        else if (std::strcmp(arg, "--as-plugin") == 0)
            out.as_plugin = true;
        else if (std::strcmp(arg, "--up") == 0 || (glued = GluedLong(arg, "--up")) != nullptr)
        {
            bool seen = out.up != 0;
            std::string axis;
            if (!TakeValue("--up", glued, argc, argv, i, seen, axis, error))
                return false;
            if (axis != "y" && axis != "z")
            {
                error = "--up takes y or z, not \"" + axis + "\"";
                return false;
            }
            out.up = axis[0];
        }
        else if (std::strcmp(arg, "--format") == 0 ||
                 (glued = GluedLong(arg, "--format")) != nullptr)
        {
            bool seen = out.format != 0;
            std::string format;
            if (!TakeValue("--format", glued, argc, argv, i, seen, format, error))
                return false;
            if (format != "mdl" && format != "mdx")
            {
                error = "--format takes mdl or mdx, not \"" + format + "\"";
                return false;
            }
            out.format = format[2];
        }
        else if (std::strcmp(arg, "--texture-quality") == 0 ||
                 (glued = GluedLong(arg, "--texture-quality")) != nullptr)
        {
            bool seen = out.texture_quality != 0;
            std::string quality;
            if (!TakeValue("--texture-quality", glued, argc, argv, i, seen, quality, error))
                return false;
            if (!ParseQuality(quality, out.texture_quality))
            {
                error =
                    "--texture-quality takes a whole number from 1 to 100, not \"" + quality + "\"";
                return false;
            }
        }
        else if (std::strcmp(arg, "--dump-json") == 0 ||
                 (glued = GluedLong(arg, "--dump-json")) != nullptr)
        {
            if (!TakeValue("--dump-json", glued, argc, argv, i, out.has_dump_json, out.dump_json,
                           error))
                return false;
            if (out.dump_json.empty())
            {
                error = "--dump-json needs a non-empty path";
                return false;
            }
        }
        else if (std::strcmp(arg, "--import-memory") == 0 ||
                 (glued = GluedLong(arg, "--import-memory")) != nullptr)
        {
            if (!TakeBudget("--import-memory", glued, argc, argv, i, out.import_memory_mb, error))
                return false;
        }
        else if (std::strcmp(arg, "--import-seconds") == 0 ||
                 (glued = GluedLong(arg, "--import-seconds")) != nullptr)
        {
            if (!TakeBudget("--import-seconds", glued, argc, argv, i, out.import_seconds, error))
                return false;
        }
        else
        {
            error = std::string("unknown option ") + arg;
            return false;
        }
    }
    if (out.inputs.empty() && !out.help && !out.version)
    {
        error = "no input file";
        return false;
    }
    if (seen_scale && seen_height)
    {
        error = "--scale and --height cannot both be given";
        return false;
    }
    if (out.has_dump_json && out.inputs.size() > 1)
    {
        error = "--dump-json takes one input";
        return false;
    }
    return true;
}

const char* UsageText()
{
    return "Usage: mdlexport MODEL [MODEL ...] [-o OUT] [--format mdl|mdx]\n"
           "                 [--heading FILE|auto] [--quiet] [--up y|z] [--keep-all-keys]\n"
           "                 [--dump-json FILE] [--texture-quality N] [--as-plugin]\n"
           "                 [--scale S | --height H] [--ground] [--geoset-limit N]\n"
           "                 [--import-memory MB] [--import-seconds S]\n"
           "\n"
           "Exports each model as a Warcraft III MDL text model, byte for byte as the\n"
           "modelling host's export plug-in writes it. A MODEL whose extension names a\n"
           "scene format (glTF, FBX, Collada, X, SMD, OBJ and more) is imported as the\n"
           "host would hold it; any other (.json) is a model description. An image\n"
           "(.png, .jpg, .jpeg, .bmp, .tga, .gif, .psd) is converted to a BLP texture,\n"
           "the game's format (its output ends in .blp). A MODEL ending in .mdl or\n"
           ".mdx is a whole model, read and written again in the form the output\n"
           "asks for. A scene written as MDX, or to -o OUT.mdl, is converted as a\n"
           "whole game model (its materials, bone weights, extents, attachment points,\n"
           "and its textures as BLP files beside OUT) unless --heading, --dump-json\n"
           "or --as-plugin asks for the plug-in's model.\n"
           "\n"
           "  -o, --output OUT   the output file; with several inputs, or when OUT is an\n"
           "                     existing folder, the folder that receives one NAME.mdl\n"
           "                     (NAME.blp for an image) per input. Default: each input\n"
           "                     with its extension replaced by .mdl (.blp; a .mdl\n"
           "                     input's by .mdx, a .mdx input's by .mdl). An OUT\n"
           "                     ending in .mdx is written as MDX, the game's binary form\n"
           "      --format mdl|mdx  the form of outputs whose names come from the inputs\n"
           "                     (no -o, or -o FOLDER). MDX of a model description or\n"
           "                     scene needs --heading: without one the MDL is not a\n"
           "                     whole model\n"
           "      --heading FILE put FILE's text (line ends made CR LF) in place of the\n"
           "                     line \"PASTE HEADING HERE\", so the model stands alone\n"
           "                     auto (scene files): one sequence per animation, one\n"
           "                     texture and one material, made from the scene\n"
           "  -q, --quiet        no summary or notes on standard error\n"
           "      --up y|z       scene files: the source's up axis (default: what the\n"
           "                     file records, else y)\n"
           "      --keep-all-keys  scene files: keep every sampled key\n"
           "      --scale S      scene files: scale the model S times\n"
           "      --height H     scene files: scale the model so that it stands H units tall\n"
           "                     (a game figure is about 100 to 200)\n"
           "      --ground       scene files: put the model's lowest point at height 0\n"
           "      --geoset-limit N  scene files: the most vertices in one geoset (3 to\n"
           "                     65536; default 7432, below what the game draws wrongly)\n"
           "      --dump-json FILE  write the model as a model description (one input)\n"
           "      --import-memory MB  scene files: the memory the import may take\n"
           "                     (default: 1024 MB plus 128 MB per MB of file)\n"
           "      --import-seconds S  scene files: the processor time the import may\n"
           "                     take (default: 120 s plus 10 s per MB of file)\n"
           "      --as-plugin    scene files: the plug-in's model, also for MDX output\n"
           "      --texture-quality N  the JPEG quality of BLP textures, 1 to 100\n"
           "                     (default 90)\n"
           "  -h, --help         this text\n"
           "      --version      the version\n"
           "\n"
           "An output is complete or absent: it is written beside its final name and\n"
           "renamed into place. Every input is tried; a refused input does not stop the\n"
           "others.\n"
           "\n"
           "Exit status (the worst over all inputs):\n"
           "  0  every model exported (every image converted)\n"
           "  1  a model has no mesh (nothing written for it)\n"
           "  2  bad usage, or an input refused, such as an image that cannot be read\n"
           "     or a scene whose import exceeded its budget (nothing written for it)\n"
           "  3  an output could not be written (nothing left behind)\n";
}
