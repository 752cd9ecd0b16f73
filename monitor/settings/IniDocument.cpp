#include "IniDocument.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool HasLineBreakOrZero(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

constexpr std::size_t npos = static_cast<std::size_t>(-1);

} // namespace

bool CIniDocument::NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool CIniDocument::IsValidSectionName(std::string_view name) {
    return !name.empty() && Trim(name).size() == name.size() && !HasLineBreakOrZero(name) &&
           name.find(']') == std::string_view::npos;
}

bool CIniDocument::IsValidKeyName(std::string_view name) {
    if (name.empty() || Trim(name).size() != name.size() || HasLineBreakOrZero(name)) {
        return false;
    }
    if (name.find('=') != std::string_view::npos) {
        return false;
    }
    // These would read back as a section header or a comment.
    return name.front() != '[' && name.front() != ';' && name.front() != '#';
}

CIniDocument::SLine CIniDocument::ParseLine(std::string_view raw) {
    SLine line;
    line.text = std::string(raw);
    const std::string_view body = Trim(raw);
    if (body.empty() || body.front() == ';' || body.front() == '#') {
        return line;
    }
    if (body.front() == '[') {
        const std::size_t close = body.find(']');
        if (close != std::string_view::npos) {
            line.kind = EKind::Section;
            line.name = std::string(Trim(body.substr(1, close - 1)));
        }
        return line;
    }
    const std::size_t eq = body.find('=');
    if (eq == std::string_view::npos) {
        return line;
    }
    const std::string_view key = Trim(body.substr(0, eq));
    if (key.empty()) {
        return line;
    }
    std::string_view value = body.substr(eq + 1);
    const std::size_t nul = value.find('\0');
    if (nul != std::string_view::npos) {
        value = value.substr(0, nul);
    }
    line.kind = EKind::Key;
    line.name = std::string(key);
    line.value = std::string(Trim(value));
    return line;
}

CIniDocument::SLine CIniDocument::MakeKeyLine(std::string_view key, std::string_view value) {
    std::string text;
    text.reserve(key.size() + 1 + value.size());
    text.append(key).append("=").append(value);
    return ParseLine(text);
}

void CIniDocument::Parse(std::string_view text) {
    m_lines.clear();
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view raw = text.substr(0, lf);
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
        // Every CR before the LF goes: a line kept with a CR at its end would come back one CR
        // shorter after the next save, so the file would change on every save.
        while (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        m_lines.push_back(ParseLine(raw));
    }
}

std::string CIniDocument::Serialize() const {
    std::string out;
    std::size_t total = 0;
    for (const SLine& line : m_lines) {
        total += line.text.size() + 1;
    }
    out.reserve(total);
    for (const SLine& line : m_lines) {
        out.append(line.text).push_back('\n');
    }
    return out;
}

std::size_t CIniDocument::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == EKind::Section && NamesEqual(m_lines[i].name, section)) {
            return i;
        }
    }
    return npos;
}

std::size_t CIniDocument::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < m_lines.size() && m_lines[i].kind != EKind::Section) {
        ++i;
    }
    return i;
}

const std::string* CIniDocument::Find(std::string_view section, std::string_view key) const {
    const std::size_t header = FindSection(section);
    if (header == npos) {
        return nullptr;
    }
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == EKind::Key && NamesEqual(m_lines[i].name, key)) {
            return &m_lines[i].value;
        }
    }
    return nullptr;
}

bool CIniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!IsValidSectionName(section) || !IsValidKeyName(key)) {
        return false;
    }
    const std::size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
    if (cut != std::string_view::npos) {
        value = value.substr(0, cut);
    }

    std::size_t header = FindSection(section);
    if (header == npos) {
        if (!m_lines.empty() && !Trim(m_lines.back().text).empty()) {
            m_lines.push_back(SLine{}); // a blank line keeps sections apart for the eye
        }
        m_lines.push_back(ParseLine("[" + std::string(section) + "]"));
        m_lines.push_back(MakeKeyLine(key, value));
        return true;
    }
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == EKind::Key && NamesEqual(m_lines[i].name, key)) {
            // Keep the spelling the file already uses for the key.
            m_lines[i] = MakeKeyLine(m_lines[i].name, value);
            return true;
        }
    }
    // After the section's last non-blank line, so blank lines before the next section stay.
    std::size_t at = end;
    while (at > header + 1 && Trim(m_lines[at - 1].text).empty()) {
        --at;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), MakeKeyLine(key, value));
    return true;
}

bool CIniDocument::DeleteSection(std::string_view section) {
    bool found = false;
    for (std::size_t header = FindSection(section); header != npos; header = FindSection(section)) {
        const std::size_t end = SectionEnd(header);
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(header),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(end));
        found = true;
    }
    return found;
}

std::vector<std::string> CIniDocument::SectionNames() const {
    std::vector<std::string> names;
    for (const SLine& line : m_lines) {
        if (line.kind == EKind::Section) {
            names.push_back(line.name);
        }
    }
    return names;
}
