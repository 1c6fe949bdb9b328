#pragma once

#include <string>
#include <vector>

namespace specklecut {

// Replaces the content of the file `path` with `bytes`, whole or not at all: the bytes
// go to a new file in the same folder, which is then renamed over `path`. An existing
// file keeps its permission bits; a symbolic link is written through. Returns false on
// any failure, leaving an existing file at `path` untouched and no temporary file behind.
bool ReplaceFile(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace specklecut
