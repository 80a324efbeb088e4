// `quillon-cli wiring`: a chip's wiring drawing written to a file, SVG as the core writes it or
// PNG painted with cairo, so the command line needs no window toolkit.
#pragma once

#include <string>
#include <string_view>

#include "core/Drawing.h"
#include "core/FileIo.h"

namespace quillon::cli {

// True for a name ending in ".svg" or ".png", in any case.
bool IsWiringFileName(const std::string& path);

// The drawing as PNG bytes, `scale` pixels to a drawing unit; empty when cairo fails.
std::string WiringPng(const drawing::Drawing& drawing, double scale);

// Writes the chip's drawing to `path` (its extension picks the format) without ever leaving a
// half-written file; the status names the file and the reason on failure.
Failure WriteWiringFile(std::string_view chip, const std::string& path);

}  // namespace quillon::cli
