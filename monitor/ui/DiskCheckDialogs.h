#pragma once
// The disk-checking dialogs: the "Disk Checking Dialog" (what to test, on which agents, and
// the volume sets to create), its volume information dialog, and the "Test items list" that
// shows a run's progress. The engine below them (monitor/diskcheck) does the work.

#include "DiskCheckClock.h"
#include "DiskCheckRun.h"
#include "TestPlan.h"

#include <QDialog>
#include <QUrl>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;
class CWindowQueue;

// "Volume Information": one volume set's name, capacity, level, initialisation, stripe,
// cache, queuing, speed and SCSI address. OK refuses a capacity below 0.1 GB or too large
// for the controller ("Invalid Capacity") and an address another definition of the plan
// already uses ("Duplicate SCSI CH/ID/LUN "), and stays open.
class CEnterVolumeInfoDlg : public QDialog {
    Q_OBJECT

public:
    CEnterVolumeInfoDlg(const CTestPlan& plan, QWidget* parent = nullptr);

    // The choices once the dialog was accepted.
    const SVolumeChoice& Choice() const { return m_choice; }
    void accept() override;

    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* CapacityEdit() const { return m_capacity; }
    // 0 level, 1 initialisation, 2 stripe, 3 cache, 4 queuing, 5 speed, 6 channel, 7 id, 8 LUN.
    QComboBox* Combo(int index) const { return m_combos[static_cast<std::size_t>(index)]; }

private:
    const CTestPlan& m_plan;
    QLineEdit* m_name;
    QLineEdit* m_capacity;
    std::array<QComboBox*, 9> m_combos{};
    SVolumeChoice m_choice;
};

// "Test items list": one row per agent of the run ("IP", "Test Type", "Progress"). The run
// starts when the dialog is made; "Quit" asks "Are you sure?" and on OK stops every worker
// (each at its next wait or exchange), then closes.
class CTestListDlg : public QDialog {
    Q_OBJECT

public:
    CTestListDlg(const CTestPlan& plan, IDiskCheckClock& clock,
                 const std::filesystem::path& reportDir, QWidget* parent = nullptr);
    ~CTestListDlg() override;

    QTreeWidget* List() const { return m_list; }
    QPushButton* QuitButton() const { return m_quit; }
    CDiskCheckRun& Run() { return *m_run; }
    // Escape and the window's close button ask as Quit does.
    void reject() override;

private:
    class CRows;
    void OnQuit();

    QTreeWidget* m_list;
    QPushButton* m_quit;
    QTimer* m_waitForWorkers;
    CWindowQueue* m_queue;
    std::unique_ptr<CRows> m_rows;
    std::unique_ptr<CDiskCheckRun> m_run;
};

// "Disk Checking Dialog". The plan lives as long as the dialog: several runs may be started
// one after another, all with the volume definitions as they stand.
class CDiskCheckingMainDlg : public QDialog {
    Q_OBJECT

public:
    // `agents`: the agents that may be tested (not down), in the agent list's order.
    CDiskCheckingMainDlg(std::vector<STestAgent> agents, std::filesystem::path reportDir,
                         QWidget* parent = nullptr);

    // Where "View Test Report" sends the index page (the desktop's browser unless replaced).
    using UrlOpener = std::function<void(const QUrl&)>;
    void SetUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    // The clock of the runs (the wall clock unless replaced).
    void SetClock(IDiskCheckClock* clock) { m_clock = clock; }

    void OnStart();
    void OnAddVolume();
    void OnDeleteVolume();
    void OnViewReport();
    void OnSelfTestClicked();

    const CTestPlan* Plan() const { return m_plan.get(); }
    QRadioButton* TestAll() const { return m_testAll; }
    QRadioButton* TestSelected() const { return m_testSelected; }
    QListWidget* AgentBox() const { return m_agentBox; }
    QCheckBox* Offline() const { return m_offline; }
    QCheckBox* SelfTest() const { return m_selfTest; }
    QRadioButton* Short() const { return m_short; }
    QRadioButton* Extended() const { return m_extended; }
    QLineEdit* Percentage() const { return m_percentage; }
    QTreeWidget* VolumeList() const { return m_volumes; }
    QPushButton* Button(int textId) const;

private:
    void AddVolumeRow(int slot);

    std::vector<STestAgent> m_agents;
    std::filesystem::path m_reportDir;
    std::unique_ptr<CTestPlan> m_plan;
    CDiskCheckClock m_wallClock;
    IDiskCheckClock* m_clock = &m_wallClock;
    UrlOpener m_openUrl;

    QRadioButton* m_testAll;
    QRadioButton* m_testSelected;
    QListWidget* m_agentBox;
    QCheckBox* m_offline;
    QCheckBox* m_selfTest;
    QRadioButton* m_short;
    QRadioButton* m_extended;
    QLineEdit* m_percentage;
    QTreeWidget* m_volumes;
    std::vector<QPushButton*> m_buttons;
};
