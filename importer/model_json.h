// The host model as a model description (JSON): what the host's library
// answers for it, read through the twenty library calls, so that the
// command-line exporter can load it back and export the same model.
#ifndef MDLEXPORT_IMPORTER_MODEL_JSON_H
#define MDLEXPORT_IMPORTER_MODEL_JSON_H

#include "host_model_lib.h"

#include <string>

// The description of `model` (throws nothing but std::bad_alloc). Floats are written as the
// shortest decimal that reads back as the same float; names are escaped JSON strings (the library
// gives them as bytes: valid UTF-8 in, valid UTF-8 out).
std::string ModelDescriptionJson(ModelHandle model);

// Writes ModelDescriptionJson(model) to `path`; false with `error` set when
// the file cannot be written.
bool WriteModelDescription(ModelHandle model, const std::string& path, std::string& error);

#endif
