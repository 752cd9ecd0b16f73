#include "SmtpConnection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

namespace {

using CClock = std::chrono::steady_clock;

// A reply's first line, for a one-line reason.
std::string FirstLine(const std::string& reply) {
    return reply.substr(0, reply.find_first_of("\r\n"));
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

// Three decimal digits or no code at all.
int ParseCode(const char* text, int length) {
    if (length < 3) {
        return 0;
    }
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return 0;
        }
        code = code * 10 + (text[i] - '0');
    }
    return code;
}

// Where the reply's last line ends (before its terminator), or npos while it is incomplete.
// Lines of the form "250-..." announce more lines; the reply ends with the first line that does
// not, so a multi-line reply is one reply whether it arrives in one piece or in several.
std::size_t ReplyEnd(std::string_view received, std::string_view term) {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t at = received.find(term, pos);
        if (at == received.npos) {
            return received.npos;
        }
        const std::string_view line = received.substr(pos, at - pos);
        const bool continued = line.size() >= 4 && ParseCode(line.data(), 3) != 0 && line[3] == '-';
        if (!continued) {
            return at;
        }
        pos = at + term.size();
    }
}

} // namespace

bool CSMTPConnection::SystemHostLookup(const char* host, in_addr* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &result) != 0 || result == nullptr) {
        return false;
    }
    *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    freeaddrinfo(result);
    return true;
}

CSMTPConnection::CSMTPConnection()
    : m_socket(-1), m_connected(false), m_timeout(SMTP_IDLE_TIMEOUT_MS), m_lastCode(0),
      m_lookup(&CSMTPConnection::SystemHostLookup), m_connectTimeout(SMTP_CONNECT_TIMEOUT_MS),
      m_outOfStep(false) {}

CSMTPConnection::~CSMTPConnection() {
    if (m_connected) {
        CloseSession();
    }
    if (m_socket >= 0) {
        close(m_socket);
        m_socket = -1;
    }
}

bool CSMTPConnection::Fail(std::string reason) {
    m_failure = std::move(reason);
    return false;
}

bool CSMTPConnection::OpenSession(const char* host, int port) {
    // One object carries one session; a second open would leak or reuse the first socket.
    if (m_socket >= 0) {
        return Fail("a session is already open");
    }
    m_failure.clear();
    if (host == nullptr || *host == '\0') {
        return Fail("no SMTP server given");
    }
    if (port <= 0 || port > 65535) {
        return Fail("port " + std::to_string(port) + " is not 1 to 65535");
    }
    // An unknown mode must not quietly become a plain session.
    if (m_security < SMTP_SECURITY_NONE || m_security > SMTP_SECURITY_TLS) {
        return Fail("security setting " + std::to_string(m_security) + " is not 0, 1, 2 or 3");
    }
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        return Fail(std::string("no socket: ") + std::strerror(errno));
    }
    // A peer that stops reading must not hold a send forever.
    timeval sendTimeout{};
    sendTimeout.tv_sec = m_timeout / 1000;
    sendTimeout.tv_usec = (m_timeout % 1000) * 1000;
    setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);

    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    server.sin_addr.s_addr = inet_addr(host);
    if (server.sin_addr.s_addr == INADDR_NONE) {
        if (m_lookup == nullptr || !m_lookup(host, &server.sin_addr)) {
            return Fail(std::string("cannot resolve ") + host);
        }
    }
    if (!Connect(server)) {
        return Fail(std::string("cannot connect to ") + host + ":" + std::to_string(port) + ": " +
                    std::strerror(errno));
    }

    // TLS from the first byte: even the greeting comes encrypted.
    if (m_security == SMTP_SECURITY_TLS && !StartTls(host)) {
        return false;
    }
    m_connected = true;

    if (ReadReplyCode(220) != 220) {
        const std::string reply = m_lastReply;
        CloseSession();
        return Fail(reply.empty() ? "no greeting from the server"
                                  : "greeting refused: " + FirstLine(reply));
    }
    if (!Ehlo()) {
        return false;
    }
    if (m_security != SMTP_SECURITY_STARTTLS && m_security != SMTP_SECURITY_STARTTLS_REQUIRED) {
        return true;
    }
    if (!EhloOffers("STARTTLS")) {
        if (m_security == SMTP_SECURITY_STARTTLS) {
            return true; // as the mailer always did with such a server
        }
        CloseSession();
        return Fail(std::string("the server ") + host + " does not offer STARTTLS");
    }
    if (!Send("STARTTLS\r\n")) {
        CloseSession();
        return Fail("the connection broke at STARTTLS");
    }
    const int code = ReadReplyCode(220);
    if (code != 220) {
        // A refusal is an answer: the session is still in step and may stay plain when TLS is
        // only wanted where offered. No answer at all ends it.
        if (code != 0 && m_security == SMTP_SECURITY_STARTTLS) {
            return true;
        }
        const std::string reply = m_lastReply;
        CloseSession();
        return Fail(reply.empty() ? "no answer to STARTTLS"
                                  : "STARTTLS refused: " + FirstLine(reply));
    }
    if (m_surplus) {
        // Whatever came with the 220 was sent before the handshake, unprotected, and would be
        // taken as the first reply of the encrypted session.
        CloseSession();
        return Fail("the server sent data after its STARTTLS answer");
    }
    // What the server announced before TLS counts no more: EHLO again, over the new channel.
    return StartTls(host) && Ehlo();
}

bool CSMTPConnection::Ehlo() {
    char name[100] = {};
    const bool named = gethostname(name, sizeof name - 1) == 0;
    if (!Send("ehlo " + EhloHostName(named, name) + "\r\n")) {
        CloseSession();
        return Fail("the connection broke at EHLO");
    }
    if (ReadReplyCode(250) != 250) {
        const std::string reply = m_lastReply;
        CloseSession();
        return Fail(reply.empty() ? "no answer to EHLO" : "EHLO refused: " + FirstLine(reply));
    }
    return true;
}

bool CSMTPConnection::Connect(const sockaddr_in& server) {
    const int flags = fcntl(m_socket, F_GETFL);
    if (flags < 0 || fcntl(m_socket, F_SETFL, flags | O_NONBLOCK) < 0) {
        return false;
    }
    int rc = connect(m_socket, reinterpret_cast<const sockaddr*>(&server), sizeof server);
    if (rc < 0 && errno != EINPROGRESS && errno != EINTR) {
        return false;
    }
    if (rc < 0) {
        const auto deadline = CClock::now() + std::chrono::milliseconds(m_connectTimeout);
        for (;;) {
            if (m_stop.stop_requested()) {
                errno = ECANCELED;
                return false;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - CClock::now())
                    .count();
            if (left <= 0) {
                errno = ETIMEDOUT;
                return false;
            }
            pollfd pfd{m_socket, POLLOUT, 0};
            const int ready =
                poll(&pfd, 1, static_cast<int>(left < SMTP_POLL_MS ? left : SMTP_POLL_MS));
            if (ready < 0 && errno != EINTR) {
                return false;
            }
            if (ready > 0) {
                break;
            }
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            errno = error != 0 ? error : errno; // for the caller's reason
            return false;
        }
    }
    // The reads poll; the sends rely on blocking with SO_SNDTIMEO.
    return fcntl(m_socket, F_SETFL, flags) == 0;
}

bool CSMTPConnection::StartTls(const char* host) {
    m_tls = std::make_unique<CTlsChannel>();
    const auto deadline = CClock::now() + std::chrono::milliseconds(m_handshakeLimit);
    if (!m_tls->Handshake(m_socket, host, m_caFile, m_timeout, deadline, m_stop)) {
        const std::string reason = m_tls->Reason();
        // Nothing more goes out on this connection, not even QUIT: it may not reach the server
        // meant, and it would cross the network unprotected.
        m_connected = false;
        m_tls.reset();
        CloseSession();
        return Fail(reason);
    }
    return true;
}

bool CSMTPConnection::EhloOffers(std::string_view keyword) const {
    std::string_view reply = m_lastReply;
    while (!reply.empty()) {
        const std::size_t end = reply.find("\r\n");
        const std::string_view line = reply.substr(0, end);
        reply = end == reply.npos ? std::string_view() : reply.substr(end + 2);
        if (line.size() < 4 || ParseCode(line.data(), 3) != 250) {
            continue;
        }
        std::string_view word = line.substr(4);
        word = word.substr(0, word.find(' '));
        if (word.size() == keyword.size() &&
            std::equal(word.begin(), word.end(), keyword.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) ==
                       std::toupper(static_cast<unsigned char>(b));
            })) {
            return true;
        }
    }
    return false;
}

bool CSMTPConnection::CloseSession() {
    bool quitAccepted = false;
    if (m_connected) {
        if (Send("QUIT\r\n") && !m_outOfStep) {
            quitAccepted = ReadReplyCode(221) == 221;
        }
        m_connected = false;
    }
    if (m_tls) {
        m_tls->Shutdown();
        m_tls.reset();
    }
    if (m_socket >= 0) {
        close(m_socket);
        m_socket = -1;
    }
    return quitAccepted;
}

bool CSMTPConnection::SendMail(CMailMessage& message) {
    if (!m_connected || !InStep()) {
        return false;
    }
    // A line break inside an address would smuggle a command of its own into the session.
    if (HasLineBreak(message.m_from)) {
        return false;
    }
    for (const std::string& to : message.m_to) {
        if (HasLineBreak(to)) {
            return false;
        }
    }
    if (!Send("MAIL FROM:<" + message.m_from + ">\r\n") || ReadReplyCode(250) != 250) {
        return false;
    }
    for (const std::string& to : message.m_to) {
        if (!Send("RCPT TO:<" + to + ">\r\n") || ReadReplyCode(250) != 250) {
            return false;
        }
    }
    if (!Send("DATA\r\n") || ReadReplyCode(354) != 354) {
        return false;
    }
    if (!Send(message.BuildHeader()) || !Send(message.m_body) || !Send("\r\n.\r\n")) {
        return false;
    }
    return ReadReplyCode(250) == 250;
}

int CSMTPConnection::ReadReplyCode(int expected) {
    char buffer[4096];
    char* grown = nullptr;
    const int code = ReadReply(buffer, sizeof buffer, "\r\n", expected, &grown, 4096);
    delete[] grown;
    return code;
}

int CSMTPConnection::ReadReply(char* buffer, int size, const char* terminator, int /*expected*/,
                               char** grown, int growth) {
    if (buffer == nullptr || size <= 0 || terminator == nullptr || *terminator == '\0') {
        m_outOfStep = true;
        m_lastReply.clear();
        return 0;
    }
    const std::string_view term(terminator);
    char* text = buffer;
    int capacity = size;
    int length = 0;
    text[0] = '\0';
    auto fail = [&]() {
        m_outOfStep = true;
        m_lastReply.assign(text, static_cast<std::size_t>(length));
        return 0;
    };

    // Makes room when the text fills its buffer: false when it is full and may not grow.
    auto grow = [&]() {
        if (capacity - length - 1 > 0) {
            return true;
        }
        if (growth <= 0 || grown == nullptr || capacity > SMTP_REPLY_LIMIT - growth) {
            return false;
        }
        char* bigger = new (std::nothrow) char[static_cast<std::size_t>(capacity + growth)];
        if (bigger == nullptr) {
            return false;
        }
        std::memcpy(bigger, text, static_cast<std::size_t>(length) + 1);
        delete[] * grown; // never the caller's own buffer
        *grown = bigger;
        text = bigger;
        capacity += growth;
        return true;
    };
    if (!grow()) {
        return fail();
    }

    auto lastProgress = CClock::now();
    for (;;) {
        const auto idle =
            std::chrono::duration_cast<std::chrono::milliseconds>(CClock::now() - lastProgress);
        if (idle.count() > static_cast<long long>(m_timeout) || m_socket < 0 ||
            m_stop.stop_requested()) {
            return fail();
        }
        // Waiting in poll instead of sleeping notices a reply as soon as it arrives, and poll
        // has no descriptor-number limit. Bytes the TLS layer already holds are not seen by
        // poll: they are read at once.
        const long long left = static_cast<long long>(m_timeout) - idle.count() + 1;
        pollfd pfd{m_socket, POLLIN, 0};
        const bool pending = m_tls != nullptr && m_tls->Pending();
        const int ready =
            pending ? 1
                    : poll(&pfd, 1, static_cast<int>(left < SMTP_POLL_MS ? left : SMTP_POLL_MS));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail();
        }
        if (ready == 0) {
            continue;
        }
        if ((pfd.revents & POLLNVAL) != 0) {
            return fail();
        }

        const int offered = capacity - length - 1;
        const long got = Receive(text + length, static_cast<std::size_t>(offered));
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            return fail();
        }
        if (got == 0) {
            // The server closed: nothing more can come, so waiting out the time-out is pointless.
            return fail();
        }
        length += static_cast<int>(got);
        text[length] = '\0';
        lastProgress = CClock::now();

        const std::size_t end =
            ReplyEnd(std::string_view(text, static_cast<std::size_t>(length)), term);
        if (end != std::string_view::npos) {
            m_lastCode = ParseCode(text, length);
            m_lastReply.assign(text, end);
            m_surplus = static_cast<std::size_t>(length) > end + term.size();
            return m_lastCode;
        }

        if (got == offered && !grow()) {
            return fail();
        }
    }
}

long CSMTPConnection::Receive(char* buffer, std::size_t size) {
    if (m_tls) {
        return m_tls->Read(buffer, size);
    }
    return recv(m_socket, buffer, size, 0);
}

bool CSMTPConnection::Send(std::string_view data) {
    if (m_socket < 0) {
        return false;
    }
    if (m_tls) {
        return m_tls->WriteAll(data, m_timeout, m_stop);
    }
    while (!data.empty()) {
        const ssize_t sent = send(m_socket, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::string EhloHostName(bool ok, const char* name) {
    if (!ok || name == nullptr || *name == '\0') {
        return "localhost";
    }
    for (const char* p = name; *p != '\0'; ++p) {
        if (static_cast<unsigned char>(*p) <= ' ' || *p == 0x7f) {
            return "localhost";
        }
    }
    return name;
}
