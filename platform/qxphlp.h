// qxphlp: the engine's field-map helpers. A field map passes fields of the
// upstream row through a step: the list parameter "FIELD_MAP" holds one
// entry per pass-through field, "UPSTREAM=OUTPUT" (the upstream field
// UPSTREAM leaves the step as OUTPUT) or "UPSTREAM" (under the same name).
// Blanks around names are ignored; names compare exactly.
#pragma once

#include "dataflow.h"

#define QXPHLP_API __attribute__((visibility("default")))

// The name of the field-map list parameter.
#define QXPHLP_FIELD_MAP "FIELD_MAP"

// Declares the standard field-map parameter ("FIELD_MAP", a list of texts).
QXPHLP_API bool addStandardFieldMap(PlugParamSet* params);

// Adds the upstream name of every field-map entry to the step's input names.
// False (with the reason reported through the step) for an entry without an
// upstream name.
QXPHLP_API bool buildInputNamesFromFieldMap(PlugStep* step);

// Allocates the step's output items: the pass-through fields of the field map
// first (named and typed after their upstream fields), then outputCount
// undescribed fields for the step's own. fieldMapIndexes (one per entry, may
// be null when the map is empty) receives, for pass-through field i, the slot
// of the upstream row it copies. Null on failure, the reason reported through
// the step: no upstream step while the map has entries, a malformed entry,
// or an upstream field that does not exist. The flags are reserved.
QXPHLP_API StepOutputItems* buildOutputInfoFromFieldMap(PlugStep* step, int outputCount,
                                                        unsigned flags, int* fieldMapIndexes);

// The index of the item of that name (exact comparison), or -1 (also for
// null items).
QXPHLP_API int findOutputItemByName(const StepOutputItems* items, const QxbString& name);

// Splits a field-map entry into its upstream and output names. False when
// the upstream name is empty.
QXPHLP_API bool parseFieldMapEntry(const QxbString& entry, QxbString* upstream,
                                   QxbString* output);
