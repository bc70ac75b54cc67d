// What the operator and the logging program do to the contact: the Call box, Update and
// New, the picks in the receive/transmit pane, and the fields the logging program sends.
#pragma once
#include <windows.h>

// The Call box text changed, whoever changed it: the logging program gets it as "CALL".
void SendCallBox();
// Asks the logging program to log the contact in the Call box, then empties the box.
void UpdateLog();
// For a contact marked for logging with a call in the box: asks the operator whether to
// log it first. The mark is cleared either way.
void ConfirmLogUpdate();
// The New button: a new contact.
void NewContact();
// A double click in the receive/transmit pane: the selected word becomes the call.
void PickCall();
// A right-button press in the receive/transmit pane: the selection is the report received.
void PickReportReceived();
// A WM_COPYDATA block from the logging program; the block is read only during the call.
void ReceiveLogBlock(const COPYDATASTRUCT* data);
// The log link's registered message at the main window.
void OnLogAnnouncement(WPARAM wParam, LPARAM lParam);
