#pragma once
// TSingleInstance: one program per configuration file. The first program that starts on a
// configuration file holds a lock file and listens on a local socket, both in the user's
// runtime folder and named after that file; a later start finds the lock taken and asks the
// first, through the socket, to come to the front. Two copies of the program with different
// configuration files are two programs and do not meet. A lock left by a program that died
// is taken over. A Qt object: create and use it on the UI thread only.

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

namespace pelmora {

class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Claim {
        First,   // this program holds the place; ShowRequested fires when a later start asks
        Running, // another living program holds it
        Failed,  // the runtime folder cannot hold the lock or the socket: run as if alone
    };

    // `configFileName` names the configuration file the program works on; `folder` is where
    // the lock and the socket live (the runtime folder, $XDG_RUNTIME_DIR, when empty).
    explicit TSingleInstance(const QString& configFileName, const QString& folder = QString(),
                             QObject* parent = nullptr);
    // Gives the place up: the socket is closed and the lock file removed.
    ~TSingleInstance() override;

    // Takes the place without waiting. Returns Running when another program holds it.
    Claim TryClaim();
    // Asks the program that holds the place to bring its window to the front, waiting up to
    // `timeoutMs` for it to listen and to answer (it may be starting up). Returns true when it
    // answered.
    bool AskToShow(int timeoutMs = 5000) const;

    QString LockFileName() const { return m_base + QStringLiteral(".lock"); }
    QString SocketName() const { return m_base + QStringLiteral(".socket"); }

signals:
    // A later start asked this program to show itself.
    void ShowRequested();

private:
    void acceptConnection();

    QString m_base; // folder + "/pelmora-" + a digest of the configuration file's path
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace pelmora
