#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

// One window a user. The first `quenby` listens on a local socket that only its
// user may use; a later `quenby FILE...` hands its files to that window and ends,
// instead of opening a second window.
namespace SingleInstance {

// The socket for this user: in $XDG_RUNTIME_DIR, which belongs to the user
// alone, or else in the temporary folder under a name with the user's id.
QString socketName();

// Hands `paths` to the instance listening at `name` and waits until it has taken
// them. False when no instance answers there (none runs, or it left only its
// socket file behind), when the socket is not the user's own, or when the
// instance does not take the files within `timeoutMs`.
bool handOver(const QString& name, const QStringList& paths, int timeoutMs = 5000);

// The message that carries `paths`: the paths' own bytes (names need not be
// UTF-8), each ended by a NUL, after a line that says what follows.
QByteArray encode(const QStringList& paths);

} // namespace SingleInstance

// The listening side, in the running window.
class InstanceServer : public QObject
{
    Q_OBJECT
public:
    explicit InstanceServer(QObject* parent = nullptr);

    // Listens at `name`. A socket file left by an instance that was killed is
    // replaced; false when a live instance answers there, or listening fails.
    bool listen(const QString& name);
    QString fullServerName() const { return m_server.fullServerName(); }

signals:
    // Files handed over by a later start, in the order given.
    void filesOpened(const QStringList& paths);

private:
    bool listenPrivately(const QString& name);
    void takeConnection();

    QLocalServer m_server;
};
