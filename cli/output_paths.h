// Where each input's model goes. Paths are byte strings with "/" between
// components; nothing here touches a file except to ask whether OUT is an
// existing folder.
#ifndef MDLEXPORT_CLI_OUTPUT_PATHS_H
#define MDLEXPORT_CLI_OUTPUT_PATHS_H

#include <string>
#include <vector>

// `path` with the extension of its last component replaced by `extension`
// (which starts with its dot), or `extension` appended when it has none. The
// extension is the part from the last dot on, unless only dots stand before
// it in the component (".json" has no extension).
//   "dir/model.json" -> "dir/model.mdl"   "dir.v2/model" -> "dir.v2/model.mdl"
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// True when `path` ends with `end` (lower case), letters compared without
// their case: EndsWithFolded("Hero.MDX", ".mdx").
bool EndsWithFolded(const std::string& path, const char* end);

// The output path of every input, in order:
// - without OUT: each input with its extension replaced by ".mdl";
// - when OUT is an existing folder (or ends with "/"): OUT/NAME.mdl, NAME the
//   input's last component with its extension replaced;
// - otherwise OUT itself, allowed for a single input only.
// False with `error` when OUT must be a folder and is not one, or when two
// inputs would write the same output.
bool PlanOutputs(const std::vector<std::string>& inputs, bool has_output, const std::string& output,
                 std::vector<std::string>& outputs, std::string& error);

// The same with each input's own extension in place of ".mdl":
// `extensions[i]` for `inputs[i]`.
bool PlanOutputs(const std::vector<std::string>& inputs, const std::vector<std::string>& extensions,
                 bool has_output, const std::string& output, std::vector<std::string>& outputs,
                 std::string& error);

#endif
