// The model description and the host model, each made from the other: a
// description (model_description.h) built into a stand-in model, and a host
// model written as a description, read through the twenty library calls, so
// that the command-line exporter can load it back and export the same model.
#ifndef MDLEXPORT_CLI_MODEL_JSON_H
#define MDLEXPORT_CLI_MODEL_JSON_H

#include "host_model_lib.h"
#include "model_description.h"

#include <string>

// Appends the description's meshes and bones to `model`, in order, with the
// defaults filled in. Releases the description's arrays as it goes, so that
// the description and the model are not both held whole; `description` is
// empty afterwards.
void BuildStandInModel(ModelDescription& description, ModelHandle model);

// The description of `model` (throws nothing but std::bad_alloc). Floats are written as the
// shortest decimal that reads back as the same float; names are escaped JSON strings (the library
// gives them as bytes: valid UTF-8 in, valid UTF-8 out).
std::string ModelDescriptionJson(ModelHandle model);

// Writes ModelDescriptionJson(model) to `path`; false with `error` set when
// the file cannot be written.
bool WriteModelDescription(ModelHandle model, const std::string& path, std::string& error);

#endif
