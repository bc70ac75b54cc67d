// The band list: a report-view list of every signal in the passband, one row each (its
// mark, SNR, last characters and the call sign last seen), kept in step with the session's
// rows without disturbing the operator's selection or repainting what has not changed.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "engine/engine_session.h"

void SetUpBandList(HWND list);
// `shown` is what the list shows now, `rows` what it is to show.
void ShowBandRows(HWND list, const std::vector<zk::BandRow>& shown, const std::vector<zk::BandRow>& rows);
// Selects the row of signal `id` alone (none for an id not listed): the station tuned to.
void SelectBandRow(HWND list, const std::vector<zk::BandRow>& rows, int id);
// The text column takes the width the others leave.
void FitBandColumns(HWND list);
// The text of the cell the list asks for (LVN_GETDISPINFOA), from the rows it shows.
void GiveBandCell(const std::vector<zk::BandRow>& rows, NMLVDISPINFOA& info);
// Greys the rows of signals not heard now; the result for the list's custom draw, which
// looks at each row only while `anySilent`.
LRESULT DrawBandRow(NMLVCUSTOMDRAW& draw, bool anySilent);
