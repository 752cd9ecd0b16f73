#include "TlsChannel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Waits are cut into slices of this length so that a stop request is seen in time.
constexpr int kSliceMs = 250;

std::string OpenSslError(const char* fallback) {
    const unsigned long code = ERR_get_error();
    if (code == 0) {
        return fallback;
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// The peer closed the TCP connection without TLS's closing alert.
bool ClosedWithoutAlert(int error) {
    if (error == SSL_ERROR_SYSCALL) {
        return ERR_peek_error() == 0 && errno == 0;
    }
    return error == SSL_ERROR_SSL &&
           ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

enum class EWait { Ready, TimedOut, Stopped, Failed };

// Waits for `events` on fd until `idleMs` pass, `deadline` is reached or stop is requested.
EWait WaitFor(int fd, short events, std::uint32_t idleMs, CTlsChannel::Clock::time_point deadline,
              const std::stop_token& stop) {
    const auto idleEnd = CTlsChannel::Clock::now() + std::chrono::milliseconds(idleMs);
    const auto end = std::min(idleEnd, deadline);
    for (;;) {
        if (stop.stop_requested()) {
            return EWait::Stopped;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - CTlsChannel::Clock::now())
                .count();
        if (left <= 0) {
            return EWait::TimedOut;
        }
        pollfd pfd{fd, events, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(left, kSliceMs)));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return EWait::Failed;
        }
        if (ready > 0) {
            // An error or hang-up is "ready" too: the next TLS call reports what it was.
            return (pfd.revents & POLLNVAL) != 0 ? EWait::Failed : EWait::Ready;
        }
    }
}

} // namespace

struct CTlsChannel::SImpl {
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    int fd = -1;

    ~SImpl() {
        if (ssl != nullptr) {
            SSL_free(ssl);
        }
        if (ctx != nullptr) {
            SSL_CTX_free(ctx);
        }
    }
};

CTlsChannel::CTlsChannel() : m_impl(std::make_unique<SImpl>()) {}

CTlsChannel::~CTlsChannel() = default;

bool CTlsChannel::Handshake(int fd, const std::string& host, const std::string& caFile,
                            std::uint32_t idleMs, Clock::time_point deadline,
                            const std::stop_token& stop) {
    m_reason.clear();
    if (m_impl->ssl != nullptr || m_established) {
        m_reason = "TLS was already started on this session";
        return false;
    }
    if (host.empty()) {
        m_reason = "no server name to check the certificate against";
        return false;
    }
    ERR_clear_error();
    SImpl& t = *m_impl;
    t.ctx = SSL_CTX_new(TLS_client_method());
    if (t.ctx == nullptr) {
        m_reason = "TLS unavailable: " + OpenSslError("no TLS context");
        return false;
    }
    // Older protocol versions are broken; no mail server worth trusting needs them.
    SSL_CTX_set_min_proto_version(t.ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(t.ctx, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(t.ctx) != 1) {
        m_reason = "cannot read the system's trusted certificates: " + OpenSslError("unknown");
        return false;
    }
    if (!caFile.empty() && SSL_CTX_load_verify_locations(t.ctx, caFile.c_str(), nullptr) != 1) {
        m_reason = "cannot use the CA file " + caFile + ": " + OpenSslError("no certificate in it");
        return false;
    }
    t.ssl = SSL_new(t.ctx);
    if (t.ssl == nullptr) {
        m_reason = "TLS unavailable: " + OpenSslError("no TLS session");
        return false;
    }
    // The same bytes are offered again after a wait, but not always from the same address.
    SSL_set_mode(t.ssl, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);

    X509_VERIFY_PARAM* param = SSL_get0_param(t.ssl);
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) {
        // A server given by its address must hold that address in its certificate.
        if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) {
            m_reason = "cannot check the certificate against " + host;
            return false;
        }
    } else {
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(t.ssl, host.c_str()) != 1 ||
            SSL_set_tlsext_host_name(t.ssl, host.c_str()) != 1) {
            m_reason = "cannot check the certificate against " + host;
            return false;
        }
    }

    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 || SSL_set_fd(t.ssl, fd) != 1) {
        m_reason = std::string("cannot prepare the socket for TLS: ") + std::strerror(errno);
        return false;
    }
    t.fd = fd;

    for (;;) {
        ERR_clear_error();
        errno = 0;
        const int rc = SSL_connect(t.ssl);
        if (rc == 1) {
            m_established = true;
            return true;
        }
        const int error = SSL_get_error(t.ssl, rc);
        short events = 0;
        if (error == SSL_ERROR_WANT_READ) {
            events = POLLIN;
        } else if (error == SSL_ERROR_WANT_WRITE) {
            events = POLLOUT;
        } else {
            const long verify = SSL_get_verify_result(t.ssl);
            if (verify != X509_V_OK) {
                m_reason = "the certificate of " + host +
                           " is not accepted: " + X509_verify_cert_error_string(verify);
            } else if (ClosedWithoutAlert(error)) {
                m_reason = "the server closed the connection during the TLS handshake";
            } else if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
                m_reason = std::string("TLS handshake failed: ") + std::strerror(errno);
            } else {
                m_reason = "TLS handshake failed: " + OpenSslError("protocol error");
            }
            return false;
        }
        switch (WaitFor(fd, events, idleMs, deadline, stop)) {
        case EWait::Ready:
            break;
        case EWait::TimedOut:
            m_reason = "no TLS handshake with " + host + " within the time-out";
            return false;
        case EWait::Stopped:
            m_reason = "stopped during the TLS handshake";
            return false;
        case EWait::Failed:
            m_reason = std::string("TLS handshake failed: ") + std::strerror(errno);
            return false;
        }
    }
}

long CTlsChannel::Read(char* buffer, std::size_t size) {
    if (!m_established || size == 0) {
        errno = EBADF;
        return -1;
    }
    ERR_clear_error();
    errno = 0;
    const int capped = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
    const int rc = SSL_read(m_impl->ssl, buffer, capped);
    if (rc > 0) {
        return rc;
    }
    const int error = SSL_get_error(m_impl->ssl, rc);
    if (ClosedWithoutAlert(error)) {
        return 0;
    }
    switch (error) {
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_SYSCALL:
        m_reason = std::string("TLS read failed: ") + std::strerror(errno);
        errno = errno == 0 ? EIO : errno;
        return -1;
    default:
        m_reason = "TLS read failed: " + OpenSslError("protocol error");
        errno = EPROTO;
        return -1;
    }
}

bool CTlsChannel::WriteAll(std::string_view data, std::uint32_t idleMs,
                           const std::stop_token& stop) {
    if (!m_established) {
        return false;
    }
    while (!data.empty()) {
        ERR_clear_error();
        errno = 0;
        const int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20));
        const int rc = SSL_write(m_impl->ssl, data.data(), chunk);
        if (rc > 0) {
            data.remove_prefix(static_cast<std::size_t>(rc));
            continue;
        }
        const int error = SSL_get_error(m_impl->ssl, rc);
        short events = 0;
        if (error == SSL_ERROR_WANT_WRITE) {
            events = POLLOUT;
        } else if (error == SSL_ERROR_WANT_READ) {
            events = POLLIN;
        } else {
            m_reason = "TLS write failed: " + OpenSslError(std::strerror(errno));
            return false;
        }
        if (WaitFor(m_impl->fd, events, idleMs, Clock::time_point::max(), stop) != EWait::Ready) {
            m_reason = "the server took no data within the time-out";
            return false;
        }
    }
    return true;
}

bool CTlsChannel::Pending() const {
    return m_established && SSL_pending(m_impl->ssl) > 0;
}

void CTlsChannel::Shutdown() {
    if (m_established) {
        ERR_clear_error();
        (void)SSL_shutdown(m_impl->ssl);
        ERR_clear_error();
        m_established = false;
    }
}

std::string CTlsChannel::Description() const {
    if (m_impl->ssl == nullptr) {
        return {};
    }
    return std::string(SSL_get_version(m_impl->ssl)) + " " +
           SSL_CIPHER_get_name(SSL_get_current_cipher(m_impl->ssl));
}
