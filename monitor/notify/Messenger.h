#pragma once
// Pop-up messages to the computers of the message address book, sent with smbclient's
// messenger mode (smbclient -M NAME -I ADDRESS). This program resolves the name itself and
// hands smbclient the address, checks the name before anything runs, gives the text in the
// 8-bit code page of the interface language, and holds smbclient to a time limit.

#include <netinet/in.h>

#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// Resolves a computer name to an IPv4 address; false when it does not resolve.
using ComputerLookup = std::function<bool(const std::string& name, in_addr* address)>;

struct SMessengerOptions {
    std::string program = "smbclient";
    int port = 0; // 0: smbclient's own choice
    std::chrono::milliseconds timeLimit{30000};
    ComputerLookup lookup; // empty: a dotted address as it is, else the system's resolver
};

// A computer name smbclient may be given: 1 to 15 characters, not starting with "-" (it would
// be read as an option), no blanks and no control characters.
bool IsValidComputerName(std::string_view name);

// The 8-bit code page of the interface language: CP950 for Traditional Chinese, CP1252 for
// English.
const char* MessengerCodePage(bool chinese);

// UTF-8 text in `codePage`; characters it cannot hold, and bytes that are not UTF-8, become "?".
std::string ToCodePage(std::string_view utf8, const char* codePage);

// The command line, without a shell: smbclient -M NAME -I ADDRESS [-p PORT] -U SENDER% -N -E,
// and the code page for both its terminal and its wire text, so the bytes given on standard
// input go out unchanged.
std::vector<std::string> MessengerCommand(const SMessengerOptions& options, const std::string& name,
                                          const std::string& address, const std::string& sender,
                                          const char* codePage);

// This computer's name as a messenger sender: the host name up to its first dot, at most 15
// characters; "QUILLHT" when there is none fit to use.
std::string MessengerSenderName();

struct SMessengerOutcome {
    bool sent = false;
    bool stopped = false;
    std::string reason; // why it was not sent, for the "Net Messenger: " box
};

// Sends one message. Failures: a name that is no computer name, a name that does not resolve,
// smbclient missing, smbclient's time limit, a non-zero exit status, and a "cli_message
// returned" line on its error output (it exits 0 when the receiver refused the message).
SMessengerOutcome SendMessengerMessage(const SMessengerOptions& options, const std::string& name,
                                       std::string_view utf8Text, bool chinese,
                                       std::stop_token stop = {});
