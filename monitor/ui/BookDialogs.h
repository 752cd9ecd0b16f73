#pragma once
// The address-book dialogs: the chooser, the mail and message books, "Add User" and
// "Add Computer". Additions and deletions change the book at once (so they stay even when the
// book is left with Cancel); only the check boxes wait for Ok. The book's file is written
// whenever its dialog closes, whichever way; a file that cannot be written is reported and
// the book in memory stays as it is.

#include "AddressBook.h"
#include "FindComputer.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

// "Address Book List": 0 for the mail book, 1 for the message book.
class CAddressBookSelect : public QDialog {
    Q_OBJECT

public:
    explicit CAddressBookSelect(QWidget* parent = nullptr);
    int Choice() const;
    QListWidget* List() const { return m_list; }

private:
    QListWidget* m_list;
};

// What the two book dialogs share: the list with check boxes and the four buttons.
class CBookDlg : public QDialog {
    Q_OBJECT

public:
    QTreeWidget* List() const { return m_list; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    // Whether the file was written when the dialog closed.
    bool Saved() const { return m_saved; }

    void OnAdd();
    void OnDelete();
    void accept() override;
    void done(int result) override;

protected:
    CBookDlg(int caption, std::vector<int> columns, std::vector<int> buttons, QWidget* parent);
    // Fills the rows again from the book.
    void Fill();

    // Takes the entries from the book (the dialog is the book's only writer while it is open).
    virtual void Reload() = 0;
    virtual std::size_t Count() const = 0;
    virtual QStringList RowTexts(std::size_t i) const = 0;
    virtual bool RowEnabled(std::size_t i) const = 0;
    virtual bool RemoveEntry(std::size_t i) = 0;
    virtual void ApplyChecks(const std::vector<bool>& checked) = 0;
    // Runs the add dialog; true when an entry was added.
    virtual bool RunAdd() = 0;
    virtual bool SaveBook() = 0;
    virtual std::string FileName() const = 0;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_delete;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    bool m_saved = false;
};

class CMailBookDlg : public CBookDlg {
    Q_OBJECT

public:
    CMailBookDlg(CMailBook& book, std::string directory, QWidget* parent = nullptr);

protected:
    void Reload() override;
    std::size_t Count() const override;
    QStringList RowTexts(std::size_t i) const override;
    bool RowEnabled(std::size_t i) const override;
    bool RemoveEntry(std::size_t i) override;
    void ApplyChecks(const std::vector<bool>& checked) override;
    bool RunAdd() override;
    bool SaveBook() override;
    std::string FileName() const override;

private:
    CMailBook& m_book;
    std::string m_directory;
    std::vector<CMailReceiver> m_rows; // the entries the rows show
};

class CMessageBookDlg : public CBookDlg {
    Q_OBJECT

public:
    CMessageBookDlg(CMessageBook& book, std::string directory, SFindComputerOptions find,
                    QWidget* parent = nullptr);

protected:
    void Reload() override;
    std::size_t Count() const override;
    QStringList RowTexts(std::size_t i) const override;
    bool RowEnabled(std::size_t i) const override;
    bool RemoveEntry(std::size_t i) override;
    void ApplyChecks(const std::vector<bool>& checked) override;
    bool RunAdd() override;
    bool SaveBook() override;
    std::string FileName() const override;

private:
    CMessageBook& m_book;
    std::string m_directory;
    SFindComputerOptions m_find;
    std::vector<CMessageReceiver> m_rows;
};

// "Add User": enabled flag, name and e-mail address; OK appends unless the address is blank
// or already in the book (the dialog then stays with its message).
class CAddUserDlg : public QDialog {
    Q_OBJECT

public:
    CAddUserDlg(CMailBook& book, QWidget* parent = nullptr);
    QCheckBox* EnableBox() const { return m_enable; }
    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* AddressEdit() const { return m_address; }
    void accept() override;

private:
    CMailBook& m_book;
    QCheckBox* m_enable;
    QLineEdit* m_name;
    QLineEdit* m_address;
};

// "Add Computer": enabled flag and computer name; "..." finds a computer.
class CAddComputerDlg : public QDialog {
    Q_OBJECT

public:
    CAddComputerDlg(CMessageBook& book, SFindComputerOptions find, QWidget* parent = nullptr);
    QCheckBox* EnableBox() const { return m_enable; }
    QLineEdit* NameEdit() const { return m_name; }
    QPushButton* BrowseButton() const { return m_browse; }
    void accept() override;

private:
    CMessageBook& m_book;
    SFindComputerOptions m_find;
    QCheckBox* m_enable;
    QLineEdit* m_name;
    QPushButton* m_browse;
};
