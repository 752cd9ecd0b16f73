#pragma once
// The program's notifier: monitor/notify's CNotifier behind the core's alarm sink, with its
// message boxes handed to the monitor's queue.
//
// Environment, for tests and unusual hosts (none is needed otherwise):
//   QUILLHT_SYSLOG_SOCKET  system-log socket instead of /dev/log
//   QUILLHT_SMTP_PORT      SMTP port instead of the Port setting
//   QUILLHT_SMB_PORT       port smbclient sends pop-ups to (smbclient's own choice otherwise)

#include "AppNotifier.h"

#include <functional>
#include <memory>
#include <string>

class CSettingsStore;
class CMailBook;
class CMessageBook;

std::unique_ptr<IAppNotifier> MakeAppNotifier(CSettingsStore& settings, CMailBook& mail,
                                              CMessageBook& message,
                                              std::function<void(const std::string&)> showMessage);

// A port number written in decimal digits only, 1..65535; anything else gives the fallback, so
// a mistyped variable falls back to the real port instead of to a port of its own making.
int PortFromText(const char* text, int fallback);
