#include "app/SingleInstance.h"

#include "platform/FileSystem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QPointer>
#include <algorithm>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kHeader[] = "quenby open 1\n";
constexpr char kTaken[] = "taken\n";
// More than any list a file manager hands over; a message beyond it is refused.
constexpr qsizetype kMaxMessage = 256 * 1024 * 1024;

// A socket at a path is used only when the user owns it: in a shared temporary
// folder, another user could have put one there to collect the names.
bool ownedByUser(const QString& name)
{
    if (!name.startsWith(QLatin1Char('/')))
        return true; // Qt places bare names in the temporary folder itself
    struct stat info
    {
    };
    if (::lstat(FileSystem::nativePath(name).constData(), &info) != 0)
        return false;
    return S_ISSOCK(info.st_mode) && info.st_uid == ::getuid();
}

// Parses a whole message; false while it is still incomplete. Throws nothing.
enum class Parse { Incomplete, Complete, Malformed };

Parse parse(const QByteArray& message, QStringList& paths)
{
    const QByteArray header(kHeader);
    if (message.size() < header.size())
        return header.startsWith(message) ? Parse::Incomplete : Parse::Malformed;
    if (!message.startsWith(header))
        return Parse::Malformed;
    const qsizetype countEnd = message.indexOf('\n', header.size());
    if (countEnd < 0)
        return message.size() - header.size() > 20 ? Parse::Malformed : Parse::Incomplete;
    bool ok = false;
    const qlonglong count = message.mid(header.size(), countEnd - header.size()).toLongLong(&ok);
    if (!ok || count < 0)
        return Parse::Malformed;
    QStringList found;
    qsizetype at = countEnd + 1;
    for (qlonglong i = 0; i < count; ++i) {
        const qsizetype end = message.indexOf('\0', at);
        if (end < 0)
            return Parse::Incomplete;
        found.append(FileSystem::pathFromNative(QByteArrayView(message).sliced(at, end - at)));
        at = end + 1;
    }
    if (at != message.size())
        return Parse::Malformed;
    paths = found;
    return Parse::Complete;
}

} // namespace

QString SingleInstance::socketName()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/'))
        return FileSystem::pathFromNative(runtime) + QStringLiteral("/quenby.socket");
    return QDir::tempPath() + QStringLiteral("/quenby-%1.socket").arg(::getuid());
}

QByteArray SingleInstance::encode(const QStringList& paths)
{
    QByteArray message(kHeader);
    message += QByteArray::number(paths.size()) + '\n';
    for (const QString& path : paths)
        message += FileSystem::nativePath(path) + '\0';
    return message;
}

bool SingleInstance::handOver(const QString& name, const QStringList& paths, int timeoutMs)
{
    if (!ownedByUser(name))
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QElapsedTimer clock;
    clock.start();
    auto left = [&] { return std::max(1, timeoutMs - int(clock.elapsed())); };
    socket.write(encode(paths));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(left()))
            return false;
    }
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(left()))
            return false;
        answer += socket.readAll();
    }
    return answer == kTaken;
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent)
{
    // No access options: with them the socket is made elsewhere and renamed into
    // place, which would silently take the place of a running window's socket.
    // Binding at the name itself fails while a socket is there.
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceServer::takeConnection);
}

bool InstanceServer::listen(const QString& name)
{
    if (listenPrivately(name))
        return true;
    if (m_server.serverError() != QAbstractSocket::AddressInUseError)
        return false;
    // Either an instance runs there, or one was killed and left its socket file.
    {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(1000)) {
            probe.abort();
            return false;
        }
    }
    if (!ownedByUser(name))
        return false;
    QLocalServer::removeServer(name);
    return listenPrivately(name);
}

bool InstanceServer::listenPrivately(const QString& name)
{
    if (!m_server.listen(name))
        return false;
    // The socket file is the user's alone (connecting needs write permission).
    const QString path = m_server.fullServerName();
    if (::chmod(FileSystem::nativePath(path).constData(), S_IRUSR | S_IWUSR) != 0) {
        m_server.close();
        return false;
    }
    return true;
}

void InstanceServer::takeConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, received] {
            *received += socket->readAll();
            QStringList paths;
            switch (parse(*received, paths)) {
            case Parse::Incomplete:
                if (received->size() > kMaxMessage)
                    socket->abort();
                return;
            case Parse::Malformed:
                socket->abort();
                return;
            case Parse::Complete:
                break;
            }
            socket->write(kTaken);
            socket->flush();
            emit filesOpened(paths);
        });
    }
}
