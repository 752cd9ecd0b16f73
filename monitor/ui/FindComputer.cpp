#include "FindComputer.h"

#include "AtomicFile.h"
#include "SmallDialogs.h"
#include "StringIds.h"
#include "UiText.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace {

constexpr std::size_t HOSTS_FILE_LIMIT = 4 * 1024 * 1024;

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

bool PlausibleHostName(std::string_view name) {
    if (name.empty() || name.size() > 253) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_';
    });
}

template <class F> void ForEachLine(std::string_view text, F f) {
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = text.find('\n', pos);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        f(text.substr(pos, stop - pos));
        if (end == std::string_view::npos) {
            break;
        }
        pos = end + 1;
    }
}

} // namespace

std::vector<std::string> ParseHostsFile(std::string_view text) {
    std::vector<std::string> names;
    std::set<std::string, std::less<>> seen;
    ForEachLine(text, [&](std::string_view line) {
        const std::size_t hash = line.find('#');
        if (hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        const std::vector<std::string_view> words = Words(line);
        if (words.size() < 2) {
            return;
        }
        // The first word is the address; the rest name it.
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (PlausibleHostName(words[i]) && seen.insert(std::string(words[i])).second) {
                names.emplace_back(words[i]);
            }
        }
    });
    return names;
}

std::vector<std::string> ParseNetbiosStatus(std::string_view output) {
    std::vector<std::string> names;
    std::set<std::string, std::less<>> seen;
    ForEachLine(output, [&](std::string_view line) {
        // "\tNAME            <20> -         B <ACTIVE>": the name is padded to 15 characters
        // and may hold blanks of its own.
        if (line.empty() || (line[0] != '\t' && line[0] != ' ')) {
            return;
        }
        const std::size_t open = line.find('<');
        if (open == std::string_view::npos || open + 4 > line.size() || line[open + 3] != '>') {
            return;
        }
        const std::string_view suffix = line.substr(open + 1, 2);
        if (suffix != "00" && suffix != "20") {
            return;
        }
        const std::string_view rest = line.substr(open + 4);
        if (rest.find(" - ") == std::string_view::npos ||
            rest.find("<GROUP>") != std::string_view::npos) {
            return;
        }
        std::string_view name = line.substr(0, open);
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) {
            name.remove_prefix(1);
        }
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
            name.remove_suffix(1);
        }
        if (name.empty() || name.size() > 15 || std::any_of(name.begin(), name.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20;
            })) {
            return;
        }
        if (seen.insert(std::string(name)).second) {
            names.emplace_back(name);
        }
    });
    return names;
}

CFindComputerDlg::CFindComputerDlg(const SFindComputerOptions& options, QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)), m_name(new QLineEdit(this)) {
    setWindowTitle(UiText(IDS_FIND_COMPUTER_CAPTION));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(new QLabel(UiText(IDS_ADDCOMPUTER_NAME), this));
    layout->addWidget(m_name);
    layout->addWidget(MakeOkCancel(this));
    resize(320, 360);

    connect(m_list, &QListWidget::currentTextChanged, m_name, &QLineEdit::setText);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_name->setText(item->text());
        accept();
    });

    std::string text;
    if (ReadWholeFile(options.hostsFile, text, HOSTS_FILE_LIMIT) == EReadResult::Ok) {
        AddNames(ParseHostsFile(text));
    }
    if (options.browseNetwork) {
        StartBrowse(options);
    }
}

CFindComputerDlg::~CFindComputerDlg() {
    if (m_browse != nullptr && m_browse->state() != QProcess::NotRunning) {
        m_browse->kill();
        m_browse->waitForFinished(1000);
    }
}

QString CFindComputerDlg::Name() const {
    return m_name->text().trimmed();
}

bool CFindComputerDlg::Browsing() const {
    return m_browse != nullptr && m_browse->state() != QProcess::NotRunning;
}

void CFindComputerDlg::AddNames(const std::vector<std::string>& names) {
    for (const std::string& n : names) {
        const QString name = FromUtf8(n);
        if (m_list->findItems(name, Qt::MatchFixedString | Qt::MatchCaseSensitive).isEmpty()) {
            m_list->addItem(name);
        }
    }
}

void CFindComputerDlg::StartBrowse(const SFindComputerOptions& options) {
    const QString program =
        QStandardPaths::findExecutable(QString::fromStdString(options.nmblookup));
    if (program.isEmpty()) {
        return;
    }
    m_browse = new QProcess(this);
    m_browse->setProcessChannelMode(QProcess::SeparateChannels);
    m_browse->setStandardInputFile(QProcess::nullDevice());
    connect(m_browse, &QProcess::finished, this, [this] {
        const QByteArray out = m_browse->readAllStandardOutput();
        AddNames(ParseNetbiosStatus(std::string_view(out.constData(), out.size())));
    });
    // A network that never answers must not keep the query alive.
    QTimer::singleShot(options.browseTimeoutMs, m_browse, [this] {
        if (m_browse->state() != QProcess::NotRunning) {
            m_browse->kill();
        }
    });
    m_browse->start(program, {QStringLiteral("-S"), QStringLiteral("*")});
}
