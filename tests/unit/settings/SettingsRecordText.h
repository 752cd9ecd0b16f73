#pragma once
// Every field of a settings record on one line each, so two records compare with a readable diff.

#include "FixedText.h"
#include "SettingsRecord.h"

#include <sstream>
#include <string>

inline std::string DescribeRecord(const SettingsRecord& r) {
    std::ostringstream out;
    out << "Language=" << r.Language << "\nLogfile=" << r.Logfile
        << "\nLogfilepath=" << r.Logfilepath << "\nAgentPort=" << r.AgentPort
        << "\nPollInterval=" << r.PollInterval << "\nPollRetries=" << r.PollRetries
        << "\nPollTimeout=" << r.PollTimeout << "\nLoginP=" << r.LoginP
        << "\nEnableNotify=" << r.EnableNotify << "\nNotifyType=" << r.NotifyType
        << "\nLevel=" << r.Level << "\nEnableSysLog=" << r.EnableSysLog
        << "\nAccount=" << FixedText::Get(r.Account) << "\nAuth=" << r.Auth
        << "\nPassword=" << FixedText::Get(r.Password) << "\nServer=" << FixedText::Get(r.Server)
        << "\nSenderName=" << FixedText::Get(r.SenderName)
        << "\nSenderAddr=" << FixedText::Get(r.SenderAddr) << "\nPort=" << r.Port
        << "\nSecurity=" << r.Security << "\nCAFile=" << r.CAFile << "\n";
    return out.str();
}

// A record with every field away from its default.
inline SettingsRecord SampleRecord() {
    SettingsRecord r;
    r.Language = 0;
    r.Logfile = 0;
    r.Logfilepath = "/var/log/quill monitor.log";
    r.AgentPort = 40001;
    r.PollInterval = 10;
    r.PollRetries = 2;
    r.PollTimeout = 7;
    r.LoginP = "0123456789abcdef0123456789abcdef";
    r.EnableNotify = 1;
    r.NotifyType = NOTIFY_BY_MAIL | NOTIFY_BY_MESSAGE | NOTIFY_MAIL_ONLY_NO_ETHERNET;
    r.Level = 2;
    r.EnableSysLog = 1;
    FixedText::Set(r.Account, "alarm");
    r.Auth = 1;
    FixedText::Set(r.Password, "p@ss;w=rd #1");
    FixedText::Set(r.Server, "127.0.0.1");
    FixedText::Set(r.SenderName, "Quill Monitor");
    FixedText::Set(r.SenderAddr, "quill@localhost");
    r.Port = 587;
    r.Security = SMTP_SECURITY_STARTTLS_REQUIRED;
    r.CAFile = "/etc/quill/site ca.pem";
    return r;
}
