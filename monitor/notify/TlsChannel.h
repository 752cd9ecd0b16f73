#pragma once
// TLS for the alarm mailer's session: the client side of one TLS connection over a TCP socket
// that the caller has connected and keeps owning. The server's certificate is checked against
// the system's trust store (and one more CA file when the settings name one) and against the
// name or address the mailer was told to reach; a session that fails either check never
// carries a byte of mail. OpenSSL underneath; nothing of it shows in this header.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

class CTlsChannel {
public:
    using Clock = std::chrono::steady_clock;

    CTlsChannel();
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel&) = delete;
    CTlsChannel& operator=(const CTlsChannel&) = delete;

    // Runs the handshake on `fd`, which it switches to non-blocking for good (every later wait
    // polls). `host` is what the certificate must name: a DNS name, or a dotted IPv4 address
    // that must appear as an IP address entry. `caFile`, when not empty, is one more PEM file
    // of trusted certificates. The handshake gives up when nothing arrives for `idleMs`, at
    // `deadline`, or on a stop request. False with Reason() on any failure.
    bool Handshake(int fd, const std::string& host, const std::string& caFile, std::uint32_t idleMs,
                   Clock::time_point deadline, const std::stop_token& stop);

    // Like recv on a non-blocking socket: bytes read (> 0), 0 when the server closed, -1 with
    // errno EAGAIN when nothing can be read yet, -1 with another errno on failure.
    long Read(char* buffer, std::size_t size);
    // Writes everything; false when the server stops taking data for `idleMs`, on a stop
    // request or on an error.
    bool WriteAll(std::string_view data, std::uint32_t idleMs, const std::stop_token& stop);
    // Bytes already decrypted and waiting: a poll on the socket would not report them.
    bool Pending() const;
    // Sends the closing alert without waiting for the server's; the socket stays open.
    void Shutdown();

    bool Established() const { return m_established; }
    // Why the last step failed, in words for the log: the certificate check's own words when
    // that is what failed.
    const std::string& Reason() const { return m_reason; }
    // The protocol and cipher agreed, e.g. "TLSv1.3 TLS_AES_256_GCM_SHA384".
    std::string Description() const;

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_impl;
    bool m_established = false;
    std::string m_reason;
};
