#include "IniFile.h"

#include <cstdint>
#include <limits>
#include <utility>

CIniFile::CIniFile(std::string path) : m_path(std::move(path)) {
    if (m_path.empty()) {
        return;
    }
    std::string content;
    switch (ReadWholeFile(m_path, content, kMaxFileSize)) {
    case EReadResult::Ok:
        m_doc.Parse(content);
        m_fileRead = true;
        break;
    case EReadResult::Missing:
        break;
    case EReadResult::Failed:
        m_readFailed = true;
        break;
    }
}

CIniFile::~CIniFile() {
    (void)Flush();
}

std::string CIniFile::GetString(std::string_view section, std::string_view key,
                                std::string_view def) const {
    if (m_path.empty()) {
        return {};
    }
    const std::string* value = m_doc.Find(section, key);
    if (value == nullptr || value->empty()) {
        std::string out(def);
        if (out.size() > kValueBufferSize - 1) {
            out.resize(kValueBufferSize - 1);
        }
        return out;
    }
    return value->substr(0, kValueBufferSize - 1);
}

std::int32_t CIniFile::ParseDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so the most negative value fits.
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t acc = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (acc > -(kMax + 2)) {
            acc = acc * 10 - (text[i] - '0');
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(acc < kMin ? kMin : acc);
    }
    return static_cast<std::int32_t>(-acc > kMax ? kMax : -acc);
}

std::int32_t CIniFile::GetInt(std::string_view section, std::string_view key,
                              std::int32_t def) const {
    return ParseDecimal(GetString(section, key, std::to_string(def)));
}

bool CIniFile::GetBool(std::string_view section, std::string_view key, bool def) const {
    if (m_path.empty()) {
        return def;
    }
    const std::string value = GetString(section, key, "");
    if (value.empty()) {
        return def;
    }
    const char c = value.front();
    return c == '1' || c == 'O' || c == 'o' || c == 'Y' || c == 'y';
}

bool CIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (m_path.empty() || !m_doc.Set(section, key, value)) {
        return false;
    }
    m_dirty = true;
    return true;
}

bool CIniFile::WriteInt(std::string_view section, std::string_view key, std::int32_t value) {
    return WriteString(section, key, std::to_string(value));
}

bool CIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    return WriteString(section, key, value ? "Y" : "N");
}

bool CIniFile::DeleteSection(std::string_view section) {
    if (m_path.empty()) {
        return false;
    }
    if (m_doc.DeleteSection(section)) {
        m_dirty = true;
    }
    return true;
}

bool CIniFile::Flush() {
    if (!m_dirty) {
        return true;
    }
    if (m_path.empty() || m_readFailed) {
        return false;
    }
    if (!WriteFileAtomically(m_path, m_doc.Serialize(), m_hook)) {
        return false;
    }
    m_dirty = false;
    return true;
}
