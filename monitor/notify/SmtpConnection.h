#pragma once
// The alarm mailer's own SMTP client: one TCP session per alarm (no pipelining), greeted with
// EHLO, optionally authenticated, carrying one mail transaction. Plain by default, as the mailer
// has always been; the Security setting adds TLS, through STARTTLS or from the first byte.

#include "Base64Codec.h"
#include "MailMessage.h"
#include "SettingsRecord.h"
#include "TlsChannel.h"

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

// Authentication method numbers as the settings and the mailer use them; 3 is not a method.
enum {
    AUTH_LOGIN = 0,
    AUTH_PLAIN = 1,
    AUTH_NTLM = 2,
    AUTH_CRAM_MD5 = 4,
};

// The order the alarm mailer tries the methods in; the first that succeeds wins.
constexpr int SMTP_AUTH_ORDER[4] = {AUTH_NTLM, AUTH_CRAM_MD5, AUTH_LOGIN, AUTH_PLAIN};

constexpr int SMTP_PORT = 25;
// A TLS handshake, however slowly the server feeds it, ends within this time.
constexpr std::uint32_t SMTP_TLS_HANDSHAKE_LIMIT_MS = 10000;
constexpr std::uint32_t SMTP_IDLE_TIMEOUT_MS = 2000;
// A server that does not answer the connection attempt at all (a dropped SYN) would otherwise
// hold the alarm's thread for the system's two minutes of retries.
constexpr std::uint32_t SMTP_CONNECT_TIMEOUT_MS = 10000;
constexpr int SMTP_POLL_MS = 250;
// A reply that grows past this without its CR LF is refused rather than held in memory.
constexpr int SMTP_REPLY_LIMIT = 64 * 1024;
// Prompts and challenges are taken from reply texts of at most this many characters.
constexpr int SMTP_AUTH_TEXT_MAX = 255;
// The NTLM exchanges read their replies into a fixed buffer of this size, without growth.
constexpr int SMTP_NTLM_REPLY_SIZE = 2048;

// The EHLO argument from what gethostname gave: "localhost" stands in when the call failed or
// gave a name that is empty or would break the command line.
std::string EhloHostName(bool ok, const char* name);

class CSMTPConnection {
public:
    // Resolves a host name to an IPv4 address; false when it does not resolve.
    using HostLookup = bool (*)(const char* host, in_addr* address);
    static bool SystemHostLookup(const char* host, in_addr* address);

    CSMTPConnection();
    virtual ~CSMTPConnection();
    CSMTPConnection(const CSMTPConnection&) = delete;
    CSMTPConnection& operator=(const CSMTPConnection&) = delete;

    // Host as a dotted IPv4 address (used as it is, never looked up) or a name to resolve; with
    // TLS the server's certificate must name it. False with FailureReason() when no session
    // could be set up as SetSecurity asks.
    bool OpenSession(const char* host, int port = SMTP_PORT);
    // True when QUIT got its 221; false also when no session was open. After a read that got no
    // reply, QUIT is still sent but its answer is not awaited.
    bool CloseSession();
    // True when the server accepted the message. The caller closes the session afterwards.
    // Nothing is sent on a session that is out of step.
    bool SendMail(CMailMessage& message);

    // Reply code, 0 when no complete reply arrived within the idle time-out.
    virtual int ReadReplyCode(int expected);
    // Reads one reply into buffer (size bytes). When the reply outgrows it and growth > 0 and
    // grown is given, a larger buffer (delete[] by the caller) is left in *grown. A reply is
    // complete at the first terminator that ends a line other than a "ddd-" continuation line;
    // its code is the first line's. It fails after m_timeout ms without new data, when the peer
    // closes, on a socket error, or when it no longer fits.
    virtual int ReadReply(char* buffer, int size, const char* terminator, int expected,
                          char** grown, int growth);

    bool Authenticate(int method, const std::string& account, const std::string& password);
    // Tries SMTP_AUTH_ORDER on this session; the method that succeeded goes to *method. A method
    // whose read gave up leaves the session out of step, and no further method is tried on it.
    bool AuthenticateAny(const std::string& account, const std::string& password,
                         int* method = nullptr);
    bool AuthLogin(const std::string& account, const std::string& password);
    bool AuthPlain(const std::string& account, const std::string& password);
    bool AuthCramMd5(const std::string& account, const std::string& password);
    bool AuthNtlm(const std::string& account, const std::string& password);

    const std::string& LastReply() const { return m_lastReply; }
    int LastCode() const { return m_lastCode; }
    bool IsConnected() const { return m_connected; }
    bool IsOutOfStep() const { return m_outOfStep; }
    void SetTimeout(std::uint32_t milliseconds) { m_timeout = milliseconds; }
    void SetConnectTimeout(std::uint32_t milliseconds) { m_connectTimeout = milliseconds; }
    void SetHostLookup(HostLookup lookup) { m_lookup = lookup; }
    // Once stop is requested, a connect or reply read in progress gives up within one poll
    // (SMTP_POLL_MS) and nothing more goes out but QUIT: the agent's monitor thread that mails
    // an alarm must be stoppable.
    void SetStopToken(std::stop_token stop) { m_stop = std::move(stop); }
    // One of SMTP_SECURITY_*; any other value makes OpenSession fail. Before OpenSession.
    void SetSecurity(int security) { m_security = security; }
    // One more trusted CA certificate file (PEM) beside the system's; empty: none.
    void SetCaFile(std::string path) { m_caFile = std::move(path); }
    // The TLS handshake's overall limit (SMTP_TLS_HANDSHAKE_LIMIT_MS unless changed).
    void SetHandshakeLimit(std::uint32_t milliseconds) { m_handshakeLimit = milliseconds; }

    // Why OpenSession failed, for the log; empty after a success.
    const std::string& FailureReason() const { return m_failure; }
    // Whether the session runs over TLS, and with what protocol and cipher.
    bool IsEncrypted() const { return m_tls != nullptr && m_tls->Established(); }
    std::string TlsDescription() const { return m_tls ? m_tls->Description() : std::string(); }

protected:
    bool Send(std::string_view data);
    // False once the session is out of step or stop is requested: no new command may go out.
    bool InStep() const { return !m_outOfStep && !m_stop.stop_requested(); }
    // Connects m_socket without blocking past m_connectTimeout or a stop request.
    bool Connect(const sockaddr_in& server);
    // One raw receive from the socket or the TLS layer, as recv would answer.
    long Receive(char* buffer, std::size_t size);
    // Greeting (or EHLO) step helpers; false with m_failure set.
    bool Ehlo();
    bool StartTls(const char* host);
    // Whether the last EHLO reply announces the extension `keyword`.
    bool EhloOffers(std::string_view keyword) const;
    bool Fail(std::string reason);
    bool SendBase64Line(std::string_view bytes);
    // Decodes the prompt or challenge after "334 " into text that ends at its first zero byte;
    // false when the reply text is longer than SMTP_AUTH_TEXT_MAX.
    bool DecodeAuthText(std::string& text);
    // Abandons an exchange the server still expects an answer in, keeping the session usable
    // for the next method.
    void CancelAuth();
    // Sends an AUTH command and reads the server's first answer: 334 goes on with the
    // exchange, 503 means no authentication is needed, anything else is a refusal.
    enum class EAuthStart { Proceed, NotNeeded, Refused };
    EAuthStart StartAuth(std::string_view command);

    int m_socket;
    CBase64Codec m_base64;
    bool m_connected;
    std::string m_lastReply;
    std::uint32_t m_timeout;
    int m_lastCode;
    HostLookup m_lookup;
    std::uint32_t m_connectTimeout;
    std::stop_token m_stop;
    // Set for good once a read got no complete reply: whatever the server says later answers
    // the step that gave up, so the session is out of step (or the server gone). No further
    // command goes out on it but QUIT, whose answer is not awaited.
    bool m_outOfStep;
    int m_security = SMTP_SECURITY_NONE;
    std::string m_caFile;
    std::uint32_t m_handshakeLimit = SMTP_TLS_HANDSHAKE_LIMIT_MS;
    std::unique_ptr<CTlsChannel> m_tls;
    std::string m_failure;
    // The last reply came with bytes after it in the same read: nothing may follow a reply
    // before the client's next command, least of all before a TLS handshake.
    bool m_surplus = false;
};
