#pragma once
// "Find computer": the names this machine can reach a computer by, to pick one for the
// message address book: the hosts database, and the NetBIOS names answering on the local
// network when Samba's nmblookup is installed. Any other name may be typed in.

#include <QDialog>

#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class QListWidget;
class QProcess;

// Host names and aliases of a hosts file, in file order, each once; comments, addresses and
// malformed lines are skipped.
std::vector<std::string> ParseHostsFile(std::string_view text);
// Computer names from nmblookup's status output (-S): unique workstation or server names
// (<00> or <20>, not <GROUP>), each once, in the order they came.
std::vector<std::string> ParseNetbiosStatus(std::string_view output);

struct SFindComputerOptions {
    std::string hostsFile = "/etc/hosts";
    // Asking the local network for NetBIOS names broadcasts; a run told not to broadcast
    // lists the hosts database only.
    bool browseNetwork = true;
    std::string nmblookup = "nmblookup";
    int browseTimeoutMs = 10000;
};

class CFindComputerDlg : public QDialog {
    Q_OBJECT

public:
    CFindComputerDlg(const SFindComputerOptions& options, QWidget* parent = nullptr);
    ~CFindComputerDlg() override;

    // The chosen or typed name.
    QString Name() const;
    QListWidget* List() const { return m_list; }
    QLineEdit* NameEdit() const { return m_name; }
    // Whether the network query is still running.
    bool Browsing() const;

private:
    void AddNames(const std::vector<std::string>& names);
    void StartBrowse(const SFindComputerOptions& options);

    QListWidget* m_list;
    QLineEdit* m_name;
    QProcess* m_browse = nullptr;
};
