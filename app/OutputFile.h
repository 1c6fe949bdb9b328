#pragma once

#include <cstddef>
#include <string>

// Writes a result file without ever losing an earlier one.
//
// A regular target (or a missing one) is written to a temporary file in the
// target's folder, which replaces the target only when Commit succeeds; an
// existing target keeps its permission bits, and a symbolic link is followed
// to the file it names. A target that exists but is not a regular file
// (a terminal, a pipe, /dev/stdout, /dev/full) is written directly.
//
// Until Commit, the temporary file is removed by Abort, by the destructor, and
// by RemovePendingOnSignal when the process is stopped by a signal.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Prepares the output; on failure `error` says why (strerror text).
    bool Open(const std::string& path, std::string& error);
    // Appends bytes. After the first failed write every later call fails too.
    bool Write(const char* data, size_t size);
    // Makes the written bytes the content of the target.
    bool Commit(std::string& error);
    // Drops the temporary file; the target stays as it was.
    void Abort();
    // Marks the output as failed for `reason` unless it failed already.
    void Fail(const std::string& reason)
    {
        if (error_.empty()) {
            error_ = reason;
        }
    }

    bool Failed() const { return !error_.empty(); }

    // Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the pending
    // temporary file, if any, then let the signal end the process as usual.
    static void RemovePendingOnSignal();

private:
    int fd_ = -1;
    bool direct_ = false;
    std::string target_;   // the file that receives the result
    std::string temp_;     // the temporary file; empty when writing directly
    std::string error_;
};
