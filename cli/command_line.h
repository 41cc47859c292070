// The exporter's command line:
//
//   mdlexport MODEL [MODEL ...] [-o OUT] [--format mdl|mdx] [--heading FILE|auto]
//             [--quiet] [--up y|z] [--keep-all-keys] [--dump-json FILE]
//             [--scale S | --height H] [--ground] [--geoset-limit N]
//             [--import-memory MB] [--import-seconds S]
//             [--texture-quality N] [--as-plugin]
//   mdlexport --help | --version
//
// A MODEL whose extension names a scene format (glTF, FBX, Collada, ...) is a
// scene file for the importer; one whose extension names an image format
// (.png, .jpg, ...) is an image converted to a BLP texture; one ending in
// ".mdl" or ".mdx" is a model to convert; any other (".json") is a model
// description.
//
// Options may stand before, between or after the inputs; "--" ends them, so
// that an input may begin with "-". "-o OUT", "-oOUT", "--output OUT" and
// "--output=OUT" are the same, and so are "--heading FILE" and
// "--heading=FILE"; "-q" is "--quiet", "-h" is "--help". Every argument is
// kept as the bytes it was given.
#ifndef MDLEXPORT_CLI_COMMAND_LINE_H
#define MDLEXPORT_CLI_COMMAND_LINE_H

#include <cstdint>
#include <string>
#include <vector>

struct CommandLine
{
    std::vector<std::string> inputs;
    bool has_output = false;
    std::string output;
    // The form of the outputs whose names do not say it: 0, 'l' (MDL) or
    // 'x' (MDX).
    char format = 0;
    bool has_heading = false;
    std::string heading;
    bool quiet = false;
    // Importer options: the source's up axis ('y', 'z', or 0 for what the
    // file records), every sampled key kept, and where the imported model is
    // written as a model description.
    char up = 0;
    bool keep_all_keys = false;
    // A scene written to an MDX or MDL file goes the plug-in's way (a
    // stand-in model through the unchanged plug-in), not as a whole model.
    bool as_plugin = false;
    bool has_dump_json = false;
    std::string dump_json;
    // The import budget (import_budget.h) in MB and seconds; 0: by the file's
    // size.
    uint64_t import_memory_mb = 0;
    uint64_t import_seconds = 0;
    // Size (scene files): a uniform scale, or the rest pose's height (0 for
    // neither), and the lowest point put on the ground; and the most
    // vertices in one geoset.
    double scale = 1.0;
    double height = 0.0;
    bool ground = false;
    uint32_t geoset_limit = 7432;
    // The JPEG quality of BLP textures, 1 to 100; 0 for the default.
    int texture_quality = 0;
    bool help = false;
    bool version = false;
};

// Reads `argv[1..argc-1]` into `out`. False with `error` (the rule broken,
// without the program's name) on an unknown option, an option without its
// value, an option given twice, an --up other than y or z, a --format other
// than mdl or mdx, a --texture-quality that is not a whole number from 1 to
// 100, --scale or --height not a finite number above 0 (or both given),
// --geoset-limit not a whole number from 3 to 65536, --import-memory or
// --import-seconds not a whole number from 1 to 1000000000, --dump-json with
// several inputs, or no input where one is needed.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error);

// The text of --help.
const char* UsageText();

#endif
