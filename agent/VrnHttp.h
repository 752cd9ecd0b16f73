// vrnhttp: the agent on the host cabled to a controller. One serial session, offered twice:
// an HTTP proxy to the controller's own web pages, and a UDP relay of command frames for the
// monitoring stations.
#pragma once

#include <netinet/in.h>

#include "Vrnlib.h"

// Handed to the HTTP handler for one accepted connection.
struct _ClientInfo {
    CVrnlib* al;      // the agent's one session
    int socket;       // the accepted connection
    sockaddr_in addr; // the browser's address
};

// Handed to the relay thread.
struct _MonInfo {
    CVrnlib* al;  // the agent's one session
    int nTcpPort; // the HTTP proxy's port, reported for the port query
};

// One port query being answered.
struct _SrvTcpInfo {
    int SrvSocket;           // the relay socket
    sockaddr_in* ClientAddr; // the station that asked
    int nTcpPort;
};

int MainProc(int argc, char** argv);
void ShowUsage();
void DebugPrint(const char* fmtstr, ...) __attribute__((format(printf, 1, 2)));
void* ClientProc(void* pData);
void* MonProc(void* pData);
void SendTcpPortBack(void* pData);
void SendComAttrBack();
