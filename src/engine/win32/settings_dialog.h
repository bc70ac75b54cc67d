// The settings dialog: sound cards, rate, level, mark, stop bits, PTT and the files.
// Every value goes through the same checks as the settings file.
#pragma once
#include <windows.h>

#include "engine/engine_settings.h"

// True, with `settings` changed, when the operator confirmed usable values.
bool EditSettings(HINSTANCE instance, HWND owner, zk::EngineSettings* settings);
