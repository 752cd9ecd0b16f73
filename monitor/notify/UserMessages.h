#pragma once
// Messages the user must see. The window shows them in message boxes; the headless mode writes
// them to standard error. Notification calls it from monitor threads, several at a time, so an
// implementation must take calls from any thread and must not wait for the user.

#include <string>

// The caption of every message box of the monitoring utility.
inline constexpr char kMessageBoxCaption[] = "Monitoring Utility";

class IUserMessages {
public:
    virtual ~IUserMessages() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};
