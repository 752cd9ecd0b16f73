#pragma once
// The main window's small dialogs: "Input IP" (Add), "Enter Desc." (row description) and the
// about box; and the OK/Cancel row every dialog of the window uses.

#include <QDialog>
#include <QString>

#include <array>
#include <functional>

#include <QDialogButtonBox>
class QLineEdit;

// OK and Cancel labelled from the string table, wired to accept() and reject().
QDialogButtonBox* MakeOkCancel(QDialog* dialog);
// Keeps a dialog at least as wide as its caption and the title bar's buttons need, so that a
// short dialog with a long caption (as in Chinese) shows its caption whole. Call once the
// dialog's box layout is built.
void KeepCaptionRoom(QDialog* dialog);

// An IPv4 address in four fields. An empty field reads as -1. Digits only, three per field;
// a dot or a third digit moves on to the next field, Backspace in an empty field goes back.
class CIpAddressEdit : public QWidget {
    Q_OBJECT

public:
    explicit CIpAddressEdit(QWidget* parent = nullptr);

    void SetFields(const std::array<int, 4>& fields);
    std::array<int, 4> Fields() const;
    // Puts the caret at the end of field `index` (0..3).
    void FocusField(int index);
    QLineEdit* Field(int index) const { return m_fields[static_cast<std::size_t>(index)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLineEdit*, 4> m_fields{};
};

// "Input IP": preset 192.168.0.0 with the caret in the third field. OK asks `accept` (the
// acceptance rule and the discovery towards the address); false shows "Invalid IP Address"
// and keeps the dialog open. A field above 255 is refused before that.
class CInputIpDlg : public QDialog {
    Q_OBJECT

public:
    using Acceptor = std::function<bool(const int fields[4])>;
    CInputIpDlg(Acceptor accept, QWidget* parent = nullptr);

    CIpAddressEdit* AddressEdit() const { return m_edit; }
    void accept() override;

private:
    Acceptor m_accept;
    CIpAddressEdit* m_edit;
};

// "Enter Desc.": one text, "Description:".
class CDescriptionDlg : public QDialog {
    Q_OBJECT

public:
    explicit CDescriptionDlg(QWidget* parent = nullptr);
    QString Text() const;
    QLineEdit* Edit() const { return m_edit; }

private:
    QLineEdit* m_edit;
};

// The about box: program title, an empty line, version and date.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
