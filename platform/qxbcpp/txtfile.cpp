// QxbTxtFile: reads a text file line by line (LF or CRLF, optional UTF-8 BOM),
// each line at most 1 MiB.
#include "qxbcpp.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

// The longest line read, without its end: a file that is not text (or has
// no line ends) is refused here instead of filling memory.
constexpr std::size_t kMaxLineLength = std::size_t{1} << 20;

class TxtFileImpl : public QxbTxtFile {
public:
    explicit TxtFileImpl(std::FILE* file) : file_(file) {}

    // A line longer than kMaxLineLength answers -1 with errno EOVERFLOW, and
    // so does every later call: the rest of that line is no line of its own.
    int readLine(int, char** line, int) override {
        if (line) *line = nullptr;
        try {
            return readNextLine(line);
        } catch (const std::bad_alloc&) {
            errno = ENOMEM;
            return -1;
        }
    }

    void close() override { delete this; }

protected:
    ~TxtFileImpl() override { std::fclose(file_); }

private:
    int readNextLine(char** line) {
        if (tooLong_) return refuseLongLine();
        buffer_.clear();
        errno = 0;
        int c;
        while ((c = getc_unlocked(file_)) != EOF && c != '\n') {
            // One byte more than the limit may be the CR of a CRLF end.
            if (buffer_.size() > kMaxLineLength) return refuseLongLine();
            buffer_.push_back(static_cast<char>(c));
        }
        if (c == EOF) {
            if (std::ferror(file_)) return -1;
            if (buffer_.empty()) return 0;
        } else if (!buffer_.empty() && buffer_.back() == '\r') {
            buffer_.pop_back();
        }
        if (buffer_.size() > kMaxLineLength) return refuseLongLine();
        std::size_t start = 0;
        if (first_ && buffer_.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
        first_ = false;
        if (line) *line = &buffer_[0] + start;
        return static_cast<int>(buffer_.size() - start) + 1;
    }

    int refuseLongLine() {
        tooLong_ = true;
        errno = EOVERFLOW;
        return -1;
    }

    std::FILE* file_;
    std::string buffer_;
    bool first_ = true;
    bool tooLong_ = false;
};

void setError(QxbString* error, const char* path, const char* reason) {
    if (error)
        *error = QxbString(std::string("Cannot open file '") + path + "': " + reason);
}

}  // namespace

QxbTxtFile* qxbTxtFileOpen(const char* path, QxbTxtFileOpenMode mode, int, int, QxbString* error) {
    if (!path) path = "";
    if (mode != QXB_TXT_READ) {
        setError(error, path, "unsupported open mode");
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        setError(error, path, std::strerror(errno));
        return nullptr;
    }
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        setError(error, path, std::strerror(EISDIR));
        return nullptr;
    }
    QxbTxtFile* result = new (std::nothrow) TxtFileImpl(file);
    if (!result) {
        std::fclose(file);
        setError(error, path, std::strerror(ENOMEM));
    }
    return result;
}

QxbTxtFile::~QxbTxtFile() = default;
