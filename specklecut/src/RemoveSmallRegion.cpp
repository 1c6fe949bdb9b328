#include "specklecut.h"

#include "FileReplace.h"
#include "RegionFill.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The extension of the file name in `path`, from its last dot ("" if it has none); the
// image library picks the writer from it.
std::string Extension(const char* path)
{
    const char* name = std::strrchr(path, '/');
    name = name ? name + 1 : path;
    const char* dot = std::strrchr(name, '.');
    return dot ? std::string(dot) : std::string();
}

// Whether `path` names something that opens for reading and is not a folder. Checked
// before the image reader is asked, which would log a warning for a missing file.
bool IsReadableFile(const char* path)
{
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return ok;
}

}  // namespace

extern "C" SPECKLECUT_API int RemoveSmallRegion(const char* sourcePath, const char* targetPath, int sizeLimit,
                                                int polarity, int eightConnected)
{
    // The status to report if anything throws at the current step.
    int failure = SPECKLECUT_ERR_ARGUMENT;
    try {
        if (sourcePath == nullptr || targetPath == nullptr || (eightConnected != 0 && eightConnected != 1)) {
            return SPECKLECUT_ERR_ARGUMENT;
        }

        failure = SPECKLECUT_ERR_TARGET;
        const std::string extension = Extension(targetPath);
        if (extension.size() < 2 || !cv::haveImageWriter(extension)) {
            return SPECKLECUT_ERR_TARGET;
        }

        failure = SPECKLECUT_ERR_SOURCE;
        if (!IsReadableFile(sourcePath)) {
            return SPECKLECUT_ERR_SOURCE;
        }
        cv::Mat grey = cv::imread(sourcePath, cv::IMREAD_GRAYSCALE);
        if (grey.empty()) {
            return SPECKLECUT_ERR_SOURCE;
        }

        failure = SPECKLECUT_ERR_MEMORY;
        specklecut::FillSmallRegions(grey, sizeLimit, polarity, eightConnected == 1);

        failure = SPECKLECUT_ERR_TARGET;
        std::vector<unsigned char> bytes;
        if (!cv::imencode(extension, grey, bytes) || !specklecut::ReplaceFile(targetPath, bytes)) {
            return SPECKLECUT_ERR_TARGET;
        }
        return SPECKLECUT_OK;
    } catch (const std::bad_alloc&) {
        return SPECKLECUT_ERR_MEMORY;
    } catch (const cv::Exception& e) {
        return e.code == cv::Error::StsNoMem ? SPECKLECUT_ERR_MEMORY : failure;
    } catch (...) {
        return failure;
    }
}
