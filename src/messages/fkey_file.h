#pragma once
#include <cstddef>
#include <string>

#include "messages/compose.h"
#include "messages/fkey_set.h"

namespace zk {

// The twelve lines of a function-key file for `set`. Cleans the messages in place first,
// so the set in memory matches what the file says.
std::string FKeyFileText(FKeySet& set);

// Writes FKeyFileText to path + ".tmp" and moves it over `path`. False, with the set
// untouched, when the file cannot be created; false when writing or the move fails.
bool SaveFKeyFile(FKeySet& set, const char* path);

// Reads a function-key file. The formats and the auto-repeat values are cleared even
// when the file cannot be opened (kNothing); messages no line names keep their values. A
// file over kLargestFileBytes leaves the set as it was (kTooLarge).
FileRead LoadFKeyFile(FKeySet& set, const char* path);

// The file name a file dialog starts from: `folder`, a backslash and `pattern`, or the
// pattern alone when that would not fit `capacity` bytes.
void FileDialogStart(char* out, size_t capacity, const char* folder, const char* pattern);

// Adds "." and `extension` to a path whose file name has none, when it fits `capacity`.
void AddDefaultExtension(char* path, size_t capacity, const char* extension);

// The reading of LoadFKeyFile on text already in memory (size bytes, no terminator
// needed): lines end at a line feed, are cleaned, and are taken by their first letters.
void LoadFKeyText(FKeySet& set, const char* data, size_t size);

}  // namespace zk
