#include "platform/widgets/DirDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace pelmora {

namespace {

TSDirDlg::Runner& runner()
{
    static TSDirDlg::Runner current;
    return current;
}

} // namespace

TSDirDlg::TSDirDlg(QObject* parent) : QObject(parent), m_caption(QStringLiteral("Please select a folder")) {}

void TSDirDlg::SetRunner(Runner newRunner)
{
    runner() = std::move(newRunner);
}

QString TSDirDlg::StartDirectory(const QString& directory)
{
    QString start = directory.isEmpty() ? QDir::currentPath() : directory;
    if (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);
    return start;
}

void TSDirDlg::followSelection(const QString& path)
{
    // Only a folder that exists on the file system is a valid choice; anything else
    // leaves Directory where it was.
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return;
    m_directory = QDir::cleanPath(path);
    emit OnChange(this);
}

bool TSDirDlg::Execute()
{
    m_directory = StartDirectory(m_directory);

    // Qt's own dialog rather than the desktop's: only it reports the selection while open.
    QFileDialog dialog(QApplication::activeWindow(), m_caption);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (QFileInfo(m_directory).isDir())
        dialog.setDirectory(m_directory);

    connect(&dialog, &QFileDialog::currentChanged, this, &TSDirDlg::followSelection);
    connect(&dialog, &QFileDialog::directoryEntered, this, &TSDirDlg::followSelection);

    const int result = runner() ? runner()(dialog) : dialog.exec();
    if (result != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    const QString path = chosen.isEmpty() ? dialog.directory().absolutePath() : chosen.constFirst();
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    m_directory = StartDirectory(QDir::cleanPath(path));
    return true;
}

} // namespace pelmora
