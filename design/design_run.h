// trivandel-design's two jobs: a design file made into three checked tap
// files, and one filter of another tool imported into a tap file.
#pragma once

#include <filesystem>

#include "design/importer.h"

// Exit status: 0 the design is realised, 1 after a design warning, 2 when
// the design could not be used (nothing is written then).
int RunDesign(const std::filesystem::path& design, const std::filesystem::path& out,
              const std::filesystem::path& svg);

// Exit status 0, or 2 when the file could not be imported or written.
// `rate` 0: none given.
int RunImport(const std::filesystem::path& file, const std::filesystem::path& out, double rate,
              ImportChannel channel);

// Reads a filter for a design at `rate`; prints what it read. False after
// printing why it cannot be used.
bool ReadFilter(const std::filesystem::path& file, double rate, ImportChannel channel,
                ImportedFilter* f);
