// One copy of the window per user: a lock file and a local socket in the user's own runtime
// folder. The first copy holds the lock and answers; a later copy asks it to show itself.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

class CSingleInstance : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kLockName = "Mutex_Ombrix";
    static constexpr const char* kMessage = "Ombrix-8BFB94D6-CA76-48d9-8EE5-FF17C4950633";

    // An empty folder means the user's runtime folder ($XDG_RUNTIME_DIR, which only the user
    // may enter), never a shared temporary folder where another user could take the names.
    explicit CSingleInstance(QString folder = {}, QObject* parent = nullptr);
    ~CSingleInstance() override;

    // True for the first copy: the lock is taken atomically (two copies started at the same
    // moment cannot both win) and the socket listens. The socket file is removed only by the
    // lock holder.
    bool Acquire();
    // For a later copy: asks the first to show itself and waits for its answer. False when
    // nobody answered in time (the first copy is still starting or hangs).
    bool AskFirstToShow(int timeoutMs = 1000);

    QString LockPath() const;
    QString SocketPath() const;

signals:
    void ShowRequested();

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
