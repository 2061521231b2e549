#pragma once
// TSDirDlg: a folder browser over Qt's own folder dialog. Caption and Directory go in,
// Execute() shows the dialog modally, and Directory holds the chosen folder after a true
// result; OnChange fires while the dialog is open each time the user moves to another
// folder. UI thread only.

#include <QObject>
#include <QString>

#include <functional>

class QFileDialog;

namespace pelmora {

class TSDirDlg : public QObject
{
    Q_OBJECT
public:
    // Runs the prepared dialog and returns its result. Tests replace it to answer the
    // dialog without showing it.
    using Runner = std::function<int(QFileDialog&)>;

    explicit TSDirDlg(QObject* parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption) { m_caption = caption; }
    QString Directory() const { return m_directory; }
    void setDirectory(const QString& directory) { m_directory = directory; }

    // True when the user chose a folder with OK; Directory then holds it. False when the
    // dialog was cancelled; Directory may still have followed the user's moves.
    bool Execute();

    // The folder the dialog opens in for `directory`: the current folder when empty, and
    // without a trailing separator unless it is the root.
    static QString StartDirectory(const QString& directory);

    static void SetRunner(Runner runner);

signals:
    void OnChange(QObject* sender);

private:
    void followSelection(const QString& path);

    QString m_caption;
    QString m_directory;
};

} // namespace pelmora
