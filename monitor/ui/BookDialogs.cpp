#include "BookDialogs.h"

#include "FieldCheck.h"
#include "FixedText.h"
#include "Prompt.h"
#include "SmallDialogs.h"
#include "StringIds.h"
#include "UiText.h"

#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

namespace {

template <std::size_t N> constexpr std::size_t TextRoom(const char (&)[N]) {
    return N - 1;
}

std::string BookPath(const std::string& directory, const char* file) {
    return directory.empty() ? std::string(file)
                             : (std::filesystem::path(directory) / file).string();
}

} // namespace

// --- chooser ---

CAddressBookSelect::CAddressBookSelect(QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)) {
    setWindowTitle(UiText(IDS_BOOKSEL_CAPTION));
    m_list->addItem(UiText(IDS_MAIL_ADDRESS_BOOK));
    m_list->addItem(UiText(IDS_MESSAGE_ADDRESS_BOOK));
    m_list->setCurrentRow(0);
    m_list->setMinimumWidth(m_list->sizeHintForColumn(0) + 40);
    m_list->setMaximumHeight(m_list->sizeHintForRow(0) * 2 + 2 * m_list->frameWidth() + 8);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(MakeOkCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionRoom(this);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

int CAddressBookSelect::Choice() const {
    return m_list->currentRow();
}

// --- the book dialogs ---

CBookDlg::CBookDlg(int caption, std::vector<int> columns, std::vector<int> buttons, QWidget* parent)
    : QDialog(parent), m_list(new QTreeWidget(this)),
      m_add(new QPushButton(UiText(buttons.at(0)), this)),
      m_delete(new QPushButton(UiText(buttons.at(1)), this)),
      m_ok(new QPushButton(UiText(buttons.at(2)), this)),
      m_cancel(new QPushButton(UiText(buttons.at(3)), this)) {
    setWindowTitle(UiText(caption));
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QStringList titles;
    for (int id : columns) {
        titles << UiText(id);
    }
    m_list->setColumnCount(static_cast<int>(titles.size()));
    m_list->setHeaderLabels(titles);
    m_list->header()->setStretchLastSection(true);
    m_list->header()->setSectionsMovable(false);

    auto* buttonColumn = new QVBoxLayout;
    for (QPushButton* b : {m_add, m_delete, m_ok, m_cancel}) {
        b->setAutoDefault(false);
        buttonColumn->addWidget(b);
    }
    buttonColumn->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttonColumn);
    resize(460, 260);
    m_list->viewport()->installEventFilter(this);

    connect(m_add, &QPushButton::clicked, this, &CBookDlg::OnAdd);
    connect(m_delete, &QPushButton::clicked, this, &CBookDlg::OnDelete);
    connect(m_ok, &QPushButton::clicked, this, &CBookDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CBookDlg::reject);
}

void CBookDlg::Fill() {
    m_list->clear();
    Reload();
    for (std::size_t i = 0; i < Count(); ++i) {
        auto* item = new QTreeWidgetItem(RowTexts(i));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, RowEnabled(i) ? Qt::Checked : Qt::Unchecked);
        m_list->addTopLevelItem(item);
    }
}

void CBookDlg::OnAdd() {
    if (RunAdd()) {
        Fill();
    }
}

void CBookDlg::OnDelete() {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (!selected.isEmpty()) {
        const int row = m_list->indexOfTopLevelItem(selected.first());
        if (Prompt::Confirm(this, UiText(IDS_ARE_YOU_SURE), false)) {
            RemoveEntry(static_cast<std::size_t>(row));
        }
    }
    Fill();
}

void CBookDlg::accept() {
    std::vector<bool> checked;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        checked.push_back(m_list->topLevelItem(i)->checkState(0) == Qt::Checked);
    }
    ApplyChecks(checked);
    QDialog::accept();
}

void CBookDlg::done(int result) {
    QDialog::done(result);
    m_saved = SaveBook();
    if (!m_saved) {
        Prompt::Tell(parentWidget(),
                     FromUtf8(FormatText(IDS_BOOK_SAVE_FAILED, FileName().c_str())));
    }
}

bool CBookDlg::eventFilter(QObject* watched, QEvent* event) {
    // Mail book: the receiver takes a third of the list's width, the address the rest.
    if (watched == m_list->viewport() && event->type() == QEvent::Resize &&
        m_list->columnCount() == 2) {
        m_list->setColumnWidth(0, m_list->viewport()->width() / 3);
    }
    return QDialog::eventFilter(watched, event);
}

CMailBookDlg::CMailBookDlg(CMailBook& book, std::string directory, QWidget* parent)
    : CBookDlg(IDS_MAILBOOK_CAPTION, {IDS_MAILBOOK_COL_RECEIVER, IDS_MAILBOOK_COL_ADDRESS},
               {IDS_MAILBOOK_ADD, IDS_MAILBOOK_DELETE, IDS_MAILBOOK_OK, IDS_MAILBOOK_CANCEL},
               parent),
      m_book(book), m_directory(std::move(directory)) {
    Fill();
}

void CMailBookDlg::Reload() {
    m_rows = m_book.Entries();
}

std::size_t CMailBookDlg::Count() const {
    return m_rows.size();
}

QStringList CMailBookDlg::RowTexts(std::size_t i) const {
    return {FromUtf8(FixedText::Get(m_rows[i].Name)), FromUtf8(FixedText::Get(m_rows[i].Address))};
}

bool CMailBookDlg::RowEnabled(std::size_t i) const {
    return m_rows[i].Enabled != 0;
}

bool CMailBookDlg::RemoveEntry(std::size_t i) {
    return m_book.Remove(i);
}

void CMailBookDlg::ApplyChecks(const std::vector<bool>& checked) {
    m_book.ApplyCheckStates(checked);
}

bool CMailBookDlg::RunAdd() {
    CAddUserDlg dlg(m_book, this);
    return dlg.exec() == QDialog::Accepted;
}

bool CMailBookDlg::SaveBook() {
    return SaveMailBook(m_book, m_directory);
}

std::string CMailBookDlg::FileName() const {
    return BookPath(m_directory, kMailBookFile);
}

CMessageBookDlg::CMessageBookDlg(CMessageBook& book, std::string directory,
                                 SFindComputerOptions find, QWidget* parent)
    : CBookDlg(IDS_MSGBOOK_CAPTION, {IDS_MSGBOOK_COL_RECEIVER},
               {IDS_MSGBOOK_ADD, IDS_MSGBOOK_DELETE, IDS_MSGBOOK_OK, IDS_MSGBOOK_CANCEL}, parent),
      m_book(book), m_directory(std::move(directory)), m_find(std::move(find)) {
    Fill();
}

void CMessageBookDlg::Reload() {
    m_rows = m_book.Entries();
}

std::size_t CMessageBookDlg::Count() const {
    return m_rows.size();
}

QStringList CMessageBookDlg::RowTexts(std::size_t i) const {
    return {FromUtf8(FixedText::Get(m_rows[i].Computer))};
}

bool CMessageBookDlg::RowEnabled(std::size_t i) const {
    return m_rows[i].Enabled != 0;
}

bool CMessageBookDlg::RemoveEntry(std::size_t i) {
    return m_book.Remove(i);
}

void CMessageBookDlg::ApplyChecks(const std::vector<bool>& checked) {
    m_book.ApplyCheckStates(checked);
}

bool CMessageBookDlg::RunAdd() {
    CAddComputerDlg dlg(m_book, m_find, this);
    return dlg.exec() == QDialog::Accepted;
}

bool CMessageBookDlg::SaveBook() {
    return SaveMessageBook(m_book, m_directory);
}

std::string CMessageBookDlg::FileName() const {
    return BookPath(m_directory, kMessageBookFile);
}

// --- Add User / Add Computer ---

CAddUserDlg::CAddUserDlg(CMailBook& book, QWidget* parent)
    : QDialog(parent), m_book(book), m_enable(new QCheckBox(UiText(IDS_ADDUSER_ENABLE), this)),
      m_name(new QLineEdit(this)), m_address(new QLineEdit(this)) {
    setWindowTitle(UiText(IDS_ADDUSER_CAPTION));
    m_enable->setChecked(true);
    m_address->setMinimumWidth(260);
    auto* form = new QFormLayout;
    form->addRow(m_enable);
    form->addRow(UiText(IDS_ADDUSER_NAME), m_name);
    form->addRow(UiText(IDS_ADDUSER_ADDRESS), m_address);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(MakeOkCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionRoom(this);
}

void CAddUserDlg::accept() {
    const CMailReceiver shape;
    if (!FieldCheck::TakeText(this, m_name, TextRoom(shape.Name)) ||
        !FieldCheck::TakeText(this, m_address, TextRoom(shape.Address))) {
        return;
    }
    const int message =
        m_book.AddUser(m_enable->isChecked(), ToUtf8(m_name->text()), ToUtf8(m_address->text()));
    if (message != 0) {
        Prompt::Tell(this, message);
        return;
    }
    QDialog::accept();
}

CAddComputerDlg::CAddComputerDlg(CMessageBook& book, SFindComputerOptions find, QWidget* parent)
    : QDialog(parent), m_book(book), m_find(std::move(find)),
      m_enable(new QCheckBox(UiText(IDS_ADDCOMPUTER_ENABLE), this)), m_name(new QLineEdit(this)),
      m_browse(new QPushButton(UiText(IDS_ADDCOMPUTER_BROWSE), this)) {
    setWindowTitle(UiText(IDS_ADDCOMPUTER_CAPTION));
    m_enable->setChecked(true);
    m_name->setMinimumWidth(220);
    m_browse->setAutoDefault(false);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(m_name, 1);
    nameRow->addWidget(m_browse);
    auto* form = new QFormLayout;
    form->addRow(m_enable);
    form->addRow(UiText(IDS_ADDCOMPUTER_NAME), nameRow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(MakeOkCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionRoom(this);
    connect(m_browse, &QPushButton::clicked, this, [this] {
        CFindComputerDlg find(m_find, this);
        if (find.exec() == QDialog::Accepted && !find.Name().isEmpty()) {
            m_name->setText(find.Name());
        }
    });
}

void CAddComputerDlg::accept() {
    const CMessageReceiver shape;
    if (!FieldCheck::TakeText(this, m_name, TextRoom(shape.Computer))) {
        return;
    }
    const int message = m_book.AddComputer(m_enable->isChecked(), ToUtf8(m_name->text()));
    if (message != 0) {
        Prompt::Tell(this, message);
        return;
    }
    QDialog::accept();
}
