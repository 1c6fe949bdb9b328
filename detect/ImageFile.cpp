#include "ImageFile.h"

#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool ReadBytes(const std::string& path, std::vector<uchar>& bytes, std::string& problem)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        problem = std::strerror(EISDIR);
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        problem = std::strerror(errno);
        return false;
    }
    bytes.clear();
    uchar chunk[1 << 16];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        problem = std::strerror(err);
        return false;
    }
    if (bytes.empty()) {
        problem = "the file is empty";
        return false;
    }
    return true;
}

// A JPEG must end its last scan (the last start-of-scan marker FF DA) with
// an end-of-image marker FF D9. Inside a scan a data byte FF is always
// followed by 00 or a restart marker, so neither marker occurs by accident.
bool JpegIsComplete(const std::vector<uchar>& b)
{
    size_t lastScan = 0;
    bool haveScan = false;
    for (size_t i = 0; i + 1 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == 0xDA) {
            lastScan = i;
            haveScan = true;
        }
    }
    if (!haveScan) {
        return false;
    }
    for (size_t i = lastScan + 2; i + 1 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == 0xD9) {
            return true;
        }
    }
    return false;
}

bool IsJpeg(const std::vector<uchar>& b)
{
    return b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
}

// Runs `decode` with the standard error stream diverted to a temporary file
// and returns what was written there.
template <typename Decode>
std::string WithStderrCaptured(Decode decode)
{
    std::fflush(stderr);
    std::FILE* capture = std::tmpfile();
    const int saved = capture ? dup(STDERR_FILENO) : -1;
    if (saved < 0) {
        if (capture) {
            std::fclose(capture);
        }
        decode();
        return std::string();
    }
    dup2(fileno(capture), STDERR_FILENO);
    try {
        decode();
    } catch (...) {
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        std::fclose(capture);
        throw;
    }
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string text;
    std::rewind(capture);
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, capture)) > 0 && text.size() < 4096) {
        text.append(buffer, n);
    }
    std::fclose(capture);
    return text;
}

// Decoder messages that mean the pixels are not what the file was meant to
// hold. Other messages (a PNG's colour profile notes, a JPEG's stray bytes
// between markers) leave the image intact.
std::string DamageReported(const std::string& messages)
{
    std::istringstream lines(messages);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line.find("libpng warning") != std::string::npos ||
            line.find("extraneous bytes before marker") != std::string::npos) {
            continue;
        }
        return line;
    }
    return std::string();
}

}  // namespace

cv::Mat ReadImageFile(const std::string& path, int flags, std::string* problem)
{
    std::string why;
    std::vector<uchar> bytes;
    cv::Mat image;
    if (!ReadBytes(path, bytes, why)) {
        // nothing to decode
    } else if (IsJpeg(bytes) && !JpegIsComplete(bytes)) {
        why = "the file is damaged (the JPEG data ends early)";
    } else {
        std::string messages;
        try {
            messages = WithStderrCaptured([&] { image = cv::imdecode(bytes, flags); });
        } catch (const cv::Exception& e) {
            image.release();
            messages = e.err;
        } catch (const std::bad_alloc&) {
            image.release();
            messages = "out of memory";
        }
        const std::string damage = DamageReported(messages);
        if (!damage.empty()) {
            image.release();
            why = "the file is damaged (" + damage + ")";
        } else if (image.empty()) {
            why = "not an image file the program can read";
        }
    }
    if (problem) {
        *problem = why;
    }
    return image;
}
