// A scripted controller on its own thread: for each step it takes one request, waits,
// and answers with the step's bursts. What it received is kept for golden checks.
#pragma once

#include <functional>

#include "ScriptedPeer.h"

struct SBurst {
    int delayMs; // before this burst
    Bytes bytes;
};

struct SStep {
    std::vector<SBurst> bursts; // empty: stay silent
};

inline SStep Reply(const Bytes& b, int delayMs = 0) {
    return SStep{{{delayMs, b}}};
}
inline SStep Silence() {
    return SStep{};
}

template <class Peer> class CPeerScript {
public:
    CPeerScript(Peer& peer, std::vector<SStep> steps, int readTimeoutMs = 3000)
        : m_thread([this, &peer, steps = std::move(steps), readTimeoutMs] {
              for (const SStep& step : steps) {
                  Bytes req = peer.Read(readTimeoutMs);
                  if (req.empty())
                      return;
                  {
                      std::lock_guard<std::mutex> lock(m_mutex);
                      m_requests.push_back(req);
                  }
                  for (const SBurst& b : step.bursts) {
                      SleepMs(b.delayMs);
                      peer.Write(b.bytes);
                  }
              }
          }) {}
    ~CPeerScript() { Join(); }
    void Join() {
        if (m_thread.joinable())
            m_thread.join();
    }
    std::vector<Bytes> Requests() {
        Join();
        return m_requests;
    }

private:
    std::mutex m_mutex;
    std::vector<Bytes> m_requests;
    std::thread m_thread;
};
