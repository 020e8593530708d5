// The delimited-line parser.
#include <cstddef>

#include "qxsstr.h"

namespace {

// Writes bytes into the caller's buffer, never past its end. The last byte
// is reserved for the terminating NUL of the field being written.
class FieldWriter {
public:
    FieldWriter(char* buffer, int size) : buffer_(buffer), size_(size > 0 ? size : 0) {}
    bool hasRoomForField() const { return used_ < size_; }
    char* begin() { return buffer_ + used_; }
    // False (and nothing written) when only the terminator still fits.
    bool put(char c) {
        if (used_ + 1 >= size_) return false;
        buffer_[used_++] = c;
        return true;
    }
    void terminate() { buffer_[used_++] = '\0'; }

private:
    char* buffer_;
    int size_;
    int used_ = 0;
};

}  // namespace

int qxs_parse_text_ex(const char* line, char** fields, int maxFields, char* buffer, int bufferSize,
                      int separator, int qualifier) {
    if (line == nullptr || fields == nullptr || buffer == nullptr || maxFields <= 0 || *line == '\0')
        return 0;
    const char sep = static_cast<char>(separator);
    const char qual = static_cast<char>(qualifier);
    FieldWriter out(buffer, bufferSize);
    int count = 0;
    const char* p = line;
    while (count < maxFields && out.hasRoomForField()) {
        fields[count++] = out.begin();
        bool full = false;
        bool quoted = qual != '\0' && *p == qual;
        if (quoted) ++p;
        while (*p != '\0' && !full) {
            if (quoted && *p == qual) {
                if (p[1] == qual) {  // a doubled qualifier is one qualifier character
                    full = !out.put(qual);
                    p += 2;
                    continue;
                }
                quoted = false;  // closing qualifier
                ++p;
                continue;
            }
            if (!quoted && *p == sep) break;
            full = !out.put(*p++);
        }
        out.terminate();
        if (full || *p == '\0') break;
        ++p;  // the separator
        if (*p == '\0' && count < maxFields && out.hasRoomForField()) {
            fields[count++] = out.begin();  // a trailing separator ends in an empty field
            out.terminate();
            break;
        }
    }
    return count;
}
