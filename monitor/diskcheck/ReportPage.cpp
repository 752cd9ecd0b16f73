#include "ReportPage.h"

#include "ReportText.h"

namespace {

constexpr const char* kAgentPageHead =
    "<html>\r\n"
    "\t\t\t<head>\r\n"
    "\t\t\t<meta http-equiv=\"Content-Language\" content=\"zh-tw\">\r\n"
    "\t\t\t<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">\r\n"
    "\t\t\t<title></title>\r\n"
    "\t\t\t</head>\r\n"
    "\t\t\t<body>\r\n"
    // Formatted like the rest, so the width reads 60%c: the pages have always said so.
    "\t\t\t<table border=\"1\" width=\"60%%c\" id=\"table1\">\r\n";

constexpr const char* kIndexRow = "<tr>\r\n"
                                  "\t\t\t\t\t<td><a href=\"%s\">%s</a></td>\r\n"
                                  "\t\t\t\t\t</tr>\r\n";

constexpr const char* kIndexEnd = "</table>\r\n</body>\r\n</html>\r\n";

constexpr const char* kTableEnd = "</table>\r\n";

constexpr const char* kSectionTable = "<table border=\"1\" width=\"55%%\" id=\"table1\">\r\n"
                                      "\t\t\t\t<tr>\r\n"
                                      "\t\t\t\t<td bgcolor=\"#FFFF00\"><font "
                                      "color=\"#800000\">%s</font></td>\r\n"
                                      "\t\t\t\t</tr>\r\n"
                                      "\t\t\t\t</table>\r\n";

constexpr const char* kParagraph =
    "<p><font face=\"Arial\" color=\"#0000FF\" size=\"3\">%s</font></p>\r\n";

constexpr const char* kPageEnd = "</body>\r\n</html>\r\n";

} // namespace

std::string AgentPageName(const std::string& ip) {
    return ip + ".html";
}

bool CReportPage::Open(const std::filesystem::path& path) {
    Close();
    m_file = std::fopen(path.c_str(), "w+");
    return m_file != nullptr;
}

void CReportPage::RawWrite(const std::string& text) {
    if (m_file)
        std::fwrite(text.data(), 1, text.size(), m_file);
}

void CReportPage::WriteReportParagraph(const std::string& text) {
    if (!m_file)
        return;
    RawWrite(FormatText(kParagraph, text.c_str()));
    std::fflush(m_file);
}

void CReportPage::Close() {
    if (m_file) {
        std::fflush(m_file);
        std::fclose(m_file);
        m_file = nullptr;
    }
}

bool WriteIndexPage(const std::filesystem::path& dir, const std::vector<std::string>& ips,
                    ELanguage lang) {
    CReportPage index;
    if (!index.Open(dir / INDEX_PAGE_NAME))
        return false;
    index.RawWrite(FormatText(PageText(IDS_RPT_INDEX_HEADER, lang).c_str()));
    for (const std::string& ip : ips)
        index.RawWrite(FormatText(kIndexRow, AgentPageName(ip).c_str(), ip.c_str()));
    index.RawWrite(kIndexEnd);
    index.Close();
    return true;
}

void WriteAgentHeader(CReportPage& page, const std::string& ip, const sSYSTEM_INFO& info,
                      const std::tm& t, ELanguage lang) {
    page.RawWrite(FormatText(kAgentPageHead));
    page.RawWrite(FormatText(PageText(IDS_RPT_AGENT_ROW_IP, lang).c_str(), ip.c_str()));
    const std::string serial =
        EscapeHtml(FieldText(info.gsiSerialNumber, sizeof info.gsiSerialNumber));
    page.RawWrite(FormatText(PageText(IDS_RPT_AGENT_ROW_SERIAL, lang).c_str(), serial.c_str()));
    const std::string vendor = EscapeHtml(FieldText(info.gsiVendorName, sizeof info.gsiVendorName));
    page.RawWrite(FormatText(PageText(IDS_RPT_AGENT_ROW_VENDOR, lang).c_str(), vendor.c_str()));
    page.RawWrite(FormatText(PageText(IDS_RPT_AGENT_ROW_DATETIME, lang).c_str(), t.tm_year + 1900,
                             t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec));
    page.RawWrite(kTableEnd);
}

void WriteSectionTable(CReportPage& page, const std::string& title, bool asParagraph) {
    const std::string table = FormatText(kSectionTable, title.c_str());
    if (asParagraph)
        page.WriteReportParagraph(table);
    else
        page.RawWrite(table);
}

void WriteDriveInformation(CReportPage& page, int channel, const sGUI_PHY_DRV& d, ELanguage lang) {
    const std::string model = EscapeHtml(FieldText(d.gpdModelName, sizeof d.gpdModelName));
    const std::string serial = EscapeHtml(FieldText(d.gpdSerialNumber, sizeof d.gpdSerialNumber));
    const std::string firm = EscapeHtml(FieldText(d.gpdFirmRev, sizeof d.gpdFirmRev));
    const double gigabytes = static_cast<double>(d.gpdCapacity) * 512.0 / 1e9;
    page.WriteReportParagraph(FormatText(PageText(IDS_RPT_DRIVE_INFO, lang).c_str(), channel + 1,
                                         model.c_str(), serial.c_str(), firm.c_str(), gigabytes));
}

void WritePageEnd(CReportPage& page) {
    page.RawWrite(kPageEnd);
    page.Close();
}
