// The designed bands drawn: each band's response from its written taps, its
// target dashed, and the sum of the three, 20 Hz to 20 kHz.
#pragma once

#include <filesystem>

#include "design/design_report.h"

bool WriteDesignSvg(const std::filesystem::path& path, const Design& design,
                    const DesignResult& result);
