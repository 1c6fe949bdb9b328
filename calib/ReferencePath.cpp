#include "ReferencePath.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool Exists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(p, ec);
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Depth-first search over the case-insensitive matches of each component.
// An exact match is tried before the other spellings, the rest in name order.
bool Match(const fs::path& dir, const std::vector<std::string>& parts, size_t index, fs::path& found)
{
    if (index == parts.size()) {
        found = dir;
        return true;
    }
    const std::string& part = parts[index];
    if (part == "." || part == "..") {
        return Match(dir / part, parts, index + 1, found);
    }
    std::vector<std::string> candidates;
    std::error_code ec;
    const fs::path listed = dir.empty() ? fs::path(".") : dir;
    for (fs::directory_iterator it(listed, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (EqualNoCase(name, part)) {
            candidates.push_back(name);
        }
    }
    std::sort(candidates.begin(), candidates.end(), [&](const std::string& a, const std::string& b) {
        if ((a == part) != (b == part)) {
            return a == part;
        }
        return a < b;
    });
    for (const std::string& name : candidates) {
        if (Match(dir / name, parts, index + 1, found)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ResolveReferencePath(const std::string& path)
{
    if (path.empty() || Exists(path)) {
        return path;
    }
    std::string slashed = path;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    if (Exists(slashed)) {
        return slashed;
    }

    std::vector<std::string> parts;
    fs::path root;
    size_t start = 0;
    if (slashed[0] == '/') {
        root = "/";
        start = 1;
    }
    while (start <= slashed.size()) {
        const size_t slash = slashed.find('/', start);
        const size_t end = slash == std::string::npos ? slashed.size() : slash;
        if (end > start) {
            parts.push_back(slashed.substr(start, end - start));
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    fs::path found;
    if (!parts.empty() && Match(root, parts, 0, found)) {
        return found.string();
    }
    return path;
}
