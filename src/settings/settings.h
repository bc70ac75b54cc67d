#pragma once
#include <cstdint>

#include "messages/fkey_set.h"
#include "textpane/pane_look.h"

namespace zk {

// Every value that "Zktty.ini" carries, one field per key, named after the key.
// Colours are 0x00BBGGRR.
struct Settings {
  char mycall[50];
  int32_t baudot;
  int32_t ltrsonspace;
  int32_t diddle;
  int32_t pttcontrol;  // 0 none, 1 RTS, 2 DTR
  int32_t devtype;     // 0 none, 1 Baudot terminal unit, 2 multi-mode TNC, 3 MMTTY
  int32_t pttms;
  int32_t ttyport;     // also written as "ttyportnumber"
  int32_t ttybytesize;
  int32_t ttybaud;
  int32_t ttystop;
  int32_t ttyparity;
  int32_t ttyflow;     // 1 DTR/DSR, 2 RTS/CTS, 4 XON/XOFF
  int32_t ttyxon;
  uint8_t ttytncecho;
  uint8_t ttytncnewline;
  double winratio;
  char tncinit[500];
  char tncrx[100];
  char tnctx[100];
  char command[25];
  uint8_t rxmodechar;
  uint32_t bgcolour;
  uint32_t bordercolour;
  uint32_t fgaprep;  // typing pane, slot 0
  uint32_t fgarx;    // receive/transmit pane, slot 1
  uint32_t fgatx;    // receive/transmit pane, slot 2
  PaneFont prepfont;  // typing pane
  PaneFont rxtxfont;  // receive/transmit pane
  char ignore[10];
  FKeySet fkeys;      // msg0..msg8, repeatfkey, repeatsec, hisrstformat, exchangeformat
  char ttyconnect[260];     // read, kept, never written
  char ttydisconnect[260];  // read, kept, never written
};

// The PTT delay ("pttms") lies within 0 to this many milliseconds.
constexpr int32_t kMaxPttMs = 2000;

// The main window's outer rectangle in screen coordinates ("windowloc").
struct WindowLoc {
  int32_t left, top, right, bottom;
};

}  // namespace zk
