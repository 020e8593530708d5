// qxs_parse_text_ex on any line, separator, qualifier, field count and buffer
// size. The first three bytes choose the separator, the qualifier and the
// limits; the rest (up to a NUL) is the line. The buffer and the field array
// are allocated at exactly their given sizes, so a write past either is
// caught by AddressSanitizer.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "qxsstr.h"

namespace {

const char kSeparators[] = {',', ';', '\t', '|', ' ', '"'};
const char kQualifiers[] = {'\0', '"', '\'', ','};
const int kFieldLimits[] = {1, 2, 3, 8, 1024};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const char separator = kSeparators[data[0] % sizeof kSeparators];
    const char qualifier = kQualifiers[data[1] % sizeof kQualifiers];
    const int maxFields = kFieldLimits[(data[2] & 0x0f) % (sizeof kFieldLimits / sizeof(int))];
    const std::string line(reinterpret_cast<const char*>(data + 3),
                           strnlen(reinterpret_cast<const char*>(data + 3), size - 3));
    // The high bits shorten the buffer below the size that always suffices.
    const int shortBy = data[2] >> 4;
    const int bufferSize = static_cast<int>(line.size()) + 1 - shortBy;
    if (bufferSize <= 0) return 0;

    std::vector<char*> fields(static_cast<std::size_t>(maxFields), nullptr);
    std::vector<char> buffer(static_cast<std::size_t>(bufferSize));
    const int count = qxs_parse_text_ex(line.c_str(), fields.data(), maxFields, buffer.data(), bufferSize,
                                        separator, qualifier);
    FUZZ_CHECK(count >= 0 && count <= maxFields);
    FUZZ_CHECK(line.empty() == (count == 0));
    const char* end = buffer.data() + bufferSize;
    const char* previous = buffer.data();
    for (int i = 0; i < count; ++i) {
        const char* field = fields[static_cast<std::size_t>(i)];
        FUZZ_CHECK(field >= previous && field < end);
        FUZZ_CHECK(std::memchr(field, '\0', static_cast<std::size_t>(end - field)) != nullptr);
        previous = field + std::strlen(field) + 1;
    }
    // Unqualified with room for everything: the fields joined are the line.
    if (qualifier == '\0' && shortBy == 0 && count < maxFields) {
        std::string joined;
        for (int i = 0; i < count; ++i)
            joined += (i > 0 ? std::string(1, separator) : "") + fields[static_cast<std::size_t>(i)];
        FUZZ_CHECK(joined == line);
    }
    return 0;
}
