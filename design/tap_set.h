// Tap files written as trivandel.exe reads them (one value per line, in
// its order: the first tap multiplies the oldest frame, so an impulse in
// time order is written last value first). Files are replaced only as a
// set: each is written to a temporary file first, then all are renamed,
// so a failure never leaves a new file beside old ones.
#pragma once

#include <filesystem>
#include <vector>

// `paths[i]` gets `impulses[i]`, reversed. False after printing which file
// could not be written; then no file was replaced.
bool WriteTapFiles(const std::vector<std::filesystem::path>& paths,
                   const std::vector<std::vector<double>>& impulses);
