#include "SmallDialogs.h"

#include "Pictures.h"
#include "Prompt.h"
#include "StringIds.h"
#include "UiText.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpacerItem>
#include <QVBoxLayout>

QDialogButtonBox* MakeOkCancel(QDialog* dialog) {
    auto* box = new QDialogButtonBox(dialog);
    QPushButton* ok = box->addButton(UiText(IDS_BUTTON_OK), QDialogButtonBox::AcceptRole);
    box->addButton(UiText(IDS_BUTTON_CANCEL), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

void KeepCaptionRoom(QDialog* dialog) {
    auto* layout = qobject_cast<QBoxLayout*>(dialog->layout());
    if (layout == nullptr) {
        return;
    }
    QFont bold = dialog->font();
    bold.setBold(true);
    const int room = QFontMetrics(bold).horizontalAdvance(dialog->windowTitle()) + 110;
    layout->addItem(new QSpacerItem(room, 0, QSizePolicy::Minimum, QSizePolicy::Fixed));
}

// --- CIpAddressEdit ---

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QWidget(parent) {
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setAutoFillBackground(true);
    frame->setBackgroundRole(QPalette::Base);
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(4, 1, 4, 1);
    row->setSpacing(0);
    const auto* digits = new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), this);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        auto* edit = new QLineEdit(frame);
        edit->setFrame(false);
        edit->setValidator(digits);
        edit->setMaxLength(3);
        edit->setAlignment(Qt::AlignCenter);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 4);
        edit->installEventFilter(this);
        m_fields[i] = edit;
        row->addWidget(edit);
        if (i + 1 < m_fields.size()) {
            row->addWidget(new QLabel(QStringLiteral("."), frame));
        }
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i + 1 < m_fields.size()) {
                FocusField(static_cast<int>(i) + 1);
                m_fields[i + 1]->selectAll();
            }
        });
    }
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    setFocusProxy(m_fields[0]);
}

void CIpAddressEdit::SetFields(const std::array<int, 4>& fields) {
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i]->setText(fields[i] < 0 ? QString() : QString::number(fields[i]));
    }
}

std::array<int, 4> CIpAddressEdit::Fields() const {
    std::array<int, 4> out{};
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const QString t = m_fields[i]->text();
        out[i] = t.isEmpty() ? -1 : t.toInt();
    }
    return out;
}

void CIpAddressEdit::FocusField(int index) {
    QLineEdit* edit = m_fields[static_cast<std::size_t>(index)];
    edit->setFocus();
    edit->setCursorPosition(static_cast<int>(edit->text().size()));
}

bool CIpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (watched != m_fields[i]) {
            continue;
        }
        const bool dot = key->text() == QStringLiteral(".");
        if (dot) {
            if (i + 1 < m_fields.size() && !m_fields[i]->text().isEmpty()) {
                FocusField(static_cast<int>(i) + 1);
                m_fields[i + 1]->selectAll();
            }
            return true;
        }
        if (key->key() == Qt::Key_Backspace && i > 0 && m_fields[i]->cursorPosition() == 0 &&
            !m_fields[i]->hasSelectedText()) {
            FocusField(static_cast<int>(i) - 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// --- CInputIpDlg ---

CInputIpDlg::CInputIpDlg(Acceptor accept, QWidget* parent)
    : QDialog(parent), m_accept(std::move(accept)), m_edit(new CIpAddressEdit(this)) {
    setWindowTitle(UiText(IDS_INPUT_IP_CAPTION));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit);
    layout->addWidget(MakeOkCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionRoom(this);
    m_edit->SetFields({192, 168, 0, 0});
    m_edit->FocusField(2);
}

void CInputIpDlg::accept() {
    const std::array<int, 4> fields = m_edit->Fields();
    for (int i = 0; i < 4; ++i) {
        if (fields[static_cast<std::size_t>(i)] > 255) {
            Prompt::Tell(this, FromUtf8(FormatText(IDS_PROMPT_INT_RANGE, 0, 255)));
            m_edit->FocusField(i);
            m_edit->Field(i)->selectAll();
            return;
        }
    }
    if (!m_accept || !m_accept(fields.data())) {
        Prompt::Tell(this, IDS_INVALID_IP_ADDRESS);
        return;
    }
    QDialog::accept();
}

// --- CDescriptionDlg ---

CDescriptionDlg::CDescriptionDlg(QWidget* parent) : QDialog(parent), m_edit(new QLineEdit(this)) {
    setWindowTitle(UiText(IDS_DESC_CAPTION));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(UiText(IDS_DESC_LABEL), this));
    row->addWidget(m_edit, 1);
    layout->addLayout(row);
    layout->addWidget(MakeOkCancel(this));
    KeepCaptionRoom(this);
    m_edit->setMinimumWidth(240);
    m_edit->setFocus();
}

QString CDescriptionDlg::Text() const {
    return m_edit->text();
}

// --- CAboutDlg ---

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(UiText(IDS_ABOUT_CAPTION));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setPixmap(Pictures::Application().pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);
    row->addWidget(picture);
    auto* text =
        new QLabel(UiText(IDS_APP_TITLE) + QStringLiteral("\n\n") + UiText(IDS_ABOUT_VERSION) +
                       QStringLiteral("\n") + UiText(IDS_ABOUT_DATE),
                   this);
    text->setObjectName(QStringLiteral("aboutText"));
    row->addWidget(text, 1);
    row->setSpacing(16);
    layout->addLayout(row);
    auto* box = new QDialogButtonBox(this);
    QPushButton* ok = box->addButton(UiText(IDS_BUTTON_OK), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionRoom(this);
}
