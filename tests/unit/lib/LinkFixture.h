// One session opened on a scripted controller, over a pseudo-terminal or over UDP.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "PeerScript.h"

enum class ELink { Serial, Udp };

inline std::string LinkName(const testing::TestParamInfo<ELink>& info) {
    return info.param == ELink::Serial ? "Serial" : "Udp";
}

class CLinkTest : public testing::TestWithParam<ELink> {
protected:
    void SetUp() override {
        if (GetParam() == ELink::Serial) {
            m_pty = std::make_unique<CPtyPeer>();
            ASSERT_TRUE(m_pty->Ok());
            ASSERT_EQ(m_session.VrnInitSession(m_pty->Name().c_str()), VRN_OK);
        } else {
            m_udp = std::make_unique<CUdpPeer>();
            ASSERT_EQ(m_session.VrnInitSession("127.0.0.1", m_udp->Port()), VRN_OK);
            m_session.VrnSetTimeOut(2);
        }
        // Poll intervals and settle times run at a tenth of their length, still recorded.
        m_session.RecordSleeps(10);
    }

    // Runs op while the scripted controller plays steps; returns the requests it saw.
    std::vector<Bytes> Serve(std::vector<SStep> steps, const std::function<void()>& op,
                             int peerTimeoutMs = 3000) {
        if (m_pty) {
            CPeerScript<CPtyPeer> script(*m_pty, std::move(steps), peerTimeoutMs);
            op();
            return script.Requests();
        }
        CPeerScript<CUdpPeer> script(*m_udp, std::move(steps), peerTimeoutMs);
        op();
        return script.Requests();
    }

    // Input that reaches the library with no request pending (a late reply).
    void Inject(const Bytes& b) {
        if (m_pty)
            m_pty->Write(b);
        else
            m_udp->Write(b);
    }

    CTestSession m_session;
    std::unique_ptr<CPtyPeer> m_pty;
    std::unique_ptr<CUdpPeer> m_udp;
};
