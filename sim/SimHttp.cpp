// The controller's web server behind command 0x16: full 1024-byte pieces are collected
// silently, the first shorter piece completes the request and is answered in one frame.
#include "SimModel.h"

#include <cstdio>

namespace vrnsim {

namespace {

constexpr size_t kPiece = 1024;
constexpr size_t kMaxRequest = 512000;      // as much as the agent ever gathers
constexpr int64_t kStaleRequestMs = 10000;  // a request abandoned half-way is forgotten
constexpr size_t kMaxReplyPayload = 0xFFFF; // what the frame's length field can carry

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Request Entity Too Large";
    default:
        return "Status";
    }
}

std::string Response(int status, const std::string& type, const std::string& body, bool withBody) {
    char head[256];
    std::snprintf(head, sizeof head,
                  "HTTP/1.0 %d %s\r\nServer: Varno RAID Subsystem\r\nContent-Type: %s\r\n"
                  "Content-Length: %zu\r\nConnection: close\r\n\r\n",
                  status, Reason(status), type.c_str(), body.size());
    std::string r = head;
    if (withBody)
        r += body;
    if (r.size() > kMaxReplyPayload)
        r.resize(kMaxReplyPayload);
    return r;
}

std::string ErrorPage(int status) {
    return "<html><head><title>" + std::to_string(status) + " " + Reason(status) +
           "</title></head><body><h1>" + std::to_string(status) + " " + Reason(status) +
           "</h1></body></html>\n";
}

} // namespace

std::optional<Bytes> CSimModel::CmdHttp(std::span<const uint8_t> f) {
    std::span<const uint8_t> piece = f.subspan(6, f.size() - 7);
    if (!m_httpRequest.empty() && m_nowMs - m_httpLastMs > kStaleRequestMs)
        m_httpRequest.clear();
    m_httpLastMs = m_nowMs;
    if (m_httpRequest.size() <= kMaxRequest)
        m_httpRequest.append(reinterpret_cast<const char*>(piece.data()), piece.size());
    if (piece.size() == kPiece)
        return std::nullopt; // more is coming; a full piece is never answered
    // A shorter piece, even an empty one, ends the request: an empty piece lets a client
    // finish a request whose length is an exact multiple of the piece size.
    std::string request;
    request.swap(m_httpRequest);
    std::string r = HttpResponse(request);
    return BuildFrame(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(r.data()), r.size()));
}

std::string CSimModel::HttpResponse(const std::string& request) const {
    if (request.size() > kMaxRequest)
        return Response(413, "text/html", ErrorPage(413), true);
    size_t eol = request.find("\r\n");
    if (eol == std::string::npos)
        eol = request.find('\n');
    std::string first = request.substr(0, eol);
    size_t sp1 = first.find(' ');
    size_t sp2 = sp1 == std::string::npos ? std::string::npos : first.find(' ', sp1 + 1);
    if (sp1 == std::string::npos || sp1 == 0)
        return Response(400, "text/html", ErrorPage(400), true);
    std::string method = first.substr(0, sp1);
    std::string target =
        first.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
    size_t q = target.find_first_of("?#");
    if (q != std::string::npos)
        target.resize(q);
    if (target.empty() || target[0] != '/')
        return Response(400, "text/html", ErrorPage(400), true);
    bool head = method == "HEAD";
    if (method != "GET" && !head)
        return Response(405, "text/html", ErrorPage(405), true);
    auto it = m_sc.pages.find(target);
    if (it == m_sc.pages.end() && target.size() > 1 && target.back() == '/')
        it = m_sc.pages.find(target.substr(0, target.size() - 1));
    if (it == m_sc.pages.end())
        return Response(404, "text/html", ErrorPage(404), !head);
    return Response(it->second.status, it->second.contentType, *it->second.body, !head);
}

} // namespace vrnsim
