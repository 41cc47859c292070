// The exporter's command line:
//
//   mdlexport MODEL.json [MODEL.json ...] [-o OUT] [--heading FILE] [--quiet]
//   mdlexport --help | --version
//
// Options may stand before, between or after the inputs; "--" ends them, so
// that an input may begin with "-". "-o OUT", "-oOUT", "--output OUT" and
// "--output=OUT" are the same, and so are "--heading FILE" and
// "--heading=FILE"; "-q" is "--quiet", "-h" is "--help". Every argument is
// kept as the bytes it was given.
#ifndef MDLEXPORT_CLI_COMMAND_LINE_H
#define MDLEXPORT_CLI_COMMAND_LINE_H

#include <string>
#include <vector>

struct CommandLine
{
    std::vector<std::string> inputs;
    bool has_output = false;
    std::string output;
    bool has_heading = false;
    std::string heading;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Reads `argv[1..argc-1]` into `out`. False with `error` (the rule broken,
// without the program's name) on an unknown option, an option without its
// value, an option given twice, or no input where one is needed.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error);

// The text of --help.
const char* UsageText();

#endif
