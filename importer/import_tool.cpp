// mdlimport-dev: imports a scene file into a stand-in host model and exports
// it through the plug-in, as the command-line exporter will once it imports.
//
//   mdlimport-dev INPUT OUTPUT.mdl [--up y|z] [--keep-all-keys]
//                 [--dump-json FILE] [--heading auto]
//
// Notes on what was dropped go to stderr. Exit status: 0 written, 1 failed,
// 2 wrong arguments.
#include "auto_heading.h"
#include "model_json.h"
#include "plugin.h"
#include "scene_import.h"
#include "stand_in_model.h"
#include "stand_in_ui.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{

constexpr char kUsage[] = "usage: mdlimport-dev INPUT OUTPUT.mdl [--up y|z] [--keep-all-keys] "
                          "[--dump-json FILE] [--heading auto]\n";

struct Arguments
{
    std::string input;
    std::string output;
    std::string dump_json;
    bool auto_heading = false;
    ImportOptions options;
};

bool Parse(int argc, char** argv, Arguments& arguments)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i)
    {
        std::string word = argv[i];
        bool has_value = i + 1 < argc;
        if (word == "--keep-all-keys")
            arguments.options.keep_all_keys = true;
        else if (word == "--up" && has_value)
        {
            std::string axis = argv[++i];
            if (axis == "y")
                arguments.options.up = UpAxisChoice::kY;
            else if (axis == "z")
                arguments.options.up = UpAxisChoice::kZ;
            else
                return false;
        }
        else if (word == "--dump-json" && has_value)
            arguments.dump_json = argv[++i];
        else if (word == "--heading" && has_value)
        {
            if (std::string(argv[++i]) != "auto")
                return false;
            arguments.auto_heading = true;
        }
        else if (!word.empty() && word[0] == '-')
            return false;
        else
            positional.push_back(word);
    }
    if (positional.size() != 2)
        return false;
    arguments.input = positional[0];
    arguments.output = positional[1];
    return true;
}

bool PutHeading(const std::string& path, const std::string& heading)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    if (!in || !ReplaceHeadingMarker(text, heading))
        return false;
    in.close();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

int Run(const Arguments& arguments)
{
    ModelHandle model = StandIn_CreateModel();
    std::string error;
    std::vector<std::string> notes;
    ImportSummary summary;
    bool imported = ImportScene(arguments.input, arguments.options, model, error, notes, &summary);
    for (const std::string& note : notes)
        std::cerr << "mdlimport-dev: note: " << note << "\n";
    if (!imported)
    {
        std::cerr << "mdlimport-dev: " << error << "\n";
        StandIn_FreeModel(model);
        return 1;
    }
    if (!arguments.dump_json.empty() && !WriteModelDescription(model, arguments.dump_json, error))
    {
        std::cerr << "mdlimport-dev: " << error << "\n";
        StandIn_FreeModel(model);
        return 1;
    }

    std::unique_ptr<PlugInBase> plugin(CreatePlugIn());
    StandInUi_AnswerWithPath(arguments.output);
    int32_t status = plugin != nullptr ? plugin->Run(model) : -1;
    StandIn_FreeModel(model);
    if (status != 0)
    {
        std::cerr << "mdlimport-dev: the export could not write " << arguments.output << "\n";
        return 1;
    }
    if (arguments.auto_heading && !PutHeading(arguments.output, AutoHeadingText(summary)))
    {
        std::cerr << "mdlimport-dev: cannot put the heading into " << arguments.output << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    if (!Parse(argc, argv, arguments))
    {
        std::cerr << kUsage;
        return 2;
    }
    return Run(arguments);
}
