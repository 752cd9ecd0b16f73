// Arbitrary server bytes against the SMTP reply reader, the four authentication methods and
// the mail transaction, plus arbitrary text against the Base64 decoder.
//
// Input: one selector byte, one parameter byte, then what the server says. The server side is
// the far end of a socket pair that holds the bytes and then closes for writing, so every read
// ends at once on the peer's close instead of waiting out a time-out.

#include "Base64Codec.h"
#include "SmtpConnection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class CFuzzConnection : public CSMTPConnection {
public:
    explicit CFuzzConnection(int fd) {
        m_socket = fd;
        m_connected = true;
        m_timeout = 200;
    }
};

void FuzzBase64(const std::uint8_t* data, std::size_t size, std::uint8_t param) {
    CBase64Codec codec;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Exactly sized heap buffer: a write past dstSize is an AddressSanitizer report.
    const int dstSize = param;
    std::vector<unsigned char> out(dstSize > 0 ? dstSize : 1);
    const int n = codec.Decode(text.c_str(), out.data(), dstSize);
    // The bounded form is the first dstSize bytes of the whole decoding of the text up to its
    // terminator, and a decoding survives a round trip.
    const std::string decoded = codec.Decode(std::string_view(text.c_str()));
    if (n != static_cast<int>(std::min<std::size_t>(dstSize, decoded.size())) ||
        (n > 0 && std::memcmp(out.data(), decoded.data(), static_cast<std::size_t>(n)) != 0)) {
        std::abort();
    }
    if (codec.Decode(codec.Encode(decoded)) != decoded) {
        std::abort();
    }
}

void FuzzSession(int selector, std::uint8_t param, const std::uint8_t* data, std::size_t size) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return;
    }
    const int buffer = 1 << 18;
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = send(pair[1], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    shutdown(pair[1], SHUT_WR);

    const std::string account(param % 40, 'a');
    const std::string password(param / 4, 'p');
    {
        CFuzzConnection smtp(pair[0]);
        switch (selector) {
        case 0:
            for (int i = 0; i < 8 && smtp.ReadReplyCode(250) != 0; ++i) {
            }
            break;
        case 1: {
            // A caller's small buffer with growth, as the reader allows any size and step.
            std::vector<char> small(1 + param % 64);
            char* grown = nullptr;
            smtp.ReadReply(small.data(), static_cast<int>(small.size()), "\r\n", 250, &grown,
                           1 + param);
            delete[] grown;
            break;
        }
        case 2:
            smtp.AuthLogin(account, password);
            break;
        case 3:
            smtp.AuthPlain(account, password);
            break;
        case 4:
            smtp.AuthCramMd5(account, password);
            break;
        case 5:
            smtp.AuthNtlm(account, password);
            break;
        case 6:
            smtp.AuthenticateAny(account, password);
            break;
        default: {
            CMailMessage mail;
            mail.m_from = "a@b.test";
            mail.AddRecipient("c@d.test");
            mail.AddRecipient("e@f.test");
            mail.SetBody("[SYSTEM ALARM]\r\n.line\r\n");
            smtp.SendMail(mail);
            break;
        }
        }
    } // destruction: QUIT and close of the client end
    close(pair[1]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 60000) {
        return 0;
    }
    const int selector = data[0] % 9;
    const std::uint8_t param = data[1];
    if (selector == 8) {
        FuzzBase64(data + 2, size - 2, param);
    } else {
        FuzzSession(selector, param, data + 2, size - 2);
    }
    return 0;
}
