#include "MailMessage.h"

#include <cstdio>

namespace {

constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A CR or LF inside a header value would start a header line of its own.
std::string HeaderValue(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

} // namespace

CMailMessage::CMailMessage() : m_mailer("CSMTPConnection v1.3") {}

CMailMessage::~CMailMessage() = default;

int CMailMessage::AddRecipient(const std::string& address) {
    m_to.push_back(address);
    return static_cast<int>(m_to.size()) - 1;
}

void CMailMessage::SetBody(std::string_view text) {
    m_body = DotStuff(text);
}

std::string CMailMessage::BuildHeader() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);

    std::string to;
    for (std::size_t i = 0; i < m_to.size(); ++i) {
        if (i > 0) {
            to += ',';
        }
        to += m_to[i];
    }

    std::string header;
    header += "From: " + HeaderValue(m_from) + "\r\n";
    header += "To: " + HeaderValue(to) + "\r\n";
    header += "Subject: " + HeaderValue(m_subject) + "\r\n";
    header += "Date: " + MailDateText(local) + "\r\n";
    header += "X-Mailer: " + HeaderValue(m_mailer) + "\r\n";
    header += "MIME-Version: 1.0\r\nContent-type: text/plain; charset=US-ASCII\r\n";
    header += "\r\n";
    return header;
}

std::string DotStuff(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    // The body follows the header's empty line, so its very first character starts a line too.
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == '.') {
            out += '.';
        }
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string MailZoneText(long offsetMinutes) {
    const char sign = offsetMinutes >= 0 ? '+' : '-';
    const long magnitude = offsetMinutes >= 0 ? offsetMinutes : -offsetMinutes;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02ld%02ld", sign, (magnitude / 60) % 100, magnitude % 60);
    return text;
}

std::string MailDateText(const std::tm& local) {
    const int wday = local.tm_wday >= 0 && local.tm_wday < 7 ? local.tm_wday : 0;
    const int mon = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
    char text[128];
    std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d ", kDays[wday], local.tm_mday,
                  kMonths[mon], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return text + MailZoneText(local.tm_gmtoff / 60);
}
