#include "rename/RunJournal.h"

#include "platform/FileSystem.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kMagic[] = "quenby-journal 1";

Failure fileFailure(const QString& path, int err)
{
    return Failure(FileSystem::displayPath(path) + QStringLiteral(": ") +
                       QString::fromLocal8Bit(std::strerror(err)),
                   err);
}

Failure damaged(const QString& path, int line, const char* what)
{
    return Failure(QStringLiteral("%1: the journal is damaged (line %2: %3)")
                       .arg(FileSystem::displayPath(path))
                       .arg(line)
                       .arg(QLatin1String(what)),
                   EINVAL);
}

// Control characters, the blank and "\" as \xHH: a record stays on one line and
// its fields split at blanks, whatever bytes a name holds.
QByteArray escaped(const QByteArray& bytes)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f || c == '\\') {
            out.append("\\x");
            out.append(hex[u >> 4]);
            out.append(hex[u & 15]);
        } else {
            out.append(c);
        }
    }
    return out;
}

std::optional<QByteArray> unescaped(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\') {
            out.append(c);
            continue;
        }
        if (i + 3 >= text.size() || text[i + 1] != 'x')
            return std::nullopt;
        bool ok = false;
        const int value = QByteArray(text.sliced(i + 2, 2).data(), 2).toInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        out.append(char(value));
        i += 3;
    }
    return out;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray isoNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1();
}

template <typename T> std::optional<T> number(QByteArrayView text)
{
    bool ok = false;
    T value;
    if constexpr (std::is_signed_v<T>)
        value = T(text.toLongLong(&ok));
    else
        value = T(text.toULongLong(&ok));
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

namespace RunJournal {

QString defaultFolder()
{
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    if (state.startsWith('/'))
        return FileSystem::pathFromNative(state) + QStringLiteral("/quenby");
    return QDir::homePath() + QStringLiteral("/.local/state/quenby");
}

QString journalPath(const QString& folder, int id)
{
    return folder + QStringLiteral("/run-%1.journal").arg(id);
}

} // namespace RunJournal

CopyIdentity CopyIdentity::fromStat(const struct stat& st)
{
    CopyIdentity id;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.mtimeSeconds = qint64(st.st_mtim.tv_sec);
    id.mtimeNanoseconds = qint64(st.st_mtim.tv_nsec);
    return id;
}

CopyIdentity CopyIdentity::fromStamp(const FileSystem::FileStamp& stamp)
{
    CopyIdentity id;
    id.device = quint64(stamp.device);
    id.inode = quint64(stamp.inode);
    id.size = qint64(stamp.size);
    constexpr qint64 kBillion = 1000000000;
    id.mtimeSeconds = stamp.modifiedNs / kBillion;
    id.mtimeNanoseconds = stamp.modifiedNs % kBillion;
    if (id.mtimeNanoseconds < 0) { // before 1970: as stat gives it, nanoseconds count up
        id.mtimeNanoseconds += kBillion;
        --id.mtimeSeconds;
    }
    return id;
}

CopyIdentity CopyIdentity::ofPath(const QString& path)
{
    struct stat st;
    if (::lstat(FileSystem::nativePath(path).constData(), &st) != 0)
        throw fileFailure(path, errno);
    return fromStat(st);
}

RunRecorder::RunRecorder(QString journalFolder, QString program)
    : m_journalFolder(std::move(journalFolder)), m_program(std::move(program))
{
}

RunRecorder::~RunRecorder()
{
    if (m_fd >= 0) {
        ::fdatasync(m_fd);
        ::close(m_fd);
    }
}

QString RunRecorder::path() const
{
    return m_id > 0 ? RunJournal::journalPath(m_journalFolder, m_id) : m_journalFolder;
}

void RunRecorder::create()
{
    if (!QDir().mkpath(m_journalFolder)) {
        // Find out why, for the message: the first part of the path that fails.
        struct stat st;
        const int err =
            ::stat(FileSystem::nativePath(m_journalFolder).constData(), &st) == 0 ? ENOTDIR : errno;
        throw fileFailure(m_journalFolder, err);
    }
    const RunJournals journals(m_journalFolder);
    const QList<int> ids = journals.ids();
    int id = ids.isEmpty() ? 1 : ids.last() + 1;
    // Another run may take the same number at the same moment: the exclusive
    // create decides, and the loser takes the next one.
    for (;; ++id) {
        const QByteArray path =
            FileSystem::nativePath(RunJournal::journalPath(m_journalFolder, id));
        m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            break;
        if (errno != EEXIST)
            throw fileFailure(RunJournal::journalPath(m_journalFolder, id), errno);
    }
    m_id = id;
    append(QByteArray(kMagic) + '\n' + "run " + QByteArray::number(id) + ' ' + isoNow() + ' ' +
           escaped(FileSystem::nativePath(m_program)) + '\n');

    // Only the newest runs are kept; a journal that cannot go simply stays.
    QList<int> all = ids;
    all.append(id);
    std::sort(all.begin(), all.end());
    for (qsizetype i = 0; i + RunJournal::kKeptRuns < all.size(); ++i)
        ::unlink(FileSystem::nativePath(RunJournal::journalPath(m_journalFolder, all.at(i)))
                     .constData());
}

void RunRecorder::append(const QByteArray& line)
{
    if (!writeAll(m_fd, line)) {
        const int err = errno;
        m_failed = true;
        throw fileFailure(path(), err);
    }
}

void RunRecorder::record(const QString& target, const CopyIdentity& identity)
{
    if (m_failed)
        return;
    try {
        if (m_fd < 0)
            create();
        const qsizetype slash = target.lastIndexOf(QLatin1Char('/'));
        QString folder = slash > 0 ? target.left(slash) : QStringLiteral("/");
        const QString name = target.mid(slash + 1);
        if (slash < 0 || !folder.startsWith(QLatin1Char('/'))) {
            // A results folder given relative to where the run started: an undo
            // may start anywhere. A run never changes its working folder.
            if (m_workingFolder.isEmpty()) {
                char cwd[PATH_MAX];
                if (!::getcwd(cwd, sizeof cwd))
                    throw fileFailure(slash < 0 ? QStringLiteral(".") : folder, errno);
                m_workingFolder = FileSystem::pathFromNative(cwd);
            }
            folder = m_workingFolder + (slash < 0 ? QString() : QLatin1Char('/') + folder);
        }
        QByteArray line;
        if (folder != m_folder)
            line += "folder " + escaped(FileSystem::nativePath(folder)) + '\n';
        line += "copy " + QByteArray::number(identity.device) + ' ' +
                QByteArray::number(identity.inode) + ' ' + QByteArray::number(identity.size) + ' ' +
                QByteArray::number(identity.mtimeSeconds) + ' ' +
                QByteArray::number(identity.mtimeNanoseconds) + ' ' +
                escaped(FileSystem::nativePath(name)) + '\n';
        // One write a record: a run cut short leaves whole records only.
        append(line);
        m_folder = folder;
    } catch (const Failure&) {
        m_failed = true;
        throw;
    }
}

RunJournals::RunJournals(QString folder) : m_folder(std::move(folder)) {}

QList<int> RunJournals::ids() const
{
    QList<int> ids;
    QStringList names;
    try {
        names = FileSystem::entryNames(m_folder);
    } catch (const Failure&) {
        return ids; // no folder yet: no runs
    }
    static const QRegularExpression pattern(QStringLiteral("^run-([1-9][0-9]{0,8})\\.journal$"));
    for (const QString& name : std::as_const(names)) {
        const auto match = pattern.match(name);
        if (match.hasMatch())
            ids.append(match.captured(1).toInt());
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

RecordedRun RunJournals::read(int id) const
{
    const QString path = RunJournal::journalPath(m_folder, id);
    QByteArray content;
    try {
        content = FileSystem::readWholeFile(path);
    } catch (const Failure& failure) {
        throw Failure(FileSystem::displayPath(path) + QStringLiteral(": ") + failure.description(),
                      failure.code());
    }
    // A last line without its line break is a record cut short by a crash: the
    // journal holds what came before it.
    const qsizetype end = content.lastIndexOf('\n') + 1;
    const QList<QByteArray> lines = content.left(end).split('\n');

    RecordedRun run;
    run.id = id;
    run.journal = path;
    if (lines.size() < 3 || lines.at(0) != kMagic)
        throw damaged(path, 1, "not a Quenby run journal");
    const QList<QByteArray> head = lines.at(1).split(' ');
    if (head.size() != 4 || head.at(0) != "run" || number<int>(head.at(1)) != id)
        throw damaged(path, 2, "no run record");
    run.started = QDateTime::fromString(QString::fromLatin1(head.at(2)), Qt::ISODateWithMs);
    const auto program = unescaped(head.at(3));
    if (!run.started.isValid() || !program)
        throw damaged(path, 2, "no run record");
    run.program = FileSystem::pathFromNative(*program);

    QString folder;
    for (qsizetype i = 2; i < lines.size() - 1; ++i) {
        const QByteArray& line = lines.at(i);
        const int lineNumber = int(i + 1);
        if (line.startsWith("folder ")) {
            const auto bytes = unescaped(QByteArrayView(line).sliced(7));
            if (!bytes || !bytes->startsWith('/'))
                throw damaged(path, lineNumber, "not a folder");
            folder = FileSystem::pathFromNative(*bytes);
        } else if (line.startsWith("copy ")) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() != 7 || folder.isEmpty())
                throw damaged(path, lineNumber, "not a copy");
            const auto device = number<quint64>(fields.at(1));
            const auto inode = number<quint64>(fields.at(2));
            const auto size = number<qint64>(fields.at(3));
            const auto seconds = number<qint64>(fields.at(4));
            const auto nanoseconds = number<qint64>(fields.at(5));
            const auto name = unescaped(fields.at(6));
            // Only a name within the folder: nothing recorded can reach outside it.
            if (!device || !inode || !size || !seconds || !nanoseconds || !name ||
                name->isEmpty() || name->contains('/') || *name == "." || *name == "..")
                throw damaged(path, lineNumber, "not a copy");
            run.copies.append({folder, FileSystem::pathFromNative(*name),
                               CopyIdentity{*device, *inode, *size, *seconds, *nanoseconds}});
        } else if (line.startsWith("undone ")) {
            const QDateTime when =
                QDateTime::fromString(QString::fromLatin1(line.mid(7)), Qt::ISODateWithMs);
            if (!when.isValid())
                throw damaged(path, lineNumber, "not an undo record");
            run.undone = when;
        } else {
            throw damaged(path, lineNumber, "unknown record");
        }
    }
    return run;
}

int UndoResult::count(Status status) const
{
    return int(std::count_if(items.begin(), items.end(),
                             [&](const Item& item) { return item.status == status; }));
}

QString undoStatusKey(UndoResult::Status status, bool dryRun)
{
    switch (status) {
    case UndoResult::Status::Removed:
        return dryRun ? QStringLiteral("planned") : QStringLiteral("removed");
    case UndoResult::Status::Changed:
        return QStringLiteral("changed");
    case UndoResult::Status::Replaced:
        return QStringLiteral("replaced");
    case UndoResult::Status::Gone:
        return QStringLiteral("gone");
    case UndoResult::Status::Failed:
        break;
    }
    return QStringLiteral("failed");
}

namespace {

struct Folder
{
    int fd = -1;
    ~Folder()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Appends the undo record, first dropping a record that a crash cut short, so
// that the journal still reads.
void markUndone(const QString& journal)
{
    const QByteArray native = FileSystem::nativePath(journal);
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw fileFailure(journal, errno);
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && st.st_size > 0) {
        QByteArray content(st.st_size, Qt::Uninitialized);
        ok = ::pread(fd, content.data(), size_t(st.st_size), 0) == st.st_size;
        const qsizetype whole = content.lastIndexOf('\n') + 1;
        if (ok && whole < content.size())
            ok = ::ftruncate(fd, whole) == 0;
        ok = ok && ::lseek(fd, 0, SEEK_END) >= 0;
    }
    ok = ok && writeAll(fd, "undone " + isoNow() + '\n') && ::fdatasync(fd) == 0;
    const int err = errno;
    ::close(fd);
    if (!ok)
        throw fileFailure(journal, err);
}

} // namespace

UndoResult undoRun(const RecordedRun& run, bool dryRun)
{
    UndoResult result;
    result.dryRun = dryRun;
    if (run.undone) {
        result.undoneBefore = run.undone;
        return result;
    }

    // Every folder is opened before anything is removed: a run is undone as a
    // whole or not at all when one of its folders is gone.
    std::map<QString, Folder> folders;
    for (const RecordedRun::Copy& copy : run.copies) {
        Folder& folder = folders[copy.folder];
        if (folder.fd >= 0)
            continue;
        folder.fd = ::open(FileSystem::nativePath(copy.folder).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder.fd < 0) {
            const int err = errno;
            Failure failure = fileFailure(copy.folder, err);
            throw Failure(failure.description(), err,
                          err == ENOENT ? Failure::Kind::ResultsFolderGone : Failure::Kind::Other);
        }
    }

    for (const RecordedRun::Copy& copy : run.copies) {
        const int dirFd = folders[copy.folder].fd;
        const QByteArray name = FileSystem::nativePath(copy.name);
        UndoResult::Item item;
        item.target = copy.target();
        struct stat st;
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                item.status = UndoResult::Status::Gone;
            } else {
                item.status = UndoResult::Status::Failed;
                item.failure = Failure::fromErrno(errno);
            }
        } else {
            const CopyIdentity now = CopyIdentity::fromStat(st);
            if (!S_ISREG(st.st_mode) || now.device != copy.identity.device ||
                now.inode != copy.identity.inode)
                item.status = UndoResult::Status::Replaced;
            else if (!(now == copy.identity))
                item.status = UndoResult::Status::Changed;
            else if (!dryRun && ::unlinkat(dirFd, name.constData(), 0) != 0) {
                item.status =
                    errno == ENOENT ? UndoResult::Status::Gone : UndoResult::Status::Failed;
                if (errno != ENOENT)
                    item.failure = Failure::fromErrno(errno);
            }
        }
        result.items.append(item);
    }

    if (!dryRun) {
        try {
            markUndone(run.journal);
        } catch (const Failure& failure) {
            result.markFailure = failure;
        }
    }
    return result;
}
