#include "MetricsRequest.h"

namespace {

bool IsMethodChar(char c) {
    return c >= 'A' && c <= 'Z';
}

// Visible ASCII: a request target or a version never holds spaces, controls or 8-bit bytes.
bool IsVisible(char c) {
    return c > ' ' && c < 0x7f;
}

// Field lines: visible characters, spaces and tabs; a line that starts with white space
// (folding) is refused, as it is by current HTTP.
bool FieldLineIsSound(std::string_view line) {
    if (line.empty() || line[0] == ' ' || line[0] == '\t')
        return false;
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos)
        return false;
    for (std::size_t i = 0; i < colon; ++i)
        if (!IsVisible(line[i]))
            return false;
    for (const char c : line)
        if (!(IsVisible(c) || c == ' ' || c == '\t' || static_cast<unsigned char>(c) >= 0x80))
            return false;
    return true;
}

// A line without its end (LF, or CR LF).
std::string_view Chomp(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

EMetricsRequest ReadRequestLine(std::string_view line) {
    const std::size_t sp1 = line.find(' ');
    if (sp1 == 0 || sp1 == std::string_view::npos)
        return EMetricsRequest::Malformed;
    const std::size_t sp2 = line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
        return EMetricsRequest::Malformed;
    const std::string_view method = line.substr(0, sp1);
    const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = line.substr(sp2 + 1);
    for (const char c : method)
        if (!IsMethodChar(c))
            return EMetricsRequest::Malformed;
    if (target.empty() || target[0] != '/')
        return EMetricsRequest::Malformed;
    for (const char c : target)
        if (!IsVisible(c))
            return EMetricsRequest::Malformed;
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
        version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9')
        return EMetricsRequest::Malformed;
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return EMetricsRequest::BadVersion;
    const bool head = method == "HEAD";
    if (method != "GET" && !head)
        return EMetricsRequest::BadMethod;
    const std::string_view path = target.substr(0, target.find('?'));
    if (path != "/metrics")
        return EMetricsRequest::NotFound;
    return head ? EMetricsRequest::MetricsHead : EMetricsRequest::Metrics;
}

} // namespace

EMetricsRequest ReadMetricsRequest(std::string_view received, std::size_t limit) {
    const std::size_t firstEnd = received.find('\n');
    if (firstEnd == std::string_view::npos)
        return received.size() > limit ? EMetricsRequest::TooLarge : EMetricsRequest::Incomplete;
    if (firstEnd + 1 > limit)
        return EMetricsRequest::TooLarge;
    const EMetricsRequest target = ReadRequestLine(Chomp(received.substr(0, firstEnd)));
    if (target == EMetricsRequest::Malformed || target == EMetricsRequest::BadVersion)
        return target;
    // The field lines, up to the empty line that ends the header.
    std::size_t at = firstEnd + 1;
    for (;;) {
        const std::size_t end = received.find('\n', at);
        if (end == std::string_view::npos)
            return received.size() > limit ? EMetricsRequest::TooLarge
                                           : EMetricsRequest::Incomplete;
        if (end + 1 > limit)
            return EMetricsRequest::TooLarge;
        const std::string_view line = Chomp(received.substr(at, end - at));
        if (line.empty())
            return target;
        if (!FieldLineIsSound(line))
            return EMetricsRequest::Malformed;
        at = end + 1;
    }
}
