#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "settings/settings.h"

namespace zk {

// A settings file larger than this is read only up to its last whole line within it.
constexpr size_t kSettingsFileLimit = 4u * 1024u * 1024u;

// Every value the program starts with before "Zktty.ini" is read.
Settings DefaultSettings();

// Calls `visit` with every text field the file carries and its capacity.
void ForEachTextField(const Settings& settings, const std::function<void(const char*, size_t)>& visit);

// Reads every line of `data` into `settings` over the values it already holds (no
// defaults are applied here). Lines end at "\n"; a NUL ends a line's text. A "windowloc"
// line with four integers fills *loc and sets *haveLoc; either pointer may be null.
// Returns 0.
int ReadSettingsText(Settings& settings, const char* data, size_t size, WindowLoc* loc, bool* haveLoc);

// Resets what the reading itself sets before it opens the file (the serial line,
// "ttyconnect", "ttydisconnect" and the Baudot option), then reads the file. Returns 1
// when it cannot be opened (those defaults stay), 0 when it was read.
int ReadSettingsFile(Settings& settings, const char* path, WindowLoc* loc, bool* haveLoc);

// The 51 lines of the file in their fixed order, each ended by "\n".
std::string FormatSettings(const Settings& settings, const WindowLoc& loc);

// Writes the file through "<path>.tmp" moved over `path`, so a crash never leaves half a
// file. Returns false when nothing was saved.
bool WriteSettingsFile(const Settings& settings, const WindowLoc& loc, const char* path);

}  // namespace zk
