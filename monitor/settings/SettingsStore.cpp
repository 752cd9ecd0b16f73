#include "SettingsStore.h"

#include "Base64Codec.h"
#include "FixedText.h"
#include "IniFile.h"

#include <unistd.h>
#include <utility>
#include <vector>

using namespace SettingsKeys;

std::string SettingsPathForProgram(std::string_view programPath) {
    if (programPath.empty()) {
        return {};
    }
    std::string path(programPath);
    constexpr std::string_view kExe = ".exe";
    if (path.size() > kExe.size() &&
        path.compare(path.size() - kExe.size(), kExe.size(), kExe) == 0) {
        path.resize(path.size() - kExe.size());
    }
    return path + ".ini";
}

std::string DefaultSettingsPath() {
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) {
        return {};
    }
    return SettingsPathForProgram(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
}

CSettingsStore::CSettingsStore() : CSettingsStore(DefaultSettingsPath()) {}

CSettingsStore::CSettingsStore(std::string path) : m_path(std::move(path)) {
    Load();
}

CSettingsStore::~CSettingsStore() {
    if (m_saveOnDestroy) {
        (void)Save();
    }
}

std::string CSettingsStore::EncodePassword(std::string_view password) {
    if (password.empty()) {
        return {};
    }
    // The stored form carries the terminating zero byte as well.
    std::string bytes(password);
    bytes.push_back('\0');
    CBase64Codec codec;
    return codec.Encode(bytes);
}

std::string CSettingsStore::DecodePassword(std::string_view text) {
    CBase64Codec codec;
    std::string bytes = codec.Decode(text);
    const std::size_t zero = bytes.find('\0');
    if (zero != std::string::npos) {
        bytes.resize(zero);
    }
    return bytes;
}

bool CSettingsStore::Load() {
    SettingsRecord r;
    CIniFile ini(m_path);

    r.Language = ini.GetInt(General, "Language", 1);
    r.Logfile = ini.GetInt(General, "Logfile", 1);
    r.Logfilepath = ini.GetString(General, "Logfilepath", "Log.log");

    // The port is stored as a signed 16-bit number; both forms read back as the same port.
    r.AgentPort = static_cast<std::uint16_t>(ini.GetInt(Network, "AgentPort", 7890) & 0xFFFF);
    r.PollInterval = ini.GetInt(Network, "PollInterval", 5);
    r.PollRetries = ini.GetInt(Network, "PollRetries", 1);
    r.PollTimeout = ini.GetInt(Network, "PollTimeout", 5);

    r.LoginP = ini.GetString(Security, "LoginP", "");

    r.EnableNotify = ini.GetBool(Event, "EnableNotify", false) ? 1 : 0;
    r.NotifyType = ini.GetInt(Event, "NotifyType", 0);
    r.Level = ini.GetInt(Event, "Level", 3);
    r.EnableSysLog = ini.GetBool(Event, "EnableSysLog", false) ? 1 : 0;

    FixedText::Set(r.Server, ini.GetString(Smtp, "Server", ""));
    r.Auth = ini.GetInt(Smtp, "Auth", 0);
    FixedText::Set(r.Account, ini.GetString(Smtp, "Account", ""));
    FixedText::Set(r.Password, DecodePassword(ini.GetString(Smtp, "Password", "")));
    FixedText::Set(r.SenderName, ini.GetString(Smtp, "SenderName", ""));
    FixedText::Set(r.SenderAddr, ini.GetString(Smtp, "SenderAddr", ""));

    std::lock_guard<std::mutex> lock(m_mutex);
    m_record = std::move(r);
    return ini.FileRead();
}

bool CSettingsStore::Save() {
    if (m_path.empty()) {
        return false;
    }
    const SettingsRecord r = Snapshot();
    std::lock_guard<std::mutex> lock(m_saveMutex);
    CIniFile ini(m_path);
    ini.SetBeforeRenameHook(m_hook);

    for (const char* section : {General, Network, Event, Smtp, Security}) {
        ini.DeleteSection(section);
    }

    ini.WriteInt(General, "Language", r.Language);
    ini.WriteInt(General, "Logfile", r.Logfile);
    ini.WriteString(General, "Logfilepath", r.Logfilepath);

    ini.WriteInt(Network, "AgentPort", static_cast<std::int16_t>(r.AgentPort));
    ini.WriteInt(Network, "PollInterval", r.PollInterval);
    ini.WriteInt(Network, "PollRetries", r.PollRetries);
    ini.WriteInt(Network, "PollTimeout", r.PollTimeout);

    ini.WriteString(Security, "LoginP", r.LoginP);

    ini.WriteBool(Event, "EnableNotify", r.EnableNotify != 0);
    ini.WriteInt(Event, "NotifyType", r.NotifyType);
    ini.WriteInt(Event, "Level", r.Level);
    ini.WriteBool(Event, "EnableSysLog", r.EnableSysLog != 0);

    ini.WriteString(Smtp, "Server", FixedText::Get(r.Server));
    ini.WriteInt(Smtp, "Auth", r.Auth);
    ini.WriteString(Smtp, "Account", FixedText::Get(r.Account));
    ini.WriteString(Smtp, "Password", EncodePassword(FixedText::Get(r.Password)));
    ini.WriteString(Smtp, "SenderName", FixedText::Get(r.SenderName));
    ini.WriteString(Smtp, "SenderAddr", FixedText::Get(r.SenderAddr));

    const bool ok = ini.Flush();
    if (!ok) {
        ini.Discard(); // the caller hears of the failure; no second attempt behind its back
    }
    return ok;
}

SettingsRecord CSettingsStore::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_record;
}

void CSettingsStore::Update(const std::function<void(SettingsRecord&)>& change) {
    std::lock_guard<std::mutex> lock(m_mutex);
    change(m_record);
}

void CSettingsStore::SetBeforeRenameHook(BeforeRenameHook hook) {
    std::lock_guard<std::mutex> lock(m_saveMutex);
    m_hook = std::move(hook);
}
