// The heading: MDL sections of the user's own (sequences, textures,
// materials) that take the place of the export's marker line, so that the
// file stands alone.
#ifndef MDLEXPORT_CLI_HEADING_H
#define MDLEXPORT_CLI_HEADING_H

#include <cstdint>
#include <string>
#include <string_view>

// The heading file's bytes made ready to splice: a leading UTF-8 byte order
// mark dropped (it would stand in the middle of the model), every line end
// (LF or CR LF) made CR LF, and CR LF added after a last line without one. A
// CR that no LF follows is kept as it is; an empty file stays empty.
std::string NormalizeHeading(std::string_view text);

// Copies the export read from descriptor `from` (at its start) to `to`, with
// the first marker line (one that starts the file or follows a line end)
// replaced by `heading`; every other byte is copied unchanged. Adds the bytes
// written to `written`. False with `error` (the reason, without a path) when
// a read or write fails or no marker line stands in the first 64 KiB, where
// the export always puts it.
bool SpliceHeading(int from, int to, std::string_view heading, uint64_t& written,
                   std::string& error);

#endif
