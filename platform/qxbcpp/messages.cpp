// The message catalogue: one table of numbered texts per module, and the
// insertion of arguments into them.
#include "qxbcpp.h"

#include <cctype>
#include <cstring>

namespace {

struct MessageEntry {
    const char* module;
    int code;
    const char* name;  // symbolic name, for readers of the table and of logs
    const char* text;  // %1, %2, ... name the arguments
};

// A text that ends with an argument relies on the formatter's rules: a space
// before an argument that starts with a word or '[', and exactly one final
// period. So "not found%1" reads well with "", "[NAME]." and ": NAME.".
const MessageEntry kMessages[] = {
    {"Reference Data", 3, "RD_NO_CONNECTION", "No connection, handle or edit session is open%1"},
    {"Reference Data", 249, "RD_NO_RESULT_SET", "No result set to attach to the cursor%1"},
    {"Reference Data", 530, "RD_ALLOCATION_FAILED", "Memory allocation failed%1"},
    {"Reference Data", 1509, "RD_OBJECT_EXISTS", "The object already exists%1"},
    {"Reference Data", 1532, "RD_OBJECT_NOT_FOUND", "The object was not found%1"},
    {"Reference Data", 1815, "RD_ATTRIBUTE_IN_USE", "The attribute is still in use%1"},
    {"Reference Data", 1823, "RD_DOMAIN_NOT_FOUND", "Reference data domain not found%1"},
    {"Reference Data", 1824, "RD_VERSION_NOT_FOUND",
     "Version %2 of reference data domain '%1' not found"},
    {"Reference Data", 1825, "RD_FIRST_LINE_UNREADABLE",
     "The first line of the file cannot be read (longer than 1 MiB, or a read error)%1"},
    {"Reference Data", 1826, "RD_VERSION_CONFLICT",
     "Domain '%1' has version %2 now, stored by another writer after this edit began on version %3; "
     "nothing was written"},
    {"Reference Data", 1827, "RD_EDIT_NOT_APPLICABLE", "The edit cannot be applied%1"},
    {"Profile Engine", 1103, "PE_NO_STEP_ENGINE", "No step engine could be created%1"},
    {"Reference Data Plugin", 404, "RDP_FIELD_NOT_FOUND", "Upstream field not found%1"},
    {"Reference Data Plugin", 923, "RDP_VALUE_NULL", "Upstream value is null%1"},
    {"Reference Data Plugin", 1306, "RDP_NO_REPOSITORY", "No current repository is set for the job%1"},
    {"Monitor Plugin", 1363, "MP_NO_REPOSITORY", "No current repository is set%1"},
};

const MessageEntry* findMessage(const char* module, int code) {
    for (const MessageEntry& entry : kMessages)
        if (entry.code == code && std::strcmp(entry.module, module) == 0) return &entry;
    return nullptr;
}

bool endsWord(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == ')' || c == ']';
}

bool startsWord(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '[' || c == '(';
}

// Inserts one argument, separated by a space when it would otherwise run
// into the preceding word.
void insertArgument(std::string* out, const std::string& argument) {
    if (argument.empty()) return;
    if (!out->empty() && endsWord(out->back()) && startsWord(argument[0]))
        *out += ' ';
    *out += argument;
}

// One final period: added when missing, never doubled.
void finishSentence(std::string* text) {
    while (!text->empty() && std::isspace(static_cast<unsigned char>(text->back()))) text->pop_back();
    const std::size_t n = text->size();
    if (n >= 2 && (*text)[n - 1] == '.' && (*text)[n - 2] == '.' && (n < 3 || (*text)[n - 3] != '.'))
        text->pop_back();
    else if (n > 0 && !std::strchr(".!?", text->back()))
        *text += '.';
}

std::string expand(const char* pattern, const QxbString* args, int argCount) {
    std::string out;
    for (const char* p = pattern; *p; ++p) {
        if (*p == '%' && p[1] >= '1' && p[1] <= '9') {
            const int index = p[1] - '1';
            if (args && index < argCount) insertArgument(&out, args[index].str());
            ++p;
        } else if (*p == '%' && p[1] == '%') {
            out += '%';
            ++p;
        } else {
            out += *p;
        }
    }
    finishSentence(&out);
    return out;
}

}  // namespace

QxbString qxbGetMessageV(const char* /*sourceFile*/, int /*line*/, const char* module, int code,
                         const QxbString* args, int argCount) {
    if (!module) module = "";
    const MessageEntry* entry = findMessage(module, code);
    if (!entry) {
        return QxbString("Unknown message " + std::to_string(code) + " of module '" + module + "'.");
    }
    return QxbString(expand(entry->text, args, argCount));
}
