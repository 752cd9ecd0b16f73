#pragma once
// One plain-text alarm mail: sender, recipients, subject, body and the header block it is sent
// with. Single part, no attachments, no copies, no reply address.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

class CMailMessage {
public:
    CMailMessage();
    virtual ~CMailMessage();

    // Appends a bare address (no display name, no angle brackets); returns its index.
    int AddRecipient(const std::string& address);

    // Stores the body dot-stuffed: a "." at the start of any line gets a second one, so the
    // server never takes a body line for the end of the data.
    void SetBody(std::string_view text);

    // From, To, Subject, Date, X-Mailer, MIME-Version, Content-type and the empty line,
    // composed now so the Date line shows the time of sending.
    virtual std::string BuildHeader();

    std::string m_from;
    std::string m_subject;
    std::string m_mailer;
    std::string m_body; // already dot-stuffed
    std::vector<std::string> m_to;
};

std::string DotStuff(std::string_view text);

// "+hhmm" / "-hhmm" for an offset of local time to UTC in minutes (east positive).
std::string MailZoneText(long offsetMinutes);

// "Sun, 07 Dec 2025 08:41:00 +0100": English names whatever the process locale, the zone from
// the broken-down time's own offset to UTC.
std::string MailDateText(const std::tm& local);
