// QxbTxtFile: reads a text file line by line (LF or CRLF, optional UTF-8 BOM).
#include "qxbcpp.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

class TxtFileImpl : public QxbTxtFile {
public:
    explicit TxtFileImpl(std::FILE* file) : file_(file) {}

    int readLine(int, char** line, int) override {
        if (line) *line = nullptr;
        errno = 0;
        ssize_t length = getline(&buffer_, &capacity_, file_);
        if (length < 0) return std::ferror(file_) ? -1 : 0;
        if (length > 0 && buffer_[length - 1] == '\n') {
            --length;
            if (length > 0 && buffer_[length - 1] == '\r') --length;
        }
        buffer_[length] = '\0';
        char* start = buffer_;
        if (first_ && length >= 3 && std::memcmp(start, "\xEF\xBB\xBF", 3) == 0) {
            start += 3;
            length -= 3;
        }
        first_ = false;
        if (line) *line = start;
        return static_cast<int>(length) + 1;
    }

    void close() override { delete this; }

protected:
    ~TxtFileImpl() override {
        std::fclose(file_);
        std::free(buffer_);  // getline allocates with malloc
    }

private:
    std::FILE* file_;
    char* buffer_ = nullptr;
    std::size_t capacity_ = 0;
    bool first_ = true;
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
