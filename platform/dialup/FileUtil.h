// Small file helpers of the dial-up service.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace velmo::dialup {

// mkdir -p with the given mode for every folder it creates.
bool MakeDirectories(const std::string& path, mode_t mode);
// Reads a regular file of at most maxBytes (not following a final symlink); false otherwise.
bool ReadSmallFile(const std::string& path, std::string& out, size_t maxBytes);
// Replaces path with text in one step (temporary file in the same folder, fsync, rename); the file has mode.
bool WriteFileAtomically(const std::string& path, const std::string& text, mode_t mode);
// "key=value" lines; '#' lines and lines without '=' are skipped.
std::vector<std::pair<std::string, std::string>> ParseKeyValues(const std::string& text);

}  // namespace velmo::dialup
