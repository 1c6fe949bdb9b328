#pragma once

#include <string>

// Maps a reference file path as the program writes it ("Data\\X.csv",
// "data\\Y.jpg") to an existing file on this system. Tried in order:
//   1. the path as written;
//   2. the path with every '\\' read as '/';
//   3. the path from step 2 with each folder and file name matched
//      case-insensitively against the entries of its directory.
// Returns the first candidate that exists, or the path as written when none
// does (so that opening it fails with the usual message).
std::string ResolveReferencePath(const std::string& path);
