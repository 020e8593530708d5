// The spdlog-based sink: a size-rotated file that processes share, or
// standard error.
#include "sink.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include <spdlog/details/os.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

namespace qxlog {
namespace {

std::mutex sinkMutex;
std::shared_ptr<spdlog::logger>& current() {
    // Never destroyed: lines may still be written from other static destructors.
    static auto* logger = new std::shared_ptr<spdlog::logger>();
    return *logger;
}

std::shared_ptr<spdlog::logger> makeLogger(spdlog::sink_ptr sink) {
    auto logger = std::make_shared<spdlog::logger>("rdm", std::move(sink));
    logger->set_pattern("%Y-%m-%d %H:%M:%S.%e %v");
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::trace);
    return logger;
}

// Whether path names the file open as fd; *open receives that file's state.
bool pathNamesFile(const std::string& path, int fd, struct stat* open) {
    struct stat atPath {};
    return fd >= 0 && stat(path.c_str(), &atPath) == 0 && fstat(fd, open) == 0 && atPath.st_dev == open->st_dev &&
           atPath.st_ino == open->st_ino;
}

// A size-rotated log file that several processes write at once (every rdm
// command, the engine's host, library callers), each line with one append.
// The writer follows the path: when another process has rotated the file,
// it reopens the new one instead of writing on into the renamed (and in the
// end deleted) file. It looks at the path at most every kFollowEvery, and
// whenever the file may have reached its limit (its size as last seen plus
// what this process wrote since): a system call or two per line would
// triple a line's cost, and a line written meanwhile lands in the file just
// rotated, which is kept. Only the process that holds the file the path
// names rotates it, under an exclusive lock on that file, and only if it is
// still too big once the lock is held: two processes never rotate the same
// file twice. The file and every new one are owner-only.
class SharedFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    SharedFileSink(std::string path, const SinkLimits& limits) : path_(std::move(path)), limits_(limits) {
        spdlog::details::os::create_dir(spdlog::details::os::dir_name(path_));
        if (!open()) spdlog::throw_spdlog_ex("Failed opening file " + path_ + " for writing", errno);
        checked_ = std::chrono::steady_clock::now();
    }
    ~SharedFileSink() override {
        if (fd_ >= 0) close(fd_);
    }

protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        spdlog::memory_buf_t line;
        formatter_->format(message, line);
        const auto now = std::chrono::steady_clock::now();
        if (fd_ < 0 || now - checked_ >= kFollowEvery || size_ + line.size() > limits_.maxSize) {
            checked_ = now;
            follow();
            if (fd_ >= 0 && size_ > 0 && size_ + line.size() > limits_.maxSize) rotate(line.size());
        }
        if (fd_ < 0) return;  // lines are dropped, never the caller's failure
        const char* data = line.data();
        std::size_t left = line.size();
        while (left > 0) {
            const ssize_t written = write(fd_, data, left);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return;
            data += written;
            left -= static_cast<std::size_t>(written);
            size_ += static_cast<std::uint64_t>(written);
        }
    }
    void flush_() override {}  // every line is written as it comes

private:
    static constexpr std::chrono::milliseconds kFollowEvery{100};

    // Opens the path (appending, owner-only) in place of the open file.
    bool open() {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        fchmod(fd, 0600);
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
        struct stat opened {};
        size_ = fstat(fd_, &opened) == 0 ? static_cast<std::uint64_t>(opened.st_size) : 0;
        return true;
    }

    // The path's file unless it is the one open; notes the file's size.
    void follow() {
        struct stat open {};
        if (pathNamesFile(path_, fd_, &open)) {
            size_ = static_cast<std::uint64_t>(open.st_size);
            return;
        }
        this->open();
    }

    // "logs/rdm.log" -> "logs/rdm.N.log", as the rotated files have always been named.
    std::string rotatedName(unsigned n) const {
        if (n == 0) return path_;
        const auto slash = path_.rfind('/');
        const auto dot = path_.rfind('.');
        if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot < slash + 2))
            return path_ + "." + std::to_string(n);
        return path_.substr(0, dot) + "." + std::to_string(n) + path_.substr(dot);
    }

    void rotate(std::size_t pending) {
        const int held = fd_;
        if (flock(held, LOCK_EX) != 0) return;
        struct stat open {};
        const bool stillTooBig = pathNamesFile(path_, held, &open) &&
                                 static_cast<std::uint64_t>(open.st_size) + pending > limits_.maxSize;
        if (stillTooBig) {
            if (limits_.keptFiles == 0) {
                unlink(path_.c_str());
            } else {
                for (unsigned n = limits_.keptFiles; n > 0; --n) {
                    const std::string from = rotatedName(n - 1);
                    if (access(from.c_str(), F_OK) == 0) rename(from.c_str(), rotatedName(n).c_str());
                }
            }
        }
        // Whoever rotated, the path now names the file to write.
        fd_ = -1;
        this->open();
        flock(held, LOCK_UN);
        close(held);
    }

    std::string path_;
    SinkLimits limits_;
    int fd_ = -1;
    std::uint64_t size_ = 0;  // the file's size as last seen, plus what was written since
    std::chrono::steady_clock::time_point checked_;
};

}  // namespace

void openSink(const std::string& target, const SinkLimits& limits, std::string* error) {
    std::shared_ptr<spdlog::logger> logger;
    if (target != "stderr") {
        try {
            logger = makeLogger(std::make_shared<SharedFileSink>(target, limits));
        } catch (const std::exception& failure) {
            if (error) *error = std::string("Cannot open log file: ") + failure.what();
        }
    }
    try {
        if (!logger) logger = makeLogger(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    } catch (const std::exception&) {
        return;  // nothing left to write to; lines are dropped
    }
    std::lock_guard<std::mutex> lock(sinkMutex);
    current() = std::move(logger);
}

bool sinkOpen() {
    std::lock_guard<std::mutex> lock(sinkMutex);
    return current() != nullptr;
}

void writeLine(const std::string& line) {
    std::shared_ptr<spdlog::logger> logger;
    {
        std::lock_guard<std::mutex> lock(sinkMutex);
        logger = current();
    }
    if (!logger) return;
    try {
        logger->log(spdlog::level::info, spdlog::string_view_t(line.data(), line.size()));
    } catch (const std::exception&) {
        // A failing sink must never take the caller down.
    }
}

}  // namespace qxlog
