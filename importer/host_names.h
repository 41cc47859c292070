// Names as the host holds them and the MDL text quotes them.
#ifndef MDLEXPORT_IMPORTER_HOST_NAMES_H
#define MDLEXPORT_IMPORTER_HOST_NAMES_H

#include <string>
#include <vector>

// `name` made one line of valid text for a note or a model description:
// every byte of a malformed UTF-8 sequence, every control character and
// every double quote becomes '_'. Well-formed UTF-8 is kept.
std::string CleanName(const std::string& name);

// CleanName(name) made readable inside the MDL's double quotes as well:
// each backslash at its end becomes '_' too (MDL readers take a backslash
// before the closing quote for an escaped quote).
std::string ReadableName(const std::string& name);

// Why MDL readers cannot read `name` back between the export's quotes
// ("holds a double quote", "ends in a backslash"), or null when they can.
const char* MdlNameProblem(const std::string& name);

// The longest prefix of `name` of at most `limit` bytes that does not end
// inside a UTF-8 sequence.
std::string CutName(const std::string& name, size_t limit);

// Bone names for the host: each one cleaned, cut to 31 bytes, never empty
// (`fallback` stands in for an empty name) and unique: the export finds a
// parent by name, so a repeated name gets ".2", ".3", ... (cutting its stem
// so that the whole still fits). Each is readable (ReadableName), after the
// cut as well. The result has one name per entry, in order.
std::vector<std::string> UniqueHostNames(const std::vector<std::string>& wanted,
                                         const std::string& fallback);

#endif
