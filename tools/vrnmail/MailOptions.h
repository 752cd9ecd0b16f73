#pragma once
// Command line of vrnmail, the administrator's test sender over the alarm mailer's SMTP client.

#include <string>
#include <string_view>
#include <vector>

struct CMailOptions {
    std::string m_server;
    int m_port = 25;             // 465 with --security tls unless --port is given
    int m_security = 0;          // SMTP_SECURITY_*: plain unless asked
    std::string m_caFile;        // one more trusted CA file
    bool m_authenticate = false; // only when --account is given
    std::string m_account;
    std::string m_password;
    int m_method = -1; // -1: the mailer's order (auto), else one AUTH_... number
    std::string m_from;
    std::vector<std::string> m_to;
    std::string m_subject;
    std::string m_body;     // --body text
    std::string m_bodyFile; // --body-file path
    bool m_bodyFromFile = false;
    bool m_help = false;
};

// Fills options from argv[1..]; on a usage error returns false with a one-line reason.
bool ParseMailOptions(int argc, const char* const* argv, CMailOptions& options, std::string& error);

// Line ends as the wire needs them: CR LF stays, a lone LF or a lone CR becomes CR LF.
std::string ToCrLf(std::string_view text);

// "auto", "ntlm", "cram-md5", "login", "plain" -> -1 or the method number; false otherwise.
bool ParseAuthName(std::string_view name, int& method);

// "none", "starttls", "starttls-required", "tls" or the setting's numbers 0 to 3.
bool ParseSecurityName(std::string_view name, int& security);

extern const char* const kVrnMailUsage;
