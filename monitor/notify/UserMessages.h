#pragma once
// Messages the user must see. The window shows them in message boxes; the headless mode writes
// them to standard error. Notification calls it from monitor threads, several at a time, so an
// implementation must take calls from any thread and must not wait for the user.

#include <functional>
#include <string>
#include <utility>

// The caption of every message box of the monitoring utility.
inline constexpr char kMessageBoxCaption[] = "Monitoring Utility";

class IUserMessages {
public:
    virtual ~IUserMessages() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};

// Messages handed on to a function, as both front-ends take them (their queue of boxes).
class CMessagesToFunction : public IUserMessages {
public:
    explicit CMessagesToFunction(std::function<void(const std::string&)> show)
        : m_show(std::move(show)) {}
    void ShowMessage(const std::string& text) override {
        if (m_show) {
            m_show(text);
        }
    }

private:
    std::function<void(const std::string&)> m_show;
};
