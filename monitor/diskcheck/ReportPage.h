#pragma once
// The HTML report of a run: "testresult.html", written whole when the run starts, and one
// page per agent ("<address>.html"), written piece by piece by the agent's worker so that it
// can be read while the tests go on. Line ends are CR LF and indents tabs, as the pages have
// always been; the character set is Big5.

#include "StringTable.h"

#include "Vrnlib.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

inline constexpr const char* INDEX_PAGE_NAME = "testresult.html";

// "%s.html" of the agent's dotted address.
std::string AgentPageName(const std::string& ip);

class CReportPage {
public:
    CReportPage() = default;
    ~CReportPage() { Close(); }
    CReportPage(const CReportPage&) = delete;
    CReportPage& operator=(const CReportPage&) = delete;

    // Creates or empties the file. A page that cannot be created is not reported: its
    // writes go nowhere and the tests run on.
    bool Open(const std::filesystem::path& path);
    bool IsOpen() const { return m_file != nullptr; }
    // Appends the text as it is, without flushing.
    void RawWrite(const std::string& text);
    // One paragraph, flushed at once so the page shows it while the test goes on.
    void WriteReportParagraph(const std::string& text);
    // Flushes and closes (also on destruction).
    void Close();

private:
    std::FILE* m_file = nullptr;
};

// The index page: header, one link row per agent in plan order, end. False when the file
// cannot be created.
bool WriteIndexPage(const std::filesystem::path& dir, const std::vector<std::string>& ips,
                    ELanguage lang);

// The agent page's head and its table of address, serial number, vendor and the time the
// worker started.
void WriteAgentHeader(CReportPage& page, const std::string& ip, const sSYSTEM_INFO& info,
                      const std::tm& started, ELanguage lang);

// A test section's yellow title table; the three test sections put it inside a paragraph,
// the creation section writes it as it is.
void WriteSectionTable(CReportPage& page, const std::string& title, bool asParagraph);

// The drive-information paragraph of a free drive on `channel`.
void WriteDriveInformation(CReportPage& page, int channel, const sGUI_PHY_DRV& drive,
                           ELanguage lang);

// "</body></html>", then flush and close.
void WritePageEnd(CReportPage& page);
