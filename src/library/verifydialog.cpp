#include "library/verifydialog.h"

#include "base/library/gameids.h"
#include "base/library/library.h"
#include "widgets/messagebox.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace {

// A question names this many games or files at most, then how many more there are.
constexpr int namedItems = 15;
// The progress bar's scale: bytes are too many for its int.
constexpr int progressSteps = 1000;
// How the files under companion/ are named to the user, like those of flash/ and pic/.
const QLatin1String companionPrefix("companion/");

} // namespace

VerifyDialog::VerifyDialog(Library *library, MessageBox *messages, const QUrl &serverUrl, QWidget *parent)
    : QDialog(parent), m_library(library), m_messages(messages), m_serverUrl(serverUrl), m_verify(library),
      m_status(new QLabel(this)), m_progress(new QProgressBar(this)), m_findings(new QPlainTextEdit(this)),
      m_redownload(new QPushButton(tr("Download again..."), this)),
      m_removeGone(new QPushButton(tr("Remove missing games..."), this)),
      m_deleteOrphans(new QPushButton(tr("Delete unused files..."), this)), m_close(new QPushButton(tr("Cancel"), this))
{
    setObjectName(QStringLiteral("verify_dialog"));
    setWindowTitle(tr("Verify library"));
    m_status->setObjectName(QStringLiteral("verify_status"));
    m_status->setWordWrap(true);
    m_progress->setObjectName(QStringLiteral("verify_progress"));
    m_progress->setRange(0, progressSteps);
    m_findings->setObjectName(QStringLiteral("verify_findings"));
    m_findings->setReadOnly(true);
    m_findings->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_findings->hide();
    m_redownload->setObjectName(QStringLiteral("verify_redownload"));
    m_removeGone->setObjectName(QStringLiteral("verify_removegone"));
    m_deleteOrphans->setObjectName(QStringLiteral("verify_deleteorphans"));
    m_close->setObjectName(QStringLiteral("verify_close"));
    m_close->setDefault(true);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : {m_redownload, m_removeGone, m_deleteOrphans}) {
        button->setAutoDefault(false);
        button->hide();
        buttons->addWidget(button);
    }
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addWidget(m_findings, 1);
    layout->addLayout(buttons);
    resize(560, 200);

    connect(&m_verify, &LibraryVerify::progress, this, &VerifyDialog::showProgress);
    connect(&m_verify, &LibraryVerify::finished, this, &VerifyDialog::verified);
    connect(m_redownload, &QPushButton::clicked, this, &VerifyDialog::redownload);
    connect(m_removeGone, &QPushButton::clicked, this, &VerifyDialog::removeGone);
    connect(m_deleteOrphans, &QPushButton::clicked, this, &VerifyDialog::deleteOrphans);
    connect(m_close, &QPushButton::clicked, this, &VerifyDialog::reject);
}

VerifyDialog::~VerifyDialog() = default;

void VerifyDialog::start()
{
    m_status->setText(tr("Checking the games..."));
    m_progress->setValue(0);
    m_verify.start();
}

void VerifyDialog::reject()
{
    // Cancel stops the checking and shows what it found so far; only then does the dialog close.
    if (m_verify.isRunning()) {
        m_verify.cancel();
        return;
    }
    QDialog::reject();
}

void VerifyDialog::showProgress(int gamesDone, int games, qint64 bytesDone, qint64 bytes)
{
    m_status->setText(tr("Checking the games... %1 of %2").arg(gamesDone).arg(games));
    if (bytes > 0)
        m_progress->setValue(int(bytesDone * progressSteps / bytes));
    else if (games > 0)
        m_progress->setValue(gamesDone * progressSteps / games);
}

void VerifyDialog::verified(const VerifyReport &report)
{
    m_report = report;
    m_progress->hide();
    m_close->setText(tr("Close"));
    if (report.libraryUnreadable) {
        m_status->setText(tr("The library cannot be read."));
        return;
    }
    if (report.cancelled) {
        m_status->setText(tr("Checking was cancelled. Games checked: %1.").arg(report.gamesChecked));
        return;
    }
    showFindings();
}

QVector<GameCheck> VerifyDialog::toRedownload() const
{
    QVector<GameCheck> games;
    if (m_redownloaded)
        return games;
    for (const GameCheck &check : m_report.damaged) {
        if (gameids::isServerGameId(check.game.gameId))
            games.append(check);
    }
    return games;
}

QVector<GameCheck> VerifyDialog::goneImports() const
{
    // The server's games come back by downloading them again; the user's own are only in their files.
    QVector<GameCheck> games;
    for (const GameCheck &check : m_report.damaged) {
        if (check.movie == GameCheck::Movie::Missing && gameids::isOwnGame(check.game.gameId))
            games.append(check);
    }
    return games;
}

QList<QUrl> VerifyDialog::redownloadLinks() const
{
    QList<QUrl> links;
    for (const GameCheck &check : toRedownload())
        links.append(m_serverUrl.resolved(QUrl(QStringLiteral("game.asp?id=") + check.game.gameId.trimmed())));
    return links;
}

void VerifyDialog::showFindings()
{
    QStringList lines;
    for (const GameCheck &check : std::as_const(m_report.damaged)) {
        const QString name = check.game.title;
        switch (check.movie) {
        case GameCheck::Movie::Intact:
            break;
        case GameCheck::Movie::Missing:
            lines << tr("%1: the movie is missing").arg(name);
            break;
        case GameCheck::Movie::SizeChanged:
            lines << tr("%1: the movie's size has changed").arg(name);
            break;
        case GameCheck::Movie::ContentChanged:
            lines << tr("%1: the movie's content has changed").arg(name);
            break;
        case GameCheck::Movie::Unreadable:
            lines << tr("%1: the movie cannot be read").arg(name);
            break;
        }
        if (check.pictureMissing)
            lines << tr("%1: the picture is missing").arg(name);
        for (const QString &file : check.keptMissing)
            lines << tr("%1: the file %2 kept with the game is missing").arg(name, file);
        for (const QString &file : check.keptChanged)
            lines << tr("%1: the file %2 kept with the game has changed").arg(name, file);
    }
    for (const QString &file : std::as_const(m_report.orphanMovies))
        lines << tr("No game uses %1").arg(QStringLiteral("flash/") + file);
    for (const QString &file : std::as_const(m_report.orphanPictures))
        lines << tr("No game uses %1").arg(QStringLiteral("pic/") + file);
    for (const QString &file : std::as_const(m_report.orphanCompanions))
        lines << tr("No game uses %1").arg(companionPrefix + file);
    lines += m_done;

    const int orphans =
        int(m_report.orphanMovies.size() + m_report.orphanPictures.size() + m_report.orphanCompanions.size());
    if (m_report.damaged.isEmpty() && orphans == 0)
        m_status->setText(tr("Games checked: %1. No problems found.").arg(m_report.gamesChecked));
    else
        m_status->setText(tr("Games checked: %1. Games with problems: %2. Files no game uses: %3.")
                              .arg(m_report.gamesChecked)
                              .arg(m_report.damaged.size())
                              .arg(orphans));
    m_findings->setPlainText(lines.join(QLatin1Char('\n')));
    m_findings->setVisible(!lines.isEmpty());
    m_redownload->setVisible(!toRedownload().isEmpty());
    m_removeGone->setVisible(!goneImports().isEmpty());
    m_deleteOrphans->setVisible(orphans > 0);
    if (!lines.isEmpty() && height() < 400)
        resize(width(), 400);
}

bool VerifyDialog::confirm(const QString &question, const QStringList &items)
{
    QStringList named = items.mid(0, namedItems);
    if (items.size() > namedItems)
        named << tr("...and %1 more.").arg(items.size() - namedItems);
    return m_messages->ask(question + QStringLiteral("\n\n") + named.join(QLatin1Char('\n')), this);
}

void VerifyDialog::redownload()
{
    const QVector<GameCheck> games = toRedownload();
    QStringList names;
    for (const GameCheck &check : games)
        names << check.game.title;
    if (games.isEmpty() || !confirm(tr("Download these games again from the game server?"), names))
        return;
    const QList<QUrl> links = redownloadLinks();
    m_redownloaded = true;
    m_done << tr("Games downloading again: %1").arg(links.size());
    showFindings();
    emit redownloadRequested(links);
}

void VerifyDialog::removeGone()
{
    const QVector<GameCheck> games = goneImports();
    QStringList names;
    for (const GameCheck &check : games)
        names << check.game.title;
    if (games.isEmpty() || !confirm(tr("Remove these games from the library? Their movies are gone."), names))
        return;
    int removed = 0;
    QSet<qint64> gone;
    for (const GameCheck &check : games) {
        if (m_library->deleteGame(check.game.id).status == Deletion::Status::Deleted) {
            gone.insert(check.game.id);
            ++removed;
        }
    }
    m_report.damaged.removeIf([&gone](const GameCheck &check) { return gone.contains(check.game.id); });
    m_done << tr("Games removed from the library: %1").arg(removed);
    if (removed < games.size())
        m_messages->show(MessageBox::Icon::Warning, tr("Some games could not be removed from the library."), this);
    showFindings();
}

void VerifyDialog::deleteOrphans()
{
    QStringList files;
    for (const QString &file : std::as_const(m_report.orphanMovies))
        files << QStringLiteral("flash/") + file;
    for (const QString &file : std::as_const(m_report.orphanPictures))
        files << QStringLiteral("pic/") + file;
    for (const QString &file : std::as_const(m_report.orphanCompanions))
        files << companionPrefix + file;
    if (files.isEmpty() || !confirm(tr("Delete these files? No game in the library uses them."), files))
        return;
    int deleted = 0;
    QStringList kept;
    // Whether a file is still unused is asked again as it goes: a game may have been recorded meanwhile.
    for (GameFile kind : {GameFile::Movie, GameFile::Picture}) {
        QStringList &names = kind == GameFile::Movie ? m_report.orphanMovies : m_report.orphanPictures;
        for (const QString &name : std::as_const(names)) {
            if (m_library->removeOrphan(kind, name))
                ++deleted;
            else if (QFileInfo::exists(m_library->folders().filePath(kind, name)))
                kept << name;
        }
        names.clear();
    }
    const QString companionRoot = m_library->folders().companionRoot() + QLatin1Char('/');
    for (const QString &path : std::as_const(m_report.orphanCompanions)) {
        const QFileInfo at(companionRoot + path);
        if (m_library->removeOrphanCompanion(path))
            ++deleted;
        else if (at.exists() || at.isSymLink())
            kept << companionPrefix + path;
    }
    m_report.orphanCompanions.clear();
    m_done << tr("Unused files deleted: %1").arg(deleted);
    if (!kept.isEmpty())
        m_messages->show(MessageBox::Icon::Warning,
                         tr("These files were not deleted:") + QLatin1Char('\n') + kept.join(QLatin1Char('\n')), this);
    showFindings();
}
