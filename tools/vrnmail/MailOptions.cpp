#include "MailOptions.h"

#include "SmtpConnection.h"

#include <cerrno>
#include <cstdlib>

const char* const kVrnMailUsage =
    "usage: vrnmail --server HOST [--port N] [--security none|starttls|starttls-required|tls]\n"
    "               [--ca-file PEM] [--account A --password P]\n"
    "               [--auth auto|ntlm|cram-md5|login|plain] --from ADDR --to ADDR[,ADDR...]\n"
    "               --subject TEXT (--body TEXT | --body-file FILE)\n";

namespace {

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == text.npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

} // namespace

bool ParseAuthName(std::string_view name, int& method) {
    const struct {
        const char* name;
        int method;
    } kNames[] = {{"auto", -1},
                  {"ntlm", AUTH_NTLM},
                  {"cram-md5", AUTH_CRAM_MD5},
                  {"login", AUTH_LOGIN},
                  {"plain", AUTH_PLAIN}};
    for (const auto& n : kNames) {
        if (name == n.name) {
            method = n.method;
            return true;
        }
    }
    return false;
}

bool ParseSecurityName(std::string_view name, int& security) {
    const struct {
        const char* name;
        const char* number;
        int security;
    } kNames[] = {{"none", "0", SMTP_SECURITY_NONE},
                  {"starttls", "1", SMTP_SECURITY_STARTTLS},
                  {"starttls-required", "2", SMTP_SECURITY_STARTTLS_REQUIRED},
                  {"tls", "3", SMTP_SECURITY_TLS}};
    for (const auto& n : kNames) {
        if (name == n.name || name == n.number) {
            security = n.security;
            return true;
        }
    }
    return false;
}

std::string ToCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool ParseMailOptions(int argc, const char* const* argv, CMailOptions& options,
                      std::string& error) {
    bool haveBody = false, haveAuth = false, havePassword = false, havePort = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.m_help = true;
            return true;
        }
        if (i + 1 >= argc) {
            error = std::string(arg) +
                    (arg.rfind("--", 0) == 0 ? " needs a value" : ": unknown argument");
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--server") {
            options.m_server = value;
        } else if (arg == "--port") {
            char* end = nullptr;
            errno = 0;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || errno != 0 || port < 1 || port > 65535) {
                error = "--port needs a number from 1 to 65535";
                return false;
            }
            options.m_port = static_cast<int>(port);
            havePort = true;
        } else if (arg == "--security") {
            if (!ParseSecurityName(value, options.m_security)) {
                error = "--security must be none, starttls, starttls-required or tls (or 0 to 3)";
                return false;
            }
        } else if (arg == "--ca-file") {
            if (value.empty()) {
                error = "--ca-file needs a file name";
                return false;
            }
            options.m_caFile = value;
        } else if (arg == "--account") {
            options.m_account = value;
            options.m_authenticate = true;
        } else if (arg == "--password") {
            options.m_password = value;
            havePassword = true;
        } else if (arg == "--auth") {
            if (!ParseAuthName(value, options.m_method)) {
                error = "--auth must be auto, ntlm, cram-md5, login or plain";
                return false;
            }
            haveAuth = true;
        } else if (arg == "--from") {
            options.m_from = value;
        } else if (arg == "--to") {
            std::size_t pos = 0;
            for (;;) {
                const std::size_t comma = value.find(',', pos);
                const std::string address = Trim(std::string_view(value).substr(
                    pos, comma == std::string::npos ? std::string::npos : comma - pos));
                if (!address.empty()) {
                    options.m_to.push_back(address);
                }
                if (comma == std::string::npos) {
                    break;
                }
                pos = comma + 1;
            }
        } else if (arg == "--subject") {
            options.m_subject = value;
        } else if (arg == "--body" || arg == "--body-file") {
            if (haveBody) {
                error = "give either --body or --body-file, once";
                return false;
            }
            haveBody = true;
            options.m_bodyFromFile = arg == "--body-file";
            (options.m_bodyFromFile ? options.m_bodyFile : options.m_body) = value;
        } else {
            error = std::string(arg) + ": unknown argument";
            return false;
        }
    }
    const struct {
        bool missing;
        const char* text;
    } checks[] = {
        {options.m_server.empty(), "--server is required"},
        {options.m_from.empty(), "--from is required"},
        {options.m_to.empty(), "--to needs at least one address"},
        {!haveBody, "--body or --body-file is required"},
        {(haveAuth || havePassword) && !options.m_authenticate,
         "--auth and --password need --account"},
    };
    for (const auto& c : checks) {
        if (c.missing) {
            error = c.text;
            return false;
        }
    }
    // Submission with TLS from the first byte has its own well-known port.
    if (!havePort && options.m_security == SMTP_SECURITY_TLS) {
        options.m_port = 465;
    }
    return true;
}
