// The spdlog-based sink: a size-rotated file, or standard error.
#include "sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include <spdlog/logger.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

namespace qxlog {
namespace {

const std::size_t kMaxFileSize = 10 * 1024 * 1024;
const std::size_t kKeptFiles = 3;

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

// The log may hold what the data names: owner-only whatever the umask,
// also each file a rotation starts.
spdlog::file_event_handlers ownerOnlyFiles() {
    spdlog::file_event_handlers handlers;
    handlers.before_open = [](const spdlog::filename_t& file) {
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) close(fd);
    };
    handlers.after_open = [](const spdlog::filename_t&, std::FILE* stream) { fchmod(fileno(stream), 0600); };
    return handlers;
}

}  // namespace

void openSink(const std::string& target, std::string* error) {
    std::shared_ptr<spdlog::logger> logger;
    if (target != "stderr") {
        try {
            logger = makeLogger(
                std::make_shared<spdlog::sinks::rotating_file_sink_mt>(target, kMaxFileSize, kKeptFiles,
                                                                      false, ownerOnlyFiles()));
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
