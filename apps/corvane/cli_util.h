// Helpers the subcommands share: argument checks, plug-in loading, value formatting.
#pragma once

#include <string>
#include <vector>

#include "corvane/property.h"

namespace corvane::host {
class Engine;
}
struct GUID;

namespace corvane::cli {

// True when an argument asks for help.
bool IsHelpArg(const char* arg);

// Loads the default plug-in folders into the engine. Prints a hint to stderr when none was found
// and returns the number loaded.
int LoadPlugins(corvane::host::Engine& engine);

// Reads a whole file into bytes, refusing files larger than maxBytes. False with *error naming
// the file and what went wrong.
bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::vector<unsigned char>* bytes,
                   std::string* error);

// The property table of a type, or of its nearest base type that publishes one (the scene loader
// resolves tables the same way). Null when none does.
const PropertyTable* PropertyTableFor(const corvane::host::Engine& engine, const GUID& type);

// A property value as text: enumerations by name, vectors as [x, y, z], matrices by rows.
std::string FormatValue(const PropertyInfo& info, const PropertyValue& value);

}  // namespace corvane::cli
