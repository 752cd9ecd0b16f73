#include "SettingsStore.h"

#include "Base64Codec.h"
#include "FixedText.h"
#include "IniFile.h"

#include <type_traits>
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

namespace {

// How a field is held in the file.
enum class EForm {
    Int,      // "%d"
    Port,     // "%d" of the signed 16-bit value; read back modulo 65536
    Flag,     // "Y" / "N"
    Text,     // unchanged
    Password, // Base64 of the bytes and their terminating zero
};

// One field of the record: its place in the file and how to reach it. The defaults are the
// record's own initial values.
struct SField {
    const char* section;
    const char* key;
    EForm form;
    std::int32_t (*getInt)(const SettingsRecord&);
    void (*setInt)(SettingsRecord&, std::int32_t);
    std::string (*getText)(const SettingsRecord&);
    void (*setText)(SettingsRecord&, std::string_view);
};

template <auto Member> constexpr SField Number(const char* section, const char* key, EForm form) {
    return {section,
            key,
            form,
            [](const SettingsRecord& r) { return static_cast<std::int32_t>(r.*Member); },
            [](SettingsRecord& r, std::int32_t v) {
                r.*Member = static_cast<std::remove_reference_t<decltype(r.*Member)>>(v);
            },
            nullptr,
            nullptr};
}

template <auto Member> constexpr SField Text(const char* section, const char* key, EForm form) {
    return {
        section,
        key,
        form,
        nullptr,
        nullptr,
        [](const SettingsRecord& r) {
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(r.*Member)>, std::string>) {
                return r.*Member;
            } else {
                return std::string(FixedText::Get(r.*Member));
            }
        },
        [](SettingsRecord& r, std::string_view v) {
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(r.*Member)>, std::string>) {
                r.*Member = std::string(v);
            } else {
                FixedText::Set(r.*Member, v);
            }
        }};
}

// In file order: sections as they are written, keys in each section as they are written.
constexpr SField kFields[] = {
    Number<&SettingsRecord::Language>(General, "Language", EForm::Int),
    Number<&SettingsRecord::Logfile>(General, "Logfile", EForm::Int),
    Text<&SettingsRecord::Logfilepath>(General, "Logfilepath", EForm::Text),
    Number<&SettingsRecord::AgentPort>(Network, "AgentPort", EForm::Port),
    Number<&SettingsRecord::PollInterval>(Network, "PollInterval", EForm::Int),
    Number<&SettingsRecord::PollRetries>(Network, "PollRetries", EForm::Int),
    Number<&SettingsRecord::PollTimeout>(Network, "PollTimeout", EForm::Int),
    Text<&SettingsRecord::LoginP>(Security, "LoginP", EForm::Text),
    Number<&SettingsRecord::EnableNotify>(Event, "EnableNotify", EForm::Flag),
    Number<&SettingsRecord::NotifyType>(Event, "NotifyType", EForm::Int),
    Number<&SettingsRecord::Level>(Event, "Level", EForm::Int),
    Number<&SettingsRecord::EnableSysLog>(Event, "EnableSysLog", EForm::Flag),
    Text<&SettingsRecord::Server>(Smtp, "Server", EForm::Text),
    Number<&SettingsRecord::Auth>(Smtp, "Auth", EForm::Int),
    Text<&SettingsRecord::Account>(Smtp, "Account", EForm::Text),
    Text<&SettingsRecord::Password>(Smtp, "Password", EForm::Password),
    Text<&SettingsRecord::SenderName>(Smtp, "SenderName", EForm::Text),
    Text<&SettingsRecord::SenderAddr>(Smtp, "SenderAddr", EForm::Text),
    Number<&SettingsRecord::Port>(Smtp, "Port", EForm::Int),
    Number<&SettingsRecord::Security>(Smtp, "Security", EForm::Int),
    Text<&SettingsRecord::CAFile>(Smtp, "CAFile", EForm::Text),
};

void LoadField(const SField& f, const CIniFile& ini, const SettingsRecord& defaults,
               SettingsRecord& r) {
    switch (f.form) {
    case EForm::Int:
        f.setInt(r, ini.GetInt(f.section, f.key, f.getInt(defaults)));
        break;
    case EForm::Port:
        // The port is stored as a signed 16-bit number; both forms read back as the same port.
        f.setInt(r, ini.GetInt(f.section, f.key, f.getInt(defaults)) & 0xFFFF);
        break;
    case EForm::Flag:
        f.setInt(r, ini.GetBool(f.section, f.key, f.getInt(defaults) != 0) ? 1 : 0);
        break;
    case EForm::Text:
        f.setText(r, ini.GetString(f.section, f.key, f.getText(defaults)));
        break;
    case EForm::Password:
        f.setText(r, CSettingsStore::DecodePassword(ini.GetString(
                         f.section, f.key, CSettingsStore::EncodePassword(f.getText(defaults)))));
        break;
    }
}

void SaveField(const SField& f, CIniFile& ini, const SettingsRecord& r) {
    switch (f.form) {
    case EForm::Int:
        ini.WriteInt(f.section, f.key, f.getInt(r));
        break;
    case EForm::Port:
        ini.WriteInt(f.section, f.key, static_cast<std::int16_t>(f.getInt(r) & 0xFFFF));
        break;
    case EForm::Flag:
        ini.WriteBool(f.section, f.key, f.getInt(r) != 0);
        break;
    case EForm::Text:
        ini.WriteString(f.section, f.key, f.getText(r));
        break;
    case EForm::Password:
        ini.WriteString(f.section, f.key, CSettingsStore::EncodePassword(f.getText(r)));
        break;
    }
}

} // namespace

bool CSettingsStore::Load() {
    static const SettingsRecord kDefaults;
    SettingsRecord r;
    CIniFile ini(m_path);
    for (const SField& f : kFields) {
        LoadField(f, ini, kDefaults, r);
    }
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

    // Keys of these sections that the program does not know are dropped; other sections stay.
    for (const char* section : {General, Network, Security, Event, Smtp}) {
        ini.DeleteSection(section);
    }
    for (const SField& f : kFields) {
        SaveField(f, ini, r);
    }

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
