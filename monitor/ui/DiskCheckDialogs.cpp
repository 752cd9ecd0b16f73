#include "DiskCheckDialogs.h"

#include "FieldCheck.h"
#include "Prompt.h"
#include "ReportPage.h"
#include "SmallDialogs.h"
#include "StringIds.h"
#include "UiText.h"
#include "WindowQueue.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <initializer_list>
#include <new>

namespace {

QComboBox* MakeCombo(QWidget* parent, std::initializer_list<int> textIds, int selected) {
    auto* combo = new QComboBox(parent);
    for (int id : textIds)
        combo->addItem(UiText(id));
    combo->setCurrentIndex(selected);
    return combo;
}

QComboBox* MakeNumberCombo(QWidget* parent, int count) {
    auto* combo = new QComboBox(parent);
    for (int i = 0; i < count; ++i)
        combo->addItem(QString::number(i));
    return combo;
}

QTreeWidget* MakeListView(QWidget* parent, std::initializer_list<std::pair<int, int>> columns) {
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    QStringList titles;
    for (auto [id, width] : columns)
        titles << UiText(id);
    list->setHeaderLabels(titles);
    int i = 0;
    for (auto [id, width] : columns)
        list->setColumnWidth(i++, width);
    return list;
}

} // namespace

// --- CEnterVolumeInfoDlg ---

CEnterVolumeInfoDlg::CEnterVolumeInfoDlg(const CTestPlan& plan, QWidget* parent)
    : QDialog(parent), m_plan(plan), m_name(new QLineEdit(this)), m_capacity(new QLineEdit(this)) {
    setWindowTitle(UiText(IDS_VOLDLG_GROUP));
    m_name->setText(FromUtf8(plan.DefaultVolumeName()));
    m_capacity->setText(QStringLiteral("0"));
    m_combos = {
        MakeCombo(this,
                  {IDS_VOLDLG_LEVEL_0, IDS_VOLDLG_LEVEL_1, IDS_VOLDLG_LEVEL_3, IDS_VOLDLG_LEVEL_5,
                   IDS_VOLDLG_LEVEL_6},
                  3),
        MakeCombo(this, {IDS_VOLDLG_INIT_BACKGROUND, IDS_VOLDLG_INIT_FOREGROUND}, 1),
        MakeCombo(this,
                  {IDS_VOLDLG_STRIPE_4K, IDS_VOLDLG_STRIPE_8K, IDS_VOLDLG_STRIPE_16K,
                   IDS_VOLDLG_STRIPE_32K, IDS_VOLDLG_STRIPE_64K, IDS_VOLDLG_STRIPE_128K},
                  4),
        MakeCombo(this, {IDS_VOL_WRITE_THROUGH, IDS_VOL_WRITE_BACK}, 1),
        MakeCombo(this, {IDS_VOL_DISABLED, IDS_VOL_ENABLED}, 1),
        MakeCombo(this,
                  {IDS_VOL_SPEED_ASYNC, IDS_VOL_SPEED_20, IDS_VOL_SPEED_40, IDS_VOL_SPEED_80,
                   IDS_VOL_SPEED_160},
                  4),
        MakeNumberCombo(this, VOLUME_CHANNELS),
        MakeNumberCombo(this, VOLUME_IDS),
        MakeNumberCombo(this, VOLUME_LUNS),
    };

    auto* group = new QGroupBox(UiText(IDS_VOLDLG_GROUP), this);
    auto* form = new QFormLayout(group);
    form->addRow(UiText(IDS_VOLDLG_NAME), m_name);
    auto* capacityRow = new QHBoxLayout;
    capacityRow->addWidget(m_capacity);
    capacityRow->addWidget(new QLabel(UiText(IDS_VOLDLG_GB), group));
    form->addRow(UiText(IDS_VOLDLG_CAPACITY), capacityRow);
    const int labels[] = {IDS_VOLDLG_RAID_LEVEL, IDS_VOLDLG_INIT_MODE, IDS_VOLDLG_STRIPE,
                          IDS_VOLDLG_CACHE,      IDS_VOLDLG_TAGGED,    IDS_VOLDLG_SPEED};
    for (int i = 0; i < 6; ++i)
        form->addRow(UiText(labels[i]), m_combos[static_cast<std::size_t>(i)]);
    auto* addressRow = new QHBoxLayout;
    for (int i = 6; i < 9; ++i)
        addressRow->addWidget(m_combos[static_cast<std::size_t>(i)]);
    form->addRow(UiText(IDS_VOLDLG_ADDRESS), addressRow);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(MakeOkCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CEnterVolumeInfoDlg::accept() {
    if (!FieldCheck::TakeText(this, m_name, VOLUME_NAME_BYTES))
        return;
    bool number = false;
    const double capacity = m_capacity->text().trimmed().toDouble(&number);
    if (!number) {
        Prompt::Tell(this, IDS_PROMPT_NUMBER);
        m_capacity->setFocus();
        m_capacity->selectAll();
        return;
    }
    SVolumeChoice c;
    c.name = ToUtf8(m_name->text());
    c.capacity = capacity;
    int* fields[] = {&c.raidLevel, &c.initMode, &c.stripe, &c.cache, &c.tag,
                     &c.speed,     &c.channel,  &c.id,     &c.lun};
    for (std::size_t i = 0; i < m_combos.size(); ++i)
        *fields[i] = m_combos[i]->currentIndex();
    switch (m_plan.CheckVolume(c)) {
    case EVolumeCheck::InvalidCapacity:
        Prompt::Tell(this, IDS_VOLDLG_INVALID_CAPACITY);
        return;
    case EVolumeCheck::DuplicateAddress:
        Prompt::Tell(this, IDS_VOLDLG_DUPLICATE_ADDRESS);
        return;
    case EVolumeCheck::Ok:
        break;
    }
    m_choice = c;
    QDialog::accept();
}

// --- CTestListDlg ---

// The workers' column texts, carried to the window's thread in the order they were set. The
// queue's own lock hands each text over whole; texts still queued when the dialog goes are
// dropped with it.
class CTestListDlg::CRows : public ITestProgress {
public:
    CRows(CWindowQueue& queue, QTreeWidget* list) : m_queue(queue), m_list(list) {}
    void InsertRow(int row, const std::string& ip) override {
        m_queue.Post([list = m_list, row, text = FromUtf8(ip)] {
            auto* item = new QTreeWidgetItem;
            item->setText(0, text);
            list->insertTopLevelItem(row, item);
        });
    }
    void SetItemText(int row, int column, const std::string& text) override {
        m_queue.Post([list = m_list, row, column, t = FromUtf8(text)] {
            if (QTreeWidgetItem* item = list->topLevelItem(row))
                item->setText(column, t);
        });
    }

private:
    CWindowQueue& m_queue;
    QTreeWidget* m_list;
};

CTestListDlg::CTestListDlg(const CTestPlan& plan, IDiskCheckClock& clock,
                           const std::filesystem::path& reportDir, QWidget* parent)
    : QDialog(parent),
      m_list(MakeListView(
          this, {{IDS_TL_COL_IP, 130}, {IDS_TL_COL_TEST_TYPE, 150}, {IDS_TL_COL_PROGRESS, 80}})),
      m_quit(new QPushButton(UiText(IDS_TL_QUIT), this)), m_waitForWorkers(new QTimer(this)),
      m_queue(new CWindowQueue(this)) {
    setWindowTitle(UiText(IDS_TL_CAPTION));
    m_list->setMinimumSize(380, 200);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_quit);
    layout->addLayout(buttons);
    connect(m_quit, &QPushButton::clicked, this, &CTestListDlg::OnQuit);
    m_waitForWorkers->setInterval(20);
    connect(m_waitForWorkers, &QTimer::timeout, this, [this] {
        if (!m_run->Finished())
            return;
        m_waitForWorkers->stop();
        m_run->Wait();
        QDialog::accept();
    });

    m_rows = std::make_unique<CRows>(*m_queue, m_list);
    m_run =
        std::make_unique<CDiskCheckRun>(plan, *m_rows, clock, reportDir, CStringTable::Language());
    m_run->Start();
}

CTestListDlg::~CTestListDlg() {
    // The workers end before the rows they write to.
    m_run.reset();
}

void CTestListDlg::reject() {
    OnQuit();
}

void CTestListDlg::OnQuit() {
    if (m_waitForWorkers->isActive())
        return;
    if (!Prompt::Confirm(this, UiText(IDS_ARE_YOU_SURE), false))
        return;
    // Each worker ends at its next wait, pass or exchange and closes its page; the window
    // goes on painting meanwhile.
    m_quit->setEnabled(false);
    m_run->RequestStop();
    m_waitForWorkers->start();
}

// --- CDiskCheckingMainDlg ---

CDiskCheckingMainDlg::CDiskCheckingMainDlg(std::vector<STestAgent> agents,
                                           std::filesystem::path reportDir, QWidget* parent)
    : QDialog(parent), m_agents(std::move(agents)),
      m_reportDir(
          std::filesystem::absolute(reportDir.empty() ? "." : reportDir).lexically_normal()),
      m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); }),
      m_testAll(new QRadioButton(UiText(IDS_DC_TEST_ALL), this)),
      m_testSelected(new QRadioButton(UiText(IDS_DC_TEST_SELECTED), this)),
      m_agentBox(new QListWidget(this)),
      m_offline(new QCheckBox(UiText(IDS_DC_OFFLINE_COLLECTION), this)),
      m_selfTest(new QCheckBox(UiText(IDS_DC_SELF_TEST), this)),
      m_short(new QRadioButton(UiText(IDS_DC_SHORT), this)),
      m_extended(new QRadioButton(UiText(IDS_DC_EXTENDED), this)),
      m_percentage(new QLineEdit(QStringLiteral("0"), this)),
      m_volumes(MakeListView(this, {{IDS_VOL_COL_NAME, 100},
                                    {IDS_VOL_COL_RAID_LEVEL, 70},
                                    {IDS_VOL_COL_CAPACITY, 70},
                                    {IDS_VOL_COL_INIT_MODE, 100},
                                    {IDS_VOL_COL_STRIPE, 70},
                                    {IDS_VOL_COL_CACHE, 75},
                                    {IDS_VOL_COL_TAGGED, 100},
                                    {IDS_VOL_COL_SPEED, 70},
                                    {IDS_VOL_COL_ADDRESS, 100}})) {
    setWindowTitle(UiText(IDS_DC_CAPTION));
    try {
        m_plan = std::make_unique<CTestPlan>();
    } catch (const std::bad_alloc&) {
        Prompt::Tell(this, IDS_DC_MEMORY_FAILED);
    }

    auto* agentGroup = new QVBoxLayout;
    auto* agentChoice = new QButtonGroup(this);
    agentChoice->addButton(m_testAll);
    agentChoice->addButton(m_testSelected);
    m_testAll->setChecked(true);
    m_agentBox->setSelectionMode(QAbstractItemView::MultiSelection);
    for (const STestAgent& agent : m_agents)
        m_agentBox->addItem(FromUtf8(agent.ip));
    m_agentBox->setEnabled(false);
    connect(m_testSelected, &QRadioButton::toggled, m_agentBox, &QWidget::setEnabled);
    agentGroup->addWidget(m_testAll);
    agentGroup->addWidget(m_testSelected);
    agentGroup->addWidget(m_agentBox);

    auto* tests = new QVBoxLayout;
    tests->addWidget(m_offline);
    tests->addWidget(m_selfTest);
    auto* kind = new QButtonGroup(this);
    kind->addButton(m_short);
    kind->addButton(m_extended);
    m_short->setChecked(true);
    auto* kindRow = new QHBoxLayout;
    kindRow->addSpacing(20);
    kindRow->addWidget(m_short);
    kindRow->addWidget(m_extended);
    kindRow->addStretch();
    tests->addLayout(kindRow);
    OnSelfTestClicked();
    connect(m_selfTest, &QCheckBox::clicked, this, &CDiskCheckingMainDlg::OnSelfTestClicked);
    auto* percentRow = new QHBoxLayout;
    percentRow->addWidget(m_percentage);
    percentRow->addWidget(new QLabel(UiText(IDS_DC_PERCENTAGE), this));
    percentRow->addStretch();
    m_percentage->setMaximumWidth(60);
    tests->addLayout(percentRow);
    tests->addStretch();

    auto* top = new QHBoxLayout;
    top->addLayout(agentGroup);
    top->addLayout(tests);

    auto makeButton = [this](int textId, void (CDiskCheckingMainDlg::*handler)()) {
        auto* b = new QPushButton(UiText(textId), this);
        b->setProperty("textId", textId);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        m_buttons.push_back(b);
        return b;
    };
    auto* volumeGroup = new QGroupBox(UiText(IDS_VOL_GROUP), this);
    auto* volumeLayout = new QVBoxLayout(volumeGroup);
    auto* volumeButtons = new QHBoxLayout;
    volumeButtons->addWidget(makeButton(IDS_VOL_ADD, &CDiskCheckingMainDlg::OnAddVolume));
    volumeButtons->addWidget(makeButton(IDS_VOL_DELETE, &CDiskCheckingMainDlg::OnDeleteVolume));
    volumeButtons->addStretch();
    volumeLayout->addLayout(volumeButtons);
    m_volumes->setMinimumSize(600, 120);
    QPalette palette = m_volumes->palette();
    palette.setColor(QPalette::Base, QColor(217, 245, 245));
    m_volumes->setPalette(palette);
    m_volumes->setAllColumnsShowFocus(true);
    volumeLayout->addWidget(m_volumes);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(makeButton(IDS_DC_VIEW_REPORT, &CDiskCheckingMainDlg::OnViewReport));
    bottom->addStretch();
    bottom->addWidget(makeButton(IDS_DC_START, &CDiskCheckingMainDlg::OnStart));
    bottom->addWidget(makeButton(IDS_BUTTON_CANCEL, &QDialog::reject));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(volumeGroup);
    layout->addLayout(bottom);
}

QPushButton* CDiskCheckingMainDlg::Button(int textId) const {
    for (QPushButton* b : m_buttons)
        if (b->property("textId").toInt() == textId)
            return b;
    return nullptr;
}

void CDiskCheckingMainDlg::OnSelfTestClicked() {
    m_short->setEnabled(m_selfTest->isChecked());
    m_extended->setEnabled(m_selfTest->isChecked());
}

void CDiskCheckingMainDlg::OnStart() {
    if (!m_plan)
        return;
    const std::optional<std::int64_t> percentage =
        FieldCheck::TakeInt(this, m_percentage, SIntRange{0, 100});
    if (!percentage)
        return;
    m_plan->OfflineCollection = m_offline->isChecked() ? 1 : 0;
    m_plan->SelfTest = m_selfTest->isChecked() ? 1 : 0;
    m_plan->SelfTestType = m_short->isChecked() ? SELF_TEST_SHORT : SELF_TEST_EXTENDED;
    m_plan->Percentage = static_cast<int>(*percentage);
    if (m_testAll->isChecked())
        m_agentBox->selectAll();
    for (int i = 0; i < m_agentBox->count(); ++i)
        if (m_agentBox->item(i)->isSelected())
            m_plan->agents.push_back(m_agents[static_cast<std::size_t>(i)]);
    {
        CTestListDlg run(*m_plan, *m_clock, m_reportDir, this);
        run.exec();
    }
    m_plan->agents.clear();
}

void CDiskCheckingMainDlg::OnAddVolume() {
    if (!m_plan)
        return;
    if (m_plan->VolumeCount() >= MAX_VOLUME_DEFINITIONS) {
        Prompt::Tell(this, IDS_VOL_TOO_MANY);
        return;
    }
    CEnterVolumeInfoDlg dlg(*m_plan, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const int slot = m_plan->AddVolume(dlg.Choice());
    if (slot >= 0)
        AddVolumeRow(slot);
}

void CDiskCheckingMainDlg::AddVolumeRow(int slot) {
    auto* item = new QTreeWidgetItem;
    const std::array<std::string, 9> texts =
        VolumeRowTexts(m_plan->volumes[static_cast<std::size_t>(slot)]);
    for (int c = 0; c < 9; ++c)
        item->setText(c, FromUtf8(texts[static_cast<std::size_t>(c)]));
    item->setData(0, Qt::UserRole, slot);
    m_volumes->addTopLevelItem(item);
}

void CDiskCheckingMainDlg::OnDeleteVolume() {
    QTreeWidgetItem* item = m_volumes->currentItem();
    if (!m_plan || item == nullptr || !item->isSelected())
        return;
    m_plan->DeleteVolume(item->data(0, Qt::UserRole).toInt());
    delete item;
}

void CDiskCheckingMainDlg::OnViewReport() {
    const std::filesystem::path index = m_reportDir / INDEX_PAGE_NAME;
    m_openUrl(QUrl::fromLocalFile(QString::fromStdString(index.string())));
}
