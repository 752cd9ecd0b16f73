// The frame exchange every operation shares: drop stale input, write the request, read one
// reply, check it, and turn it into a status by the operation's reply pattern.
#include <chrono>
#include <cstring>
#include <thread>

#include "VrnFrame.h"
#include "VrnTransport.h"

const CVrnTransport* VrnTransportFor(int nInterface) {
    if (nInterface == VRN_IF_SERIAL)
        return &VrnSerialTransport();
    if (nInterface == VRN_IF_UDP)
        return &VrnUdpTransport();
    return nullptr;
}

unsigned char CVrnlib::CalCheckSum(const unsigned char* frame, int len) {
    return vrn::FrameChecksum(frame, len);
}

char CVrnlib::VrnCkFrameValid(const unsigned char* frame, unsigned long len) {
    return vrn::FrameIsValid(frame, len);
}

int CVrnlib::WriteCommand(const unsigned char* frame, int len) {
    const CVrnTransport* transport = VrnTransportFor(m_nInterface);
    if (transport == nullptr || frame == nullptr || len <= 0)
        return 0;
    CVrnExchangeGuard guard(*this);
    // The protocol cannot pair a reply with its request, so a reply that came in after an
    // earlier read gave up would be taken for this request's answer: drop it first.
    transport->DropStale(*this);
    return transport->Write(*this, frame, len);
}

int CVrnlib::ReadResultValue(unsigned char* buf, int cap) {
    const CVrnTransport* transport = VrnTransportFor(m_nInterface);
    if (transport == nullptr || buf == nullptr || cap <= 0)
        return 0;
    CVrnExchangeGuard guard(*this);
    return transport->Read(*this, buf, cap);
}

int CVrnlib::WaitForReply(int fd, long sec, long usec) {
    return vrn::WaitReadable(fd, sec, usec);
}

void CVrnlib::VrnSleep(int ms) {
    if (m_pfnSleep != nullptr) {
        m_pfnSleep(m_pSleepCtx, ms);
        return;
    }
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int CVrnlib::VrnExchange(const unsigned char* request, int requestLen, int readLimit,
                         EVrnReply pattern, void* record, int recordSize, unsigned char* reply,
                         int* replyLen) {
    if (replyLen != nullptr)
        *replyLen = 0;
    if (request == nullptr || requestLen <= 0 || readLimit < 0 || readLimit > VRN_MAX_REPLY)
        return VRN_BAD_ARGUMENT;
    CVrnExchangeGuard guard(*this);
    if (WriteCommand(request, requestLen) == 0)
        return VRN_WRITE_FAILED;
    if (readLimit == 0)
        return VRN_OK;

    unsigned char local[VRN_MAX_REPLY];
    unsigned char* buf = reply != nullptr ? reply : local;
    std::memset(buf, 0, static_cast<size_t>(readLimit));
    const int got = ReadResultValue(buf, readLimit);
    if (got <= 0)
        return VRN_NO_REPLY;
    if (replyLen != nullptr)
        *replyLen = got;
    // A valid frame with an empty payload has no answer byte: offset 5 would be its
    // checksum (0), which must not pass for success.
    if (!VrnCkFrameValid(buf, static_cast<unsigned long>(got)) || got < VRN_MIN_FRAME)
        return VRN_BAD_FRAME;

    const unsigned char answer = buf[5];
    // A refusal byte of 0 would come out as status 0, success, with the caller's record
    // never filled: such a reply is taken as the one byte of data it may well be.
    const bool refusal = got == VRN_MIN_FRAME && answer != 'A' && answer != 0;
    switch (pattern) {
    case VRN_REPLY_QUERY:
        if (refusal)
            return vrn::AnswerStatus(answer, vrn::MAP_M);
        if (record != nullptr && recordSize > 0) {
            // A reply shorter than the record leaves its checksum and the buffer's zeros in
            // the tail; the copy never reaches past the reply buffer.
            const int n = recordSize < readLimit - 5 ? recordSize : readLimit - 5;
            std::memcpy(record, buf + 5, static_cast<size_t>(n));
        }
        return VRN_OK;
    case VRN_REPLY_ACK:
        return vrn::AnswerStatus(answer, vrn::MAP_M);
    case VRN_REPLY_PASSWORD:
        return vrn::AnswerStatus(answer, vrn::MAP_J);
    case VRN_REPLY_ANSWER:
        return vrn::AnswerStatus(answer, vrn::MAP_NONE);
    case VRN_REPLY_RAW:
        return refusal ? answer : VRN_OK;
    case VRN_REPLY_VALID:
        return VRN_OK;
    case VRN_REPLY_CONFIRM:
        return got == VRN_MIN_FRAME ? vrn::AnswerStatus(answer, vrn::MAP_NONE) : VRN_OK;
    }
    return VRN_BAD_ARGUMENT;
}

int CVrnlib::WriteMediaDirect(const unsigned char* frame, int len) {
    if (frame == nullptr || len <= 0)
        return 0;
    return WriteCommand(frame, len);
}

int CVrnlib::ReadMediaDirect(unsigned char* buf, int cap) {
    if (buf == nullptr || cap <= 0)
        return 0;
    const int got = ReadResultValue(buf, cap);
    // A reply that fills the whole buffer may have been cut: it counts as none.
    return got > 0 && got < cap ? got : 0;
}
