// Controller configuration: identification, access-coded settings, time, simple settings,
// the terminal port, passwords, log-out and reset.
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "VrnFrame.h"
#include "VrnOperation.h"
#include "VrnTransport.h"

namespace {
constexpr unsigned char CMD_SET_SERIAL = 0x10;
constexpr unsigned char CMD_SET_VENDOR = 0x11;
constexpr unsigned char CMD_SET_MODEL = 0x12;
constexpr unsigned char CMD_IDENTIFY = 0x13;
constexpr unsigned char CMD_CHECK_PASSWORD = 0x14;
constexpr unsigned char CMD_LOG_OUT = 0x15;
constexpr unsigned char CMD_SET_MAC = 0x17;
constexpr unsigned char CMD_SET_TIME = 0x1D;
constexpr unsigned char CMD_MUTE_BEEPER = 0x30;
constexpr unsigned char CMD_SET_BEEPER = 0x31;
constexpr unsigned char CMD_SET_PASSWORD = 0x32;
constexpr unsigned char CMD_SET_HOST_MODE = 0x33;
constexpr unsigned char CMD_SET_REBUILD_PRIORITY = 0x34;
constexpr unsigned char CMD_SET_MAX_ATA_MODE = 0x35;
constexpr unsigned char CMD_RESET = 0x36;
constexpr unsigned char CMD_SET_TERM_PORT = 0x37;
constexpr unsigned char CMD_SET_DHCP_IP = 0x39;

constexpr int IDENTIFY_READ_LIMIT = 2048;
constexpr int SETTING_READ_LIMIT = 64; // access-coded settings and passwords
constexpr int ACK_READ_LIMIT = 7;
constexpr int RESET_WAIT_MS = 15000; // the controller answers once it is back

constexpr char IDENTIFICATION[] = "Varno RAID Subsystem";
constexpr int IDENTIFICATION_LEN = sizeof IDENTIFICATION - 1;

// The access codes the controller wants before it changes its identity or clock, each sent
// after the number of its letters.
constexpr char SERIAL_ACCESS_CODE[16] = {'M', 'e', 'R', 'i', 'D', 'o', 'N', 'a',
                                         'L', 't', 'U', 'b', 'I', 'x', 'E', ' '};
constexpr unsigned char SERIAL_ACCESS_LETTERS = 0x0F;
constexpr char ACCESS_CODE[8] = {'T', 'o', 'P', 'i', 'L', 'u', 'N', 'e'};
constexpr unsigned char ACCESS_LETTERS = 0x08;
constexpr int ACCESS_AT = 6;    // length byte, then the code
constexpr int SETTING_AT = 23;  // the value after code and zero gap
constexpr int TIME_AT = 15;     // year byte, then month, day, hour, minute, second
constexpr int YEAR_OFFSET = 48; // the year byte counts from 1852

constexpr int SERIAL_MAX = 16;
constexpr int VENDOR_MAX = 40;
constexpr int MODEL_MAX = 8;
constexpr int MAC_BYTES = 6;
constexpr int PASSWORD_MAX = 15;

// strnlen bounded one past the limit: a longer text is known to be too long without reading
// further into a buffer that may not be terminated.
int TextLength(const char* text, int max) {
    return static_cast<int>(::strnlen(text, static_cast<size_t>(max) + 1));
}

// The request of an access-coded setting: 8-letter code, zero gap, value blank-padded.
vrn::CVrnRequest AccessCoded(unsigned char code, int total) {
    vrn::CVrnRequest request(code, total);
    request.Set(ACCESS_AT, ACCESS_LETTERS);
    request.SetBytes(ACCESS_AT + 1, ACCESS_CODE, sizeof ACCESS_CODE);
    return request;
}

// Vendor and model: the text blank-padded to its field behind the access code. The caller has
// checked that the text fits.
vrn::CVrnRequest BlankPaddedSetting(unsigned char code, int total, const char* text, int max) {
    vrn::CVrnRequest request = AccessCoded(code, total);
    char field[VENDOR_MAX];
    std::memset(field, ' ', static_cast<size_t>(max));
    std::memcpy(field, text, static_cast<size_t>(TextLength(text, max)));
    request.SetBytes(SETTING_AT, field, max);
    return request;
}

bool LocalNow(void*, struct tm* now) {
    const time_t t = ::time(nullptr);
    return ::localtime_r(&t, now) != nullptr;
}
} // namespace

int CVrnlib::VrnIdentify() {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    vrn::CVrnRequest request(CMD_IDENTIFY, 7);
    unsigned char reply[IDENTIFY_READ_LIMIT];
    int replyLen = 0;
    const int status = VrnExchange(request.Seal(), request.Length(), IDENTIFY_READ_LIMIT,
                                   VRN_REPLY_VALID, nullptr, 0, reply, &replyLen);
    if (status != VRN_OK)
        return status;
    // A bare answer byte, even 'A', is not an identification; a 0 byte returned as it is
    // would pass for one.
    if (replyLen == VRN_MIN_FRAME)
        return reply[5] != 0 ? reply[5] : VRN_NOT_IDENTIFIED;
    // The buffer was zeroed, so a payload shorter than the text compares against zeros.
    return std::memcmp(reply + 5, IDENTIFICATION, IDENTIFICATION_LEN) == 0 ? VRN_OK
                                                                           : VRN_NOT_IDENTIFIED;
}

int CVrnlib::VrnSetSerial(const char* serial) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (serial == nullptr || TextLength(serial, SERIAL_MAX) > SERIAL_MAX)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(CMD_SET_SERIAL, 40);
    request.Set(ACCESS_AT, SERIAL_ACCESS_LETTERS);
    request.SetBytes(ACCESS_AT + 1, SERIAL_ACCESS_CODE, sizeof SERIAL_ACCESS_CODE);
    request.SetBytes(SETTING_AT, serial, TextLength(serial, SERIAL_MAX)); // zero-padded
    return VrnExchange(request.Seal(), request.Length(), SETTING_READ_LIMIT, VRN_REPLY_CONFIRM);
}

int CVrnlib::VrnSetVendor(const char* vendor) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (vendor == nullptr || TextLength(vendor, VENDOR_MAX) > VENDOR_MAX)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request = BlankPaddedSetting(CMD_SET_VENDOR, 64, vendor, VENDOR_MAX);
    return VrnExchange(request.Seal(), request.Length(), SETTING_READ_LIMIT, VRN_REPLY_CONFIRM);
}

int CVrnlib::VrnSetModel(const char* model) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (model == nullptr || TextLength(model, MODEL_MAX) > MODEL_MAX)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request = BlankPaddedSetting(CMD_SET_MODEL, 32, model, MODEL_MAX);
    return VrnExchange(request.Seal(), request.Length(), SETTING_READ_LIMIT, VRN_REPLY_CONFIRM);
}

int CVrnlib::VrnSetMacAddr(const char* mac) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (mac == nullptr)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request = AccessCoded(CMD_SET_MAC, 30);
    request.SetBytes(SETTING_AT, mac, MAC_BYTES);
    return VrnExchange(request.Seal(), request.Length(), SETTING_READ_LIMIT, VRN_REPLY_ANSWER);
}

int CVrnlib::VrnSetTime() {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    struct tm now = {};
    if (!(m_pfnClock != nullptr ? m_pfnClock(m_pClockCtx, &now) : LocalNow(nullptr, &now)))
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request = AccessCoded(CMD_SET_TIME, 22);
    const int fields[6] = {(now.tm_year + YEAR_OFFSET) % 256,
                           now.tm_mon + 1,
                           now.tm_mday,
                           now.tm_hour,
                           now.tm_min,
                           now.tm_sec};
    for (int i = 0; i < 6; ++i)
        request.Set(TIME_AT + i, static_cast<unsigned char>(fields[i] & 0xFF));
    return VrnExchange(request.Seal(), request.Length(), SETTING_READ_LIMIT, VRN_REPLY_CONFIRM);
}

// The one-byte settings and the bare commands: acknowledged, read limit 7.
int CVrnlib::SendNumber(unsigned char code, unsigned char value, int readLimit) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    vrn::CVrnRequest request(code, 8);
    request.Set(6, value);
    return VrnExchange(request.Seal(), request.Length(), readLimit, VRN_REPLY_ACK);
}

int CVrnlib::VrnMuteBeeper() {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    vrn::CVrnRequest request(CMD_MUTE_BEEPER, 7);
    return VrnExchange(request.Seal(), request.Length(), ACK_READ_LIMIT, VRN_REPLY_ACK);
}

int CVrnlib::VrnLogOut() {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    vrn::CVrnRequest request(CMD_LOG_OUT, 7);
    return VrnExchange(request.Seal(), request.Length(), ACK_READ_LIMIT, VRN_REPLY_ACK);
}

int CVrnlib::VrnSetBeeper(unsigned char setting) {
    return SendNumber(CMD_SET_BEEPER, setting, ACK_READ_LIMIT);
}
int CVrnlib::VrnSetHostMode(unsigned char mode) {
    return SendNumber(CMD_SET_HOST_MODE, mode, ACK_READ_LIMIT);
}
int CVrnlib::VrnSetRebuildPriority(unsigned char priority) {
    return SendNumber(CMD_SET_REBUILD_PRIORITY, priority, ACK_READ_LIMIT);
}
int CVrnlib::VrnSetMaxAtaMode(unsigned char mode) {
    return SendNumber(CMD_SET_MAX_ATA_MODE, mode, ACK_READ_LIMIT);
}

int CVrnlib::VrnSetDhcpIp(unsigned char mode, const unsigned char* ip) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (ip == nullptr)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(CMD_SET_DHCP_IP, 12);
    request.Set(6, mode);
    request.SetBytes(7, ip, 4);
    return VrnExchange(request.Seal(), request.Length(), ACK_READ_LIMIT, VRN_REPLY_ACK);
}

int CVrnlib::VrnSetTermPort(unsigned char port, unsigned char speed, unsigned char stopBits) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (port > 1 || speed > 7 || stopBits > 1)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(CMD_SET_TERM_PORT, 13);
    const unsigned char attr[5] = {speed, 0x01, stopBits, 0x00, 0x00};
    request.Set(6, port);
    request.SetBytes(7, attr, sizeof attr);
    const int status = VrnExchange(request.Seal(), request.Length(), ACK_READ_LIMIT, VRN_REPLY_ACK);
    if (status != VRN_OK || m_nInterface != VRN_IF_SERIAL)
        return status;
    // The controller now talks at the new speed, whichever of its ports was changed.
    sCOM_ATTR line = vrn::DEFAULT_LINE;
    line.comBaudRate = speed;
    return vrn::ConfigureLine(m_hComm, line) ? VRN_OK : VRN_OPEN_FAILED;
}

int CVrnlib::VrnSetPassword(const char* password) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (password == nullptr || TextLength(password, PASSWORD_MAX) > PASSWORD_MAX)
        return VRN_BAD_ARGUMENT;
    const int n = TextLength(password, PASSWORD_MAX);
    vrn::CVrnRequest request(CMD_SET_PASSWORD, 23);
    request.Set(6, static_cast<unsigned char>(n));
    request.SetBytes(7, password, n); // zero-padded to 15
    return VrnExchange(request.Seal(), request.Length(), SETTING_READ_LIMIT, VRN_REPLY_PASSWORD);
}

int CVrnlib::VrnChkPassword(const char* password) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (password == nullptr || TextLength(password, PASSWORD_MAX) > PASSWORD_MAX)
        return VRN_BAD_ARGUMENT;
    const int n = TextLength(password, PASSWORD_MAX);
    vrn::CVrnRequest request(CMD_CHECK_PASSWORD, n + 8);
    request.Set(6, static_cast<unsigned char>(n));
    request.SetBytes(7, password, n);
    return VrnExchange(request.Seal(), request.Length(), SETTING_READ_LIMIT, VRN_REPLY_PASSWORD);
}

int CVrnlib::VrnResetController() {
    std::unique_ptr<unsigned char[]> reply(new (std::nothrow) unsigned char[VRN_MAX_REPLY]);
    if (!reply)
        return VRN_NO_BUFFER;
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    vrn::CVrnRequest request(CMD_RESET, 7);
    if (const int status = VrnExchange(request.Seal(), request.Length(), 0, VRN_REPLY_ACK))
        return status;
    VrnSleep(RESET_WAIT_MS);
    std::memset(reply.get(), 0, VRN_MAX_REPLY);
    const int got = ReadResultValue(reply.get(), VRN_MAX_REPLY);
    if (got <= 0)
        return VRN_NO_REPLY;
    // Only a bare answer is checked; whatever else a restarting controller sends counts as
    // its having come back.
    if (got != VRN_MIN_FRAME)
        return VRN_OK;
    if (!VrnCkFrameValid(reply.get(), static_cast<unsigned long>(got)))
        return VRN_BAD_FRAME;
    return vrn::AnswerStatus(reply[5], vrn::MAP_M);
}

void CVrnlib::VrnSetClock(PFN_VRN_CLOCK fn, void* ctx) {
    CVrnExchangeGuard guard(*this);
    m_pfnClock = fn;
    m_pClockCtx = ctx;
}
