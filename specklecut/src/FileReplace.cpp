#include "FileReplace.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace specklecut {
namespace {

// The new file, removed again unless it was renamed into place.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile()
    {
        Close();
        if (!name_.empty()) {
            ::unlink(name_.c_str());
        }
    }

    // Creates a fresh file in `folder` ("" or ending in '/'). Mode 0666 less the umask,
    // as for any newly written file.
    bool Create(const std::string& folder)
    {
        // Only uniqueness matters here; O_EXCL settles any clash.
        std::uint64_t seed = static_cast<std::uint64_t>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        seed ^= static_cast<std::uint64_t>(::getpid()) << 40;
        seed ^= reinterpret_cast<std::uintptr_t>(this);
        for (int attempt = 0; attempt < 64; ++attempt) {
            seed += 0x9E3779B97F4A7C15ull;  // splitmix64
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            z ^= z >> 31;
            static const char digits[] = "0123456789abcdef";
            std::string name = folder + ".specklecut-";
            for (int i = 0; i < 12; ++i) {
                name += digits[(z >> (4 * i)) & 0xF];
            }
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0) {
                name_ = std::move(name);
                return true;
            }
            if (errno != EEXIST) {
                return false;
            }
        }
        return false;
    }

    bool Write(const std::vector<unsigned char>& bytes)
    {
        const unsigned char* p = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        return true;
    }

    int fd() const { return fd_; }

    bool Close()
    {
        if (fd_ < 0) {
            return true;
        }
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

    bool RenameTo(const std::string& path)
    {
        if (::rename(name_.c_str(), path.c_str()) != 0) {
            return false;
        }
        name_.clear();
        return true;
    }

private:
    int fd_ = -1;
    std::string name_;
};

// The file that writing to `path` would change: the target of a symbolic link.
std::string ResolveLink(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;  // a dangling link is replaced itself
}

}  // namespace

bool ReplaceFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    if (path.empty()) {
        return false;
    }
    const std::string target = ResolveLink(path);
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);

    TempFile temp;
    if (!temp.Create(folder)) {
        return false;
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            return false;  // a folder or device is never replaced
        }
        ::fchmod(temp.fd(), st.st_mode & 07777);  // best effort, like an overwrite in place
    }
    return temp.Write(bytes) && temp.Close() && temp.RenameTo(target);
}

}  // namespace specklecut
