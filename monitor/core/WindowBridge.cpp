#include "WindowBridge.h"

#include <algorithm>
#include <condition_variable>
#include <memory>

namespace {

// The handshake between a waiting caller and the step it posted.
struct SPostedStep {
    enum EStage { Waiting, Running, Done, Abandoned };
    std::mutex mutex;
    std::condition_variable_any cv;
    EStage stage = Waiting;
};

} // namespace

void CWindowBridge::SetWindow(IMonitorWindow* window) {
    std::lock_guard lock(m_boxMutex);
    m_window.store(window);
    if (!m_boxShowing)
        ShowNextLocked();
}

bool CWindowBridge::RunAndWait(const std::function<void()>& step, std::stop_token stop) {
    IMonitorWindow* window = m_window.load();
    if (window == nullptr || window->IsWindowThread()) {
        step();
        return true;
    }
    if (stop.stop_requested())
        return false;
    auto shared = std::make_shared<SPostedStep>();
    // The step is copied into the posted call: the caller's may be gone once abandoned.
    window->PostToWindow([shared, step] {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->stage == SPostedStep::Abandoned)
                return;
            shared->stage = SPostedStep::Running;
        }
        step();
        {
            std::lock_guard lock(shared->mutex);
            shared->stage = SPostedStep::Done;
        }
        shared->cv.notify_all();
    });
    std::unique_lock lock(shared->mutex);
    shared->cv.wait(lock, stop, [&] { return shared->stage == SPostedStep::Done; });
    if (shared->stage == SPostedStep::Done)
        return true;
    if (shared->stage == SPostedStep::Waiting) {
        shared->stage = SPostedStep::Abandoned;
        return false;
    }
    // The window is carrying it out right now; it is short and refers to what the caller
    // holds, so wait for its end whatever the stop request says.
    shared->cv.wait(lock, [&] { return shared->stage == SPostedStep::Done; });
    return true;
}

void CWindowBridge::Post(std::function<void()> step) {
    if (IMonitorWindow* window = m_window.load())
        window->PostToWindow(std::move(step));
}

void CWindowBridge::RaiseMessageBox(const std::string& text) {
    std::lock_guard lock(m_boxMutex);
    if ((m_boxShowing && m_boxText == text) ||
        std::find(m_boxQueue.begin(), m_boxQueue.end(), text) != m_boxQueue.end()) {
        ++m_merged;
        return;
    }
    if (m_boxQueue.size() >= MAX_WAITING_BOXES)
        return;
    m_boxQueue.push_back(text);
    if (!m_boxShowing)
        ShowNextLocked();
}

void CWindowBridge::MessageBoxClosed() {
    std::lock_guard lock(m_boxMutex);
    m_boxShowing = false;
    m_boxText.clear();
    ShowNextLocked();
}

void CWindowBridge::ShowNextLocked() {
    IMonitorWindow* window = m_window.load();
    if (window == nullptr || m_boxQueue.empty())
        return;
    m_boxShowing = true;
    m_boxText = std::move(m_boxQueue.front());
    m_boxQueue.pop_front();
    // Shown from the window's own thread, never from the one that raised it.
    window->PostToWindow([window, text = m_boxText] { window->ShowMessageBox(text); });
}
