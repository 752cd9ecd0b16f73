#include "Messenger.h"

#include "ChildProcess.h"
#include "TextSafety.h"

#include <arpa/inet.h>
#include <iconv.h>
#include <netdb.h>
#include <unistd.h>

#include <cerrno>

namespace {

// smbclient's prompt for the text; it is no failure reason.
constexpr std::string_view kPrompt = "Type your message";
constexpr std::string_view kRefused = "cli_message returned";
constexpr char kDefaultSender[] = "QUILLHT";

bool SystemComputerLookup(const std::string& name, in_addr* address) {
    if (inet_pton(AF_INET, name.c_str(), address) == 1) {
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
        return false;
    }
    *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    freeaddrinfo(result);
    return true;
}

// Length of the UTF-8 sequence a lead byte starts; 1 for a byte that starts none.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    return lead >= 0xC2 && lead <= 0xDF ? 2 : 1;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
        start = end + 1;
    }
    return lines;
}

} // namespace

bool IsValidComputerName(std::string_view name) {
    if (name.empty() || name.size() > 15 || name.front() == '-') {
        return false;
    }
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7F) {
            return false;
        }
    }
    return true;
}

const char* MessengerCodePage(bool chinese) {
    return chinese ? "CP950" : "CP1252";
}

std::string ToCodePage(std::string_view utf8, const char* codePage) {
    iconv_t cd = iconv_open(codePage, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter: only ASCII is certain to read the same.
        std::string out(utf8);
        for (char& c : out) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                c = '?';
            }
        }
        return out;
    }
    std::string out;
    std::string source(utf8);
    char* in = source.data();
    std::size_t inLeft = source.size();
    char buffer[256];
    while (inLeft > 0) {
        char* to = buffer;
        std::size_t toLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &to, &toLeft);
        out.append(buffer, static_cast<std::size_t>(to - buffer));
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) {
            continue;
        }
        // A character the code page lacks, a byte that is not UTF-8, or a sequence cut short.
        out.push_back('?');
        const std::size_t skip = std::min(inLeft, SequenceLength(static_cast<unsigned char>(*in)));
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

std::vector<std::string> MessengerCommand(const SMessengerOptions& options, const std::string& name,
                                          const std::string& address, const std::string& sender,
                                          const char* codePage) {
    std::vector<std::string> argv = {options.program, "-M", name, "-I", address};
    if (options.port > 0) {
        argv.push_back("-p");
        argv.push_back(std::to_string(options.port));
    }
    // An empty password after "%" and -N: smbclient never stops to ask for one.
    argv.push_back("-U");
    argv.push_back(sender + "%");
    argv.push_back("-N");
    argv.push_back("-E"); // every message of smbclient on standard error
    argv.push_back(std::string("--option=unix charset=") + codePage);
    argv.push_back(std::string("--option=dos charset=") + codePage);
    return argv;
}

std::string MessengerSenderName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        return kDefaultSender;
    }
    std::string name(host);
    name = name.substr(0, name.find('.'));
    if (name.size() > 15) {
        name.resize(15);
    }
    return IsValidComputerName(name) && name.find('%') == std::string::npos ? name : kDefaultSender;
}

SMessengerOutcome SendMessengerMessage(const SMessengerOptions& options, const std::string& name,
                                       std::string_view utf8Text, bool chinese,
                                       std::stop_token stop) {
    SMessengerOutcome outcome;
    if (!IsValidComputerName(name)) {
        outcome.reason = "\"" + OneLineText(name) + "\" is not a valid computer name.";
        return outcome;
    }
    in_addr address{};
    const bool resolved =
        options.lookup ? options.lookup(name, &address) : SystemComputerLookup(name, &address);
    if (!resolved) {
        outcome.reason = "The computer " + name + " cannot be found.";
        return outcome;
    }
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, dotted, sizeof dotted);

    const char* codePage = MessengerCodePage(chinese);
    const SChildResult child =
        RunChild(MessengerCommand(options, ToCodePage(name, codePage), dotted,
                                  ToCodePage(MessengerSenderName(), codePage), codePage),
                 ToCodePage(OneLineText(utf8Text), codePage), options.timeLimit, stop);
    if (!child.started) {
        outcome.reason = child.startError == ENOENT || child.startError == EACCES
                             ? "smbclient is not installed; pop-up messages need it."
                             : "smbclient could not be started.";
        return outcome;
    }
    if (child.stopped) {
        outcome.stopped = true;
        outcome.reason = "stopped";
        return outcome;
    }
    if (child.timedOut) {
        outcome.reason = "The computer " + name + " did not take the message within " +
                         std::to_string(options.timeLimit.count() / 1000) + " seconds.";
        return outcome;
    }
    std::string said;
    for (const std::string& line : Lines(child.errors + "\n" + child.output)) {
        if (line.rfind(kRefused, 0) == 0) {
            outcome.reason = line;
            return outcome;
        }
        if (said.empty() && line.rfind(kPrompt, 0) != 0) {
            said = line;
        }
    }
    if (child.exitStatus != 0) {
        outcome.reason = !said.empty()          ? said
                         : child.exitStatus < 0 ? std::string("smbclient was ended by a signal.")
                                                : "smbclient ended with status " +
                                                      std::to_string(child.exitStatus) + ".";
        return outcome;
    }
    outcome.sent = true;
    return outcome;
}
