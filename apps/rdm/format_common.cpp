// What the export and import formats share: their names, the URL texts and
// the FHIR code rule.
#include "formats.h"

namespace rdm {

const char kDefaultBaseUrl[] = "http://example.org/rdm";
const char kAttributeNamespace[] = "urn:x-rdm:attribute:";

const std::vector<std::string>& exportFormats() {
    static const std::vector<std::string> names = {"csv", "json", "jsonl", "fhir", "skos"};
    return names;
}

std::string importFormatOf(const std::string& path, const std::string& given) {
    if (!given.empty()) return given;
    const std::size_t dot = path.rfind('.');
    const std::string ending = dot == std::string::npos ? std::string() : path.substr(dot);
    if (ending == ".jsonl" || ending == ".ndjson") return "jsonl";
    if (ending == ".ttl") return "skos";
    return ending == ".json" ? "json" : "csv";
}

std::string percentEncoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0xF];
        }
    }
    return encoded;
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string percentDecoded(const std::string& text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
        if (low >= 0) {
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

bool isFhirCode(const std::string& text) {
    if (text.empty() || text.front() == ' ' || text.back() == ' ') return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t' || c == '\n' || c == '\r' || (c == ' ' && text[i + 1] == ' ')) return false;
    }
    return true;
}

}  // namespace rdm
