// A scene converted as a whole game model: the model library's MDX or MDL,
// and the BLP textures it names, written beside it.
#ifndef MDLEXPORT_CLI_SCENE_CONVERT_H
#define MDLEXPORT_CLI_SCENE_CONVERT_H

#include "command_line.h"
#include "scene_import.h"

#include <functional>
#include <string>

// True when a scene written to `output` (in the MDX form when `mdx`) takes
// the whole-model way: the output is MDX, or an .mdl file named with -o, and
// neither --as-plugin, --heading nor --dump-json asks for the plug-in's model
// (which a heading completes, and which MDX output then holds as it is).
bool ConvertsWhole(bool mdx, const std::string& output, const CommandLine& options);

// The importer's options as the command line sets them (no progress).
ImportOptions ImportOptionsOf(const CommandLine& options);

// Converts `input` to `output` (MDX or MDL by its extension). Every texture
// is converted in memory first: an image that cannot be read refuses the
// scene and nothing is written. Each file is written whole or not at all.
// A texture whose name another model of the same run (started at
// `run_started`, nanoseconds of the system clock) already gave other bytes
// in the output's folder gets a name of its own ("Skin 2.blp"), so that a
// batch into one folder never shows one model another's texture.
// Messages go to `report`. Returns the exit status: 0 done, 2 refused, 3 a
// file could not be written.
int ConvertSceneWhole(const std::string& input, const std::string& output,
                      const CommandLine& options, int64_t run_started,
                      const std::function<void(const std::string&)>& report);

#endif
