#pragma once
// An INI file held in memory line by line, with the lookup rules the settings rely on:
// section and key names match without regard to ASCII letter case, the first match wins,
// a value runs from after the first "=" to the end of its line. Every line that is not ours
// (comments, foreign sections, lines without "=", even binary junk) is kept as it was, so
// writing the document back loses nothing but what was deliberately changed.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class CIniDocument {
public:
    // Replaces the content with the lines of `text`. LF and CR LF both end a line; CRs at the
    // end of a line are dropped.
    void Parse(std::string_view text);

    // All lines, each ended with LF.
    std::string Serialize() const;

    // The value of the first key `key` in the first section `section`; nullptr when missing.
    // Blanks around the value are not part of it; a zero byte ends it.
    const std::string* Find(std::string_view section, std::string_view key) const;

    // Sets the first matching key of the first matching section, appends the key at the end of
    // that section, or appends the section at the end of the document. The value is cut at the
    // first CR, LF or zero byte so it can never start a line of its own. Returns false (and
    // changes nothing) for a name that could not be read back as the same section or key.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // Removes every section of that name with all its lines. Returns whether any was found.
    bool DeleteSection(std::string_view section);

    // Section names in file order, duplicates included.
    std::vector<std::string> SectionNames() const;

    static bool IsValidSectionName(std::string_view name);
    static bool IsValidKeyName(std::string_view name);
    static bool NamesEqual(std::string_view a, std::string_view b);

private:
    enum class EKind { Other, Section, Key };
    struct SLine {
        EKind kind = EKind::Other;
        std::string text;  // the line as it stands in the file, without its line end
        std::string name;  // section or key name, blanks trimmed
        std::string value; // key value, blanks trimmed
    };

    static SLine ParseLine(std::string_view raw);
    static SLine MakeKeyLine(std::string_view key, std::string_view value);

    // Index of the header of the first section named `section`, or npos.
    std::size_t FindSection(std::string_view section) const;
    // One past the last line of the section whose header is at `header`.
    std::size_t SectionEnd(std::size_t header) const;

    std::vector<SLine> m_lines;
};
