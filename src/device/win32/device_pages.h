// The serial port and TNC pages of the setup sheet. Both edit one draft of the settings
// handed to them and tell their host what to carry into the running program: PTT
// released as the sheet opens, and each page's values when the sheet is confirmed.
#pragma once
#include <windows.h>
#include <prsht.h>

#include "settings/settings.h"

class DevicePagesHost {
 public:
  virtual ~DevicePagesHost() = default;
  virtual void ReleasePtt() = 0;
  // The serial port page's values, with what the device change asks of the link.
  virtual void ApplySerialPage(const zk::Settings& page) = 0;
  virtual void ApplyTncPage(const zk::Settings& page) = 0;
};

struct DevicePagesContext {
  zk::Settings& draft;
  DevicePagesHost& host;
};

PROPSHEETPAGEA SerialPortPage(HINSTANCE instance, DevicePagesContext& context);
PROPSHEETPAGEA TncPage(HINSTANCE instance, DevicePagesContext& context);
