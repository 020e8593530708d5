// qxsstr: the platform's text parser.
#pragma once

#define QXSSTR_API __attribute__((visibility("default")))

// Splits one line into fields at `separator`. A field that starts with
// `qualifier` (0: none) runs to the matching qualifier: separators inside it
// do not split, a doubled qualifier stands for one qualifier character, and
// an unterminated qualifier takes the rest of the line. Text after a closing
// qualifier, up to the next separator, belongs to the same field.
//
// The field texts are written, each NUL-terminated, into `buffer`
// (`bufferSize` bytes; never written past) and `fields[i]` points at field
// i; at most `maxFields` pointers are written. Answers the number of fields
// written: 0 for an empty line; a trailing separator ends in an empty field.
// When the buffer runs out, the field being written is cut short and the
// parse stops there. A buffer of strlen(line) + 1 bytes always suffices.
QXSSTR_API int qxs_parse_text_ex(const char* line, char** fields, int maxFields, char* buffer,
                                 int bufferSize, int separator, int qualifier);
