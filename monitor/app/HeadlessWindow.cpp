#include "HeadlessWindow.h"

#include "StringTable.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

CHeadlessWindow::CHeadlessWindow(std::FILE* out, std::FILE* err)
    : m_out(out), m_err(err), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_loopThread(std::this_thread::get_id()) {}

CHeadlessWindow::~CHeadlessWindow() {
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

void CHeadlessWindow::PostToWindow(std::function<void()> fn) {
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(fn));
    }
    const std::uint64_t one = 1;
    if (m_wakeFd >= 0 && write(m_wakeFd, &one, sizeof one) < 0) {
        // The counter is full only after billions of unread posts; the loop drains it anyway.
    }
}

bool CHeadlessWindow::RunPosted() {
    std::uint64_t count;
    if (m_wakeFd >= 0 && read(m_wakeFd, &count, sizeof count) < 0) {
        // Nothing signalled; posted work is still looked at below.
    }
    bool ran = false;
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(m_mutex);
            if (m_posted.empty())
                return ran;
            fn = std::move(m_posted.front());
            m_posted.pop_front();
        }
        fn();
        ran = true;
    }
}

bool CHeadlessWindow::IsWindowThread() const {
    return std::this_thread::get_id() == m_loopThread;
}

bool CHeadlessWindow::FindAgentRow(const CAgent& agent) {
    return m_monitor != nullptr && m_monitor->AgentList().Contains(&agent);
}

void CHeadlessWindow::ShowAgentState(const CAgent&, int) {}

void CHeadlessWindow::RebuildAgentList() {
    if (m_monitor == nullptr)
        return;
    std::fprintf(m_err, "QuillHT: %zu agent(s) watched\n", m_monitor->AgentList().Count());
    std::fflush(m_err);
}

void CHeadlessWindow::ShowEventLine(const SEventLine& line, const std::string&) {
    // The log file's form: the stamp without zero padding, one blank, the text.
    std::fprintf(m_out, "%s %s\n", FormatClock(line.when).c_str(), line.text.c_str());
    std::fflush(m_out);
}

void CHeadlessWindow::ShowClock(const std::string&) {}

void CHeadlessWindow::ShowMessageBox(const std::string& text) {
    std::fprintf(m_err, "%s: %s\n", CStringTable::Text(IDS_APP_TITLE), text.c_str());
    std::fflush(m_err);
    // Nobody answers a box here: the next one may follow at once.
    if (m_monitor != nullptr)
        m_monitor->MessageBoxClosed();
}

void CHeadlessWindow::ShowWaitNotice(bool) {}
