// The toolbar's commands and the agent list's double click and row menu.
#include "MainWindow.h"

#include "AgentListCtrl.h"
#include "BookDialogs.h"
#include "NotifyDialog.h"
#include "Prompt.h"
#include "SetupSheet.h"
#include "SmallDialogs.h"
#include "StringIds.h"
#include "StringTable.h"
#include "UiText.h"

#include "Agent.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <arpa/inet.h>

void CQuillHTDlg::OnAdd() {
    if (m_busy) {
        return;
    }
    CInputIpDlg dlg(
        [this](const int fields[4]) {
            // The discovery towards one address is short (its quiet window and one reply).
            QApplication::setOverrideCursor(Qt::WaitCursor);
            const bool accepted = m_monitor.AddAgentByAddress(fields);
            QApplication::restoreOverrideCursor();
            return accepted;
        },
        this);
    dlg.exec();
    RebuildAgentList();
}

void CQuillHTDlg::OnDelete() {
    if (m_busy) {
        return;
    }
    const AgentPtr agent = m_agents->SelectedAgent();
    if (agent && Prompt::Confirm(this, UiText(IDS_ARE_YOU_SURE), false)) {
        // Stopping the agent waits for its thread's library call to end: off the window thread.
        RunBusy([this, agent](std::stop_token) { m_monitor.DeleteAgent(agent.get()); },
                [this] { RebuildAgentList(); }, false);
        return;
    }
    RebuildAgentList();
}

void CQuillHTDlg::OnRescan() {
    if (!m_busy) {
        StartRescan();
    }
}

void CQuillHTDlg::OnNotification() {
    if (m_busy) {
        return;
    }
    CNotifySettingDlg dlg(m_monitor.Settings(), this);
    if (dlg.exec() == QDialog::Accepted) {
        UpdateNotifyButton();
    }
}

void CQuillHTDlg::OnAddressBooks() {
    if (m_busy) {
        return;
    }
    CAddressBookSelect chooser(this);
    if (chooser.exec() != QDialog::Accepted) {
        return;
    }
    if (chooser.Choice() == 0) {
        OnMailBook();
    } else if (chooser.Choice() == 1) {
        OnMessageBook();
    }
}

void CQuillHTDlg::OnMailBook() {
    if (m_busy) {
        return;
    }
    CMailBookDlg dlg(m_mailBook, m_options.workDirectory, this);
    dlg.exec();
}

void CQuillHTDlg::OnMessageBook() {
    if (m_busy) {
        return;
    }
    CMessageBookDlg dlg(m_messageBook, m_options.workDirectory, m_options.find, this);
    dlg.exec();
}

void CQuillHTDlg::OnSetup() {
    if (m_busy) {
        return;
    }
    CSetupSheet sheet(m_monitor.Settings(), this);
    if (sheet.exec() != QDialog::Accepted) {
        return;
    }
    if (sheet.GeneralTaken()) {
        RetitleToolbar();
    }
    m_monitor.ApplyPollTimeout();
}

void CQuillHTDlg::OnAbout() {
    CAboutDlg dlg(this);
    dlg.exec();
}

void CQuillHTDlg::OpenAgentPage(int row) {
    const AgentPtr agent = m_agents->AgentAt(row);
    if (!agent || m_busy) {
        return;
    }
    auto open = [this, agent](int port) {
        const std::string url =
            "http://" + agent->IpText() + ":" + std::to_string(static_cast<unsigned>(port));
        m_openUrl(QUrl(QString::fromStdString(url)));
    };
    // Controllers with their own network port serve their pages on 80; the others through
    // the agent's proxy, whose port the agent tells.
    if (agent->m_SysInfo.gsiIdeChannels > 5) {
        open(80);
        return;
    }
    std::erase_if(m_portQueries, [](const SPortQuery& q) { return q.done->load(); });
    const int waitMs = m_options.httpPortWaitMs;
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_portQueries.push_back({done, std::jthread([this, agent, open, waitMs, done] {
                                 const int port = agent->QueryHttpPort(waitMs);
                                 PostToWindow([open, port] { open(port); });
                                 *done = true;
                             })});
}

QMenu* CQuillHTDlg::BuildRowMenu() {
    const AgentPtr agent = m_agents->SelectedAgent();
    if (!agent) {
        return nullptr;
    }
    char address[INET_ADDRSTRLEN] = {};
    if (const sockaddr_in* a = agent->m_Session.VrnGetAgentAddr()) {
        inet_ntop(AF_INET, &a->sin_addr, address, sizeof address);
    }
    auto* menu = new QMenu(this);
    QAction* disk = menu->addAction(UiText(IDS_MENU_DISK_CHECKING));
    disk->setData(ID_DISK_CHECKING);
    QAction* describe =
        menu->addAction(FromUtf8(FormatText(IDS_MENU_ROW_FORMAT, CStringTable::Text(IDS_MENU_ENTER),
                                            address, CStringTable::Text(IDS_MENU_DESCRIPTION))));
    describe->setData(IDS_MENU_DESCRIPTION);
    if (!m_options.diskChecking) {
        menu->removeAction(disk);
        delete disk;
    }
    const int row = m_agents->SelectedRow();
    connect(menu, &QMenu::triggered, this, [this, row, agent](QAction* chosen) {
        if (chosen->data().toInt() == ID_DISK_CHECKING) {
            if (m_diskChecking) {
                m_diskChecking(agent);
            }
        } else if (m_agents->AgentAt(row) == agent) {
            OnEnterDescription(row);
        }
    });
    return menu;
}

void CQuillHTDlg::ShowRowMenu(const QPoint& globalPos) {
    if (m_busy) {
        return;
    }
    QMenu* menu = BuildRowMenu();
    if (menu == nullptr) {
        return;
    }
    menu->exec(globalPos);
    delete menu;
}

void CQuillHTDlg::OnEnterDescription(int row) {
    CDescriptionDlg dlg(this);
    if (dlg.exec() == QDialog::Accepted) {
        m_agents->SetRowDescription(row, dlg.Text());
    }
}
