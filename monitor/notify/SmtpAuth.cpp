// The four ways to authenticate an open session: NTLM, CRAM-MD5, LOGIN and PLAIN.
#include "HmacMd5.h"
#include "Ntlm.h"
#include "SmtpConnection.h"

#include <cstring>
#include <vector>

bool CSMTPConnection::Authenticate(int method, const std::string& account,
                                   const std::string& password) {
    if (!InStep()) {
        return false; // the next command would be taken for the answer to a late prompt
    }
    switch (method) {
    case AUTH_LOGIN:
        return AuthLogin(account, password);
    case AUTH_PLAIN:
        return AuthPlain(account, password);
    case AUTH_NTLM:
        return AuthNtlm(account, password);
    case AUTH_CRAM_MD5:
        return AuthCramMd5(account, password);
    default:
        return false;
    }
}

bool CSMTPConnection::AuthenticateAny(const std::string& account, const std::string& password,
                                      int* method) {
    for (int m : SMTP_AUTH_ORDER) {
        if (!InStep()) {
            return false;
        }
        if (Authenticate(m, account, password)) {
            if (method != nullptr) {
                *method = m;
            }
            return true;
        }
    }
    return false;
}

bool CSMTPConnection::SendBase64Line(std::string_view bytes) {
    return Send(m_base64.Encode(bytes) + "\r\n");
}

bool CSMTPConnection::DecodeAuthText(std::string& text) {
    text.clear();
    if (m_lastReply.size() > static_cast<std::size_t>(SMTP_AUTH_TEXT_MAX)) {
        return false;
    }
    const char* encoded = m_lastReply.size() > 4 ? m_lastReply.c_str() + 4 : "";
    unsigned char decoded[SMTP_AUTH_TEXT_MAX + 1] = {};
    m_base64.Decode(encoded, decoded, SMTP_AUTH_TEXT_MAX);
    text = reinterpret_cast<const char*>(decoded);
    return true;
}

void CSMTPConnection::CancelAuth() {
    // The server is waiting for an answer to its 334; "*" ends the exchange so that the next
    // command is read as a command. What the caller reports stays the reply that made it give up.
    const std::string reply = m_lastReply;
    const int code = m_lastCode;
    if (Send("*\r\n")) {
        ReadReplyCode(501);
    }
    m_lastReply = reply;
    m_lastCode = code;
}

CSMTPConnection::EAuthStart CSMTPConnection::StartAuth(std::string_view command) {
    if (!InStep() || !Send(command)) {
        return EAuthStart::Refused;
    }
    const int code = ReadReplyCode(334);
    if (code == 503) {
        return EAuthStart::NotNeeded;
    }
    return code == 334 ? EAuthStart::Proceed : EAuthStart::Refused;
}

bool CSMTPConnection::AuthLogin(const std::string& account, const std::string& password) {
    if (const EAuthStart start = StartAuth("AUTH LOGIN\r\n"); start != EAuthStart::Proceed) {
        return start == EAuthStart::NotNeeded;
    }
    std::string prompt;
    if (!DecodeAuthText(prompt) || prompt != "Username:") {
        CancelAuth();
        return false;
    }
    if (!SendBase64Line(account) || ReadReplyCode(334) != 334) {
        return false;
    }
    if (!DecodeAuthText(prompt) || prompt != "Password:") {
        CancelAuth();
        return false;
    }
    return SendBase64Line(password) && ReadReplyCode(235) == 235;
}

bool CSMTPConnection::AuthPlain(const std::string& account, const std::string& password) {
    if (const EAuthStart start = StartAuth("AUTH PLAIN\r\n"); start != EAuthStart::Proceed) {
        return start == EAuthStart::NotNeeded;
    }
    // The authorisation identity is the account itself.
    std::string message = account;
    message += '\0';
    message += account;
    message += '\0';
    message += password;
    return SendBase64Line(message) && ReadReplyCode(235) == 235;
}

bool CSMTPConnection::AuthCramMd5(const std::string& account, const std::string& password) {
    if (const EAuthStart start = StartAuth("AUTH CRAM-MD5\r\n"); start != EAuthStart::Proceed) {
        return start == EAuthStart::NotNeeded;
    }
    std::string challenge;
    if (!DecodeAuthText(challenge)) {
        CancelAuth();
        return false;
    }
    unsigned char digest[16];
    HmacMd5(reinterpret_cast<const unsigned char*>(challenge.data()), challenge.size(),
            reinterpret_cast<const unsigned char*>(password.data()), password.size(), digest);
    static const char kHex[] = "0123456789abcdef";
    std::string answer = account + ' ';
    for (unsigned char b : digest) {
        answer += kHex[b >> 4];
        answer += kHex[b & 0x0f];
    }
    return SendBase64Line(answer) && ReadReplyCode(235) == 235;
}

bool CSMTPConnection::AuthNtlm(const std::string& account, const std::string& password) {
    if (!InStep()) {
        return false;
    }
    const std::vector<unsigned char> negotiate = NtlmNegotiateMessage();
    const std::string_view negotiateBytes(reinterpret_cast<const char*>(negotiate.data()),
                                          negotiate.size());
    // The first message travels on the AUTH line itself.
    if (!Send("auth ntlm " + m_base64.Encode(negotiateBytes) + "\r\n")) {
        return false;
    }
    // Both receives read one line into a fixed buffer under the usual idle time-out; a reply
    // that does not fit fails the method.
    std::vector<char> reply(SMTP_NTLM_REPLY_SIZE);
    if (ReadReply(reply.data(), SMTP_NTLM_REPLY_SIZE, "\r\n", 334, nullptr, 0) != 334) {
        return false;
    }
    // One byte more than a challenge may have, so an oversized one is seen and refused.
    unsigned char message[NTLM_CHALLENGE_MAX + 1] = {};
    const char* encoded = m_lastReply.size() > 4 ? m_lastReply.c_str() + 4 : "";
    const int length = m_base64.Decode(encoded, message, sizeof message);
    unsigned char challenge[8];
    if (!NtlmServerChallenge(message, length, challenge)) {
        CancelAuth();
        return false;
    }

    unsigned char hash[16];
    NtlmHash(password, hash);
    unsigned char response[24];
    NtlmResponse(hash, challenge, response);
    const std::vector<unsigned char> authenticate = NtlmAuthenticateMessage(account, response);
    if (!SendBase64Line(std::string_view(reinterpret_cast<const char*>(authenticate.data()),
                                         authenticate.size()))) {
        return false;
    }
    return ReadReply(reply.data(), SMTP_NTLM_REPLY_SIZE, "\r\n", 235, nullptr, 0) == 235;
}
