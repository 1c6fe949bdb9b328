#include "ImageFile.h"

#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Checks that `path` names a readable, non-empty file; reads its first
// bytes into `head`.
bool CheckFile(const std::string& path, unsigned char head[3], std::string& problem)
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
    head[0] = head[1] = head[2] = 0;
    const size_t n = std::fread(head, 1, 3, f);
    std::fclose(f);
    if (n == 0) {
        problem = "the file is empty";
        return false;
    }
    return true;
}

// A JPEG must end its last scan (the last start-of-scan marker FF DA) with
// an end-of-image marker FF D9. Inside a scan a data byte FF is always
// followed by 00 or a restart marker, so neither marker occurs by accident.
// The file is streamed, so this costs no memory.
bool JpegIsComplete(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        return false;
    }
    bool scanSeen = false;
    bool endAfterScan = false;
    int previous = -1;
    unsigned char chunk[1 << 16];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        for (size_t i = 0; i < n; ++i) {
            const int b = chunk[i];
            if (previous == 0xFF) {
                if (b == 0xDA) {
                    scanSeen = true;
                    endAfterScan = false;
                } else if (b == 0xD9 && scanSeen) {
                    endAfterScan = true;
                }
            }
            previous = b;
        }
    }
    std::fclose(f);
    return endAfterScan;
}

bool IsJpeg(const unsigned char head[3])
{
    return head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
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
// between markers, a decoder saying the format is not its own) leave the
// image intact.
std::string DamageReported(const std::string& messages)
{
    std::istringstream lines(messages);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line.find("libpng warning") != std::string::npos ||
            line.find("extraneous bytes before marker") != std::string::npos ||
            line.find("not recognized as a supported file format") != std::string::npos) {
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
    unsigned char head[3];
    cv::Mat image;
    if (!CheckFile(path, head, why)) {
        // nothing to decode
    } else if (IsJpeg(head) && !JpegIsComplete(path)) {
        why = "the file is damaged (the JPEG data ends early)";
    } else {
        std::string messages;
        try {
            messages = WithStderrCaptured([&] { image = cv::imread(path, flags); });
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
