// The commands that reach the radio device: opening and closing it, switching between
// receive and transmit, and feeding the transmit queue.
#pragma once

// Opens the configured device; tells the operator when its port could not be activated
// or when no sound-card engine could be started.
bool OpenDevice();
void CloseDevice();

// The one message about a sound-card engine that could not be started.
constexpr char kNoEngineCaption[] = "No sound-card engine";
constexpr char kNoEngineText[] =
    "No sound-card engine was found: neither \"mmtty\" nor \"zkmodem.exe\" in Zktty's folder "
    "could be started. Nothing is received or sent until an engine runs.";

// Flips between receive and transmit; window thread only.
void ToggleTransmit();

// On the clock: when the sound-card engine has gone, the station returns to receive, the
// logging program is told "pttoff", and the operator is asked once whether to start the
// engine again.
void WatchEngine();
constexpr char kEngineEndedCaption[] = "Sound-card engine";
constexpr char kEngineEndedText[] = "The sound-card engine has ended. Start it again?";

// Queues one character: 1 when queued, -1 for a backspace (which takes back the last
// waiting character), 0 when the queue is full and the character was refused.
int QueuePut(char ch);

// Direct mode: queues one character the typing pane shows; it counts as sent, so no later
// switch to transmit queues it again.
void QueueDirect(char ch);

// While transmitting, moves the typing pane's text after the transmit position into the
// queue; returns how many typed characters were waiting.
int QueueTyped();
