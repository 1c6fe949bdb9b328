#pragma once

// Shared set-up of the fuzz targets: a private scratch folder and a quiet
// console.

#include <opencv2/core/utils/logger.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

inline const std::string& ScratchDir()
{
    static const std::string dir = [] {
        std::string pattern = "/tmp/velvane-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::abort();
        }
        return pattern;
    }();
    return dir;
}

inline std::string ScratchPath(const std::string& name) { return ScratchDir() + "/" + name; }

inline void WriteScratch(const std::string& path, const unsigned char* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, f) != size) {
        std::abort();
    }
    std::fclose(f);
}

// The program's console lines would drown the fuzzer's own reports.
inline void QuietConsole()
{
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}
