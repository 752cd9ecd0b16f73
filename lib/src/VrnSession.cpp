// Session life: construction, the ways to open a transport, and destruction.
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/socket.h>
#include <unistd.h>

#include "VrnTransport.h"

CVrnlib::CVrnlib()
    : m_nInterface(VRN_IF_SERIAL), m_hComm(-1), m_socket(-1), agentaddr(), m_iPreIndex(0),
      m_iCurrentIndex(0), m_iNewCount(0),
      m_pEventPage(new (std::nothrow) unsigned char[EVENT_PAGE_SIZE]()),
      m_pEventMapping(new (std::nothrow) unsigned char[EVENT_MAPPING_SIZE]()), m_nTimeout(5) {}

CVrnlib::~CVrnlib() {
    CloseOwnedComm();
    if (m_socket != -1)
        ::close(m_socket);
    m_socket = -1;
    delete[] m_pEventPage;
    delete[] m_pEventMapping;
    m_pEventPage = nullptr;
    m_pEventMapping = nullptr;
}

void CVrnlib::CloseOwnedComm() {
    if (m_hComm != -1 && m_bOwnComm)
        ::close(m_hComm);
    m_hComm = -1;
    m_bOwnComm = false;
}

// Builds "/dev/" + name in the 15-byte path buffer. A name that does not fit is refused
// before anything is touched, so the path is never cut to a different device's name.
static bool BuildDevicePath(const char* name, char (&path)[VRN_DEVICE_PATH_SIZE]) {
    const size_t room = VRN_DEVICE_PATH_SIZE - sizeof("/dev/"); // 9 characters
    if (name == nullptr || name[0] == '\0' || std::strlen(name) > room)
        return false;
    std::snprintf(path, sizeof path, "/dev/%s", name);
    return true;
}

int CVrnlib::OpenSerial(const char* name, const sCOM_ATTR& attr) {
    char path[VRN_DEVICE_PATH_SIZE];
    if (!BuildDevicePath(name, path))
        return VRN_BAD_ARGUMENT;
    std::memcpy(m_szDevicePath, path, sizeof path);
    // The earlier port of this session would otherwise leak: nothing refers to it any more.
    CloseOwnedComm();
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1)
        return VRN_OPEN_FAILED;
    // Opened non-blocking so that a port without carrier cannot hang the open; the reads
    // themselves never wait (VMIN = VTIME = 0), so blocking mode is fine from here on.
    // Close-on-exec stays set, so that the port never leaks into a child program.
    ::fcntl(fd, F_SETFL, 0);
    // A descriptor that is no terminal, or refuses the settings, is no usable serial line.
    if (!vrn::ConfigureLine(fd, attr)) {
        ::close(fd);
        return VRN_OPEN_FAILED;
    }
    m_hComm = fd;
    m_bOwnComm = true;
    return VRN_OK;
}

char CVrnlib::SerialInit(const char* name) {
    CVrnExchangeGuard guard(*this);
    return OpenSerial(name, vrn::DEFAULT_LINE) == VRN_OK;
}

int CVrnlib::VrnInitSession(unsigned char port) {
    // Port 1 is ttyS0; the character is taken as it comes, so port 0 names "ttyS/",
    // which no device has.
    char name[6] = {'t', 't', 'y', 'S', static_cast<char>('0' + port - 1), '\0'};
    CVrnExchangeGuard guard(*this);
    if (!SerialInit(name))
        return VRN_OPEN_FAILED;
    SerialEndInit();
    return VRN_OK;
}

int CVrnlib::VrnInitSession(const char* name) {
    CVrnExchangeGuard guard(*this);
    const int status = OpenSerial(name, vrn::DEFAULT_LINE);
    if (status != VRN_OK)
        return status;
    SerialEndInit();
    return VRN_OK;
}

int CVrnlib::VrnInitSession(const char* name, sCOM_ATTR* attr) {
    if (attr == nullptr || !vrn::LineAttrValid(*attr))
        return VRN_BAD_ARGUMENT;
    CVrnExchangeGuard guard(*this);
    const int status = OpenSerial(name, *attr);
    if (status != VRN_OK)
        return status;
    SerialEndInit();
    return VRN_OK;
}

int CVrnlib::VrnInitSession(sCOM_ATTR* attr) {
    if (attr == nullptr || !vrn::LineAttrValid(*attr))
        return VRN_BAD_ARGUMENT;
    CVrnExchangeGuard guard(*this);
    if (m_hComm == -1)
        return VRN_NO_PORT;
    if (!vrn::ConfigureLine(m_hComm, *attr))
        return VRN_OPEN_FAILED;
    SerialEndInit();
    return VRN_OK;
}

int CVrnlib::VrnInitSession(int fd) {
    if (fd < 0)
        return VRN_NO_PORT;
    CVrnExchangeGuard guard(*this);
    if (fd != m_hComm)
        CloseOwnedComm();
    // The descriptor stays the caller's: the session neither configures nor closes it.
    m_bOwnComm = false;
    m_hComm = fd;
    SerialEndInit();
    return VRN_OK;
}

char CVrnlib::SocketInit(const char* addr, int port) {
    in_addr converted = {};
    if (addr == nullptr || ::inet_pton(AF_INET, addr, &converted) != 1)
        return false;
    CVrnExchangeGuard guard(*this);
    // Same agent again: keep the socket and the port it already talks to.
    if (m_socket != -1 && converted.s_addr == agentaddr.sin_addr.s_addr)
        return true;
    agentaddr = sockaddr_in{};
    agentaddr.sin_family = AF_INET;
    agentaddr.sin_addr = converted;
    agentaddr.sin_port = htons(static_cast<unsigned short>(port));
    // The socket of the earlier agent would otherwise leak.
    if (m_socket != -1)
        ::close(m_socket);
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket == -1)
        return false;
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(m_socket);
        m_socket = -1;
        return false;
    }
    return true;
}

int CVrnlib::VrnInitSession(const char* addr, int port) {
    in_addr converted = {};
    // An address that does not parse, or a port no agent can listen on, is refused
    // up front instead of surfacing later as requests sent to nowhere.
    if (addr == nullptr || ::inet_pton(AF_INET, addr, &converted) != 1 || port <= 0 || port > 65535)
        return VRN_BAD_ARGUMENT;
    CVrnExchangeGuard guard(*this);
    if (!SocketInit(addr, port))
        return VRN_BIND_FAILED;
    SocketEndInit();
    return VRN_OK;
}

char CVrnlib::IsValidHandle() {
    if (m_nInterface == VRN_IF_SERIAL)
        return m_hComm != -1;
    if (m_nInterface == VRN_IF_UDP)
        return m_socket != -1;
    return false;
}

int CVrnlib::VrnCheckHandle() {
    if (IsValidHandle())
        return VRN_OK;
    return m_nInterface == VRN_IF_UDP ? VRN_NO_SOCKET : VRN_NO_PORT;
}

void CVrnlib::VrnSetTimeOut(unsigned int seconds) {
    // Under the lock: a read of another thread may be using the value right now.
    CVrnExchangeGuard guard(*this);
    m_nTimeout = seconds;
}

void CVrnlib::VrnSetSleeper(PFN_VRN_SLEEP fn, void* ctx) {
    CVrnExchangeGuard guard(*this);
    m_pfnSleep = fn;
    m_pSleepCtx = ctx;
}

int CVrnlib::VrnGetCommHandle() {
    return m_hComm;
}
int CVrnlib::VrnGetSocket() {
    return m_socket;
}
sockaddr_in* CVrnlib::VrnGetAgentAddr() {
    return &agentaddr;
}
int CVrnlib::VrnGetLibVersion() {
    return VRN_LIB_VERSION;
}
void CVrnlib::VrnLockExchange() {
    m_ExchangeLock.lock();
}
void CVrnlib::VrnUnlockExchange() {
    m_ExchangeLock.unlock();
}
