// Writes a settings file with CSettingsStore beside a foreign section, reads it back through a
// second store, and prints what that store holds as JSON, for an outside INI reader to compare.
//   settings_ini_writer FILE

#include "FixedText.h"
#include "SettingsRecordText.h"
#include "SettingsStore.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

std::string Json(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned char>(c));
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: settings_ini_writer FILE\n";
        return 2;
    }
    const std::string path = argv[1];
    {
        std::ofstream seed(path, std::ios::trunc);
        seed << "[Window]\r\nLeft=10\r\nTitle=Quill = main\r\n\r\n[General]\r\nObsolete=1\r\n";
    }
    {
        CSettingsStore store(path);
        store.Update([](SettingsRecord& r) { r = SampleRecord(); });
        if (!store.Save()) {
            std::cerr << "save failed\n";
            return 1;
        }
        store.SetSaveOnDestroy(false);
    }
    CSettingsStore reread(path);
    reread.SetSaveOnDestroy(false);
    const SettingsRecord r = reread.Snapshot();
    if (DescribeRecord(r) != DescribeRecord(SampleRecord())) {
        std::cerr << "read back differs:\n" << DescribeRecord(r);
        return 1;
    }
    std::cout << "{\"General\": {\"Language\": " << r.Language << ", \"Logfile\": " << r.Logfile
              << ", \"Logfilepath\": " << Json(r.Logfilepath) << "},\n"
              << " \"Network\": {\"AgentPort\": " << r.AgentPort
              << ", \"PollInterval\": " << r.PollInterval << ", \"PollRetries\": " << r.PollRetries
              << ", \"PollTimeout\": " << r.PollTimeout << "},\n"
              << " \"Security\": {\"LoginP\": " << Json(r.LoginP) << "},\n"
              << " \"EVENT\": {\"EnableNotify\": " << r.EnableNotify
              << ", \"NotifyType\": " << r.NotifyType << ", \"Level\": " << r.Level
              << ", \"EnableSysLog\": " << r.EnableSysLog << "},\n"
              << " \"SMTP\": {\"Server\": " << Json(FixedText::Get(r.Server))
              << ", \"Auth\": " << r.Auth << ", \"Account\": " << Json(FixedText::Get(r.Account))
              << ", \"Password\": " << Json(FixedText::Get(r.Password))
              << ", \"SenderName\": " << Json(FixedText::Get(r.SenderName))
              << ", \"SenderAddr\": " << Json(FixedText::Get(r.SenderAddr))
              << ", \"Port\": " << r.Port << ", \"Security\": " << r.Security
              << ", \"CAFile\": " << Json(r.CAFile) << "}}\n";
    return 0;
}
