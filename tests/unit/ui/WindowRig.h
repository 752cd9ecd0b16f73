// A main window over a real monitor core with a scratch settings store, a recording alarm
// sink and empty address books; nothing is broadcast and discovery waits only briefly.
#pragma once

#include "AddressBook.h"
#include "CoreTestSupport.h"
#include "MainWindow.h"
#include "Monitor.h"
#include "UiTestSupport.h"

#include <memory>

namespace uitest {

struct SWindowRig {
    coretest::SScratchSettings settings;
    coretest::CRecordingSink sink;
    CMonitor monitor{settings.store, sink};
    CMailBook mail;
    CMessageBook message;
    std::unique_ptr<CQuillHTDlg> window;
    SWindowOptions options = [this] {
        SWindowOptions o;
        o.targets.broadcast = false; // tests never broadcast
        o.workDirectory = settings.dir.Path();
        o.find.browseNetwork = false;
        o.httpPortWaitMs = 3000;
        return o;
    }();

    explicit SWindowRig(std::vector<std::uint32_t> agents = {}, int pollSeconds = 1,
                        ELanguage language = ELanguage::English) {
        settings.store.Update([&](SettingsRecord& r) { r.PollInterval = pollSeconds; });
        CStringTable::SetLanguage(language);
        monitor.SetTiming({std::chrono::milliseconds(1000), std::chrono::milliseconds(150),
                           std::chrono::milliseconds(50)});
        monitor.SetLibrarySleeper(coretest::NoLibrarySleep, nullptr);
        options.targets.addresses = std::move(agents);
        NewWindow();
    }
    // A window anew (the old one, if any, ends first), with `options` as they are now.
    void NewWindow() {
        window.reset();
        window = std::make_unique<CQuillHTDlg>(monitor, mail, message, options);
    }
    CQuillHTDlg& W() { return *window; }

    // A listed record without a controller behind it, with the texts a controller would give.
    AgentPtr Offline(const std::string& dotted, const std::string& serial = "",
                     const std::string& model = "") {
        AgentPtr agent = coretest::OfflineAgent(monitor, dotted);
        std::memcpy(agent->m_SysInfo.gsiSerialNumber, serial.data(),
                    std::min(serial.size(), sizeof agent->m_SysInfo.gsiSerialNumber));
        std::memcpy(agent->m_SysInfo.gsiModelName, model.data(),
                    std::min(model.size(), sizeof agent->m_SysInfo.gsiModelName));
        return agent;
    }

    // Runs a rescan as the Rescan command does and waits for its end.
    bool Rescan(int limitMs = 15000) {
        window->OnRescan();
        return WaitUntil([&] { return !window->Busy(); }, limitMs);
    }
};

} // namespace uitest
