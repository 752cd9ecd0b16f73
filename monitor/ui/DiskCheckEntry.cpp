#include "DiskCheckEntry.h"

#include "AgentTarget.h"
#include "DiskCheckDialogs.h"
#include "MainWindow.h"

void EnableDiskChecking(CQuillHTDlg& window, CAgentList& agents, std::filesystem::path reportDir) {
    window.SetDiskCheckingHandler([&window, &agents, reportDir](const AgentPtr&) {
        CDiskCheckingMainDlg dlg(TestableAgents(agents), reportDir, &window);
        dlg.exec();
    });
}
