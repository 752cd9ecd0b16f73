#pragma once
// The agent list's "DiskChecking" entry: opens the Disk Checking Dialog over the agents that
// are not down. The window builds the entry into its row menu and keeps it only when the
// program runs with --disk-checking.

#include <filesystem>

class CAgentList;
class CQuillHTDlg;

// `reportDir`: where the runs write their pages (the program's working folder).
void EnableDiskChecking(CQuillHTDlg& window, CAgentList& agents, std::filesystem::path reportDir);
