#include "OutputFile.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The temporary file being written, for the signal handler. Set while an
// OutputFile holds one; the handler only reads it.
char g_pendingTemp[4096];
volatile std::sig_atomic_t g_hasPending = 0;

void SetPending(const std::string& path)
{
    g_hasPending = 0;
    if (path.size() < sizeof g_pendingTemp) {
        std::memcpy(g_pendingTemp, path.c_str(), path.size() + 1);
        g_hasPending = 1;
    }
}

void ClearPending() { g_hasPending = 0; }

extern "C" void RemovePendingAndReraise(int sig)
{
    if (g_hasPending) {
        unlink(g_pendingTemp);
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

std::string ErrnoText(int err) { return std::strerror(err); }

std::string DirectoryOf(const std::string& path)
{
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

void SyncDirectory(const std::string& dir)
{
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

OutputFile::~OutputFile()
{
    Abort();
}

bool OutputFile::Open(const std::string& path, std::string& error)
{
    Abort();
    error_.clear();
    target_ = path;
    if (path.empty()) {
        error = error_ = "empty path";
        return false;
    }

    struct stat st;
    bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        error = error_ = ErrnoText(EISDIR);
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe: there is nothing to keep, write straight to it.
        fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error = error_ = ErrnoText(errno);
            return false;
        }
        direct_ = true;
        return true;
    }

    // Follow a symbolic link (even a dangling one) to the file it names.
    struct stat lst;
    if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        std::error_code ec;
        const fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) {
            target_ = resolved.string();
        }
    }

    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }

    const fs::path name = fs::path(target_).filename();
    std::string pattern = (fs::path(DirectoryOf(target_)) / ("." + name.string() + ".XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error = error_ = ErrnoText(errno);
        return false;
    }
    temp_ = buffer.data();
    SetPending(temp_);
    if (fchmod(fd_, mode) != 0) {
        const int err = errno;
        Abort();
        error = error_ = ErrnoText(err);
        return false;
    }
    return true;
}

bool OutputFile::Write(const char* data, size_t size)
{
    if (fd_ < 0 || !error_.empty()) {
        return false;
    }
    while (size > 0) {
        const ssize_t n = write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = ErrnoText(errno);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::Commit(std::string& error)
{
    if (fd_ < 0 && error_.empty()) {
        error_ = "no file is open";
    }
    if (!error_.empty()) {
        error = error_;
        Abort();
        return false;
    }
    if (direct_) {
        const int rc = close(fd_);
        fd_ = -1;
        if (rc != 0) {
            error = error_ = ErrnoText(errno);
            return false;
        }
        return true;
    }
    if (fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        error = error_ = ErrnoText(errno);
        Abort();
        return false;
    }
    const int rc = close(fd_);
    fd_ = -1;
    if (rc != 0) {
        error = error_ = ErrnoText(errno);
        Abort();
        return false;
    }
    if (rename(temp_.c_str(), target_.c_str()) != 0) {
        error = error_ = ErrnoText(errno);
        Abort();
        return false;
    }
    ClearPending();
    temp_.clear();
    SyncDirectory(DirectoryOf(target_));
    return true;
}

void OutputFile::Abort()
{
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        ClearPending();
        temp_.clear();
    }
    direct_ = false;
}

void OutputFile::RemovePendingOnSignal()
{
    struct sigaction action {};
    action.sa_handler = RemovePendingAndReraise;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &action, nullptr);
    }
}
