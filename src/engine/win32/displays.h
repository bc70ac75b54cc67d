// The two drawn controls of the engine's window: the spectrum over the waterfall of 0 to
// 3 kHz with the receiver's mark and space tones and every signal of the band list marked
// (class "ZkWaterfall"), and the input level meter that shows overdrive (class
// "ZkLevelMeter").
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

// Posted to the waterfall's parent when the operator clicks it: lParam is the frequency
// clicked, in Hz.
constexpr UINT WM_WATERFALL_TUNE = WM_APP + 20;

void RegisterDisplayClasses(HINSTANCE instance);

// Adds rows of column brightness (0 to 255, columns spread evenly over 0 to 3 kHz), the
// newest last; the newest shows at the top and as the spectrum.
void AddWaterfallRows(HWND waterfall, const std::vector<std::vector<uint8_t>>& rows);
void SetWaterfallMarkers(HWND waterfall, double markHz, double spaceHz);

// A signal of the band list as the waterfall marks it.
struct WaterfallSignal {
  double markHz, spaceHz;
  bool open;  // heard now
  bool operator==(const WaterfallSignal& o) const {
    return markHz == o.markHz && spaceHz == o.spaceHz && open == o.open;
  }
};
void SetWaterfallSignals(HWND waterfall, const std::vector<WaterfallSignal>& signals);

// The largest input magnitude since the last call (1 is full scale).
void SetLevel(HWND meter, float peak);
