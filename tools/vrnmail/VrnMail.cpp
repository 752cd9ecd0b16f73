// vrnmail: sends one mail through the alarm mailer's SMTP client, so mail settings can be tried
// from a shell. Exit status 0 only when the server accepted the message.

#include "MailOptions.h"
#include "SmtpConnection.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace {

enum { EXIT_SENT = 0, EXIT_REFUSED = 1, EXIT_USAGE = 2 };

const char* MethodName(int method) {
    switch (method) {
    case AUTH_NTLM:
        return "NTLM";
    case AUTH_CRAM_MD5:
        return "CRAM-MD5";
    case AUTH_LOGIN:
        return "LOGIN";
    case AUTH_PLAIN:
        return "PLAIN";
    default:
        return "NTLM, CRAM-MD5, LOGIN, PLAIN";
    }
}

// The server's last words, for the one-line reason; only its first line, so it stays one line.
std::string Said(const CSMTPConnection& smtp) {
    const std::string& reply = smtp.LastReply();
    const std::string first = reply.substr(0, reply.find_first_of("\r\n"));
    return first.empty() ? std::string("no reply from the server") : "server said: " + first;
}

int Fail(const std::string& reason, int status) {
    std::cerr << "vrnmail: " << reason << "\n";
    return status;
}

} // namespace

int main(int argc, char** argv) {
    CMailOptions options;
    std::string error;
    if (!ParseMailOptions(argc, argv, options, error)) {
        std::cerr << "vrnmail: " << error << "\n" << kVrnMailUsage;
        return EXIT_USAGE;
    }
    if (options.m_help) {
        std::cout << kVrnMailUsage;
        return EXIT_SENT;
    }

    std::string body = options.m_body;
    if (options.m_bodyFromFile) {
        std::ifstream file(options.m_bodyFile, std::ios::binary);
        if (!file) {
            return Fail("cannot read body file " + options.m_bodyFile, EXIT_USAGE);
        }
        body.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    CMailMessage mail;
    mail.m_from = options.m_from;
    mail.m_subject = options.m_subject;
    for (const std::string& to : options.m_to) {
        mail.AddRecipient(to);
    }
    mail.SetBody(ToCrLf(body));

    CSMTPConnection smtp;
    smtp.SetSecurity(options.m_security);
    smtp.SetCaFile(options.m_caFile);
    if (!smtp.OpenSession(options.m_server.c_str(), options.m_port)) {
        const std::string& why = smtp.FailureReason();
        return Fail("Failed to connect SMTP server " + options.m_server + ":" +
                        std::to_string(options.m_port) + " (" + (why.empty() ? Said(smtp) : why) +
                        ")",
                    EXIT_REFUSED);
    }
    if (options.m_authenticate) {
        const bool ok =
            options.m_method < 0
                ? smtp.AuthenticateAny(options.m_account, options.m_password)
                : smtp.Authenticate(options.m_method, options.m_account, options.m_password);
        if (!ok) {
            return Fail(std::string("authentication failed (") + MethodName(options.m_method) +
                            "; " + Said(smtp) + ")",
                        EXIT_REFUSED);
        }
    }
    if (!smtp.SendMail(mail)) {
        return Fail("message not accepted (" + Said(smtp) + ")", EXIT_REFUSED);
    }
    smtp.CloseSession();
    return EXIT_SENT;
}
