#include "ini.h"
#include "errors.h"

#include "platform/exception.h"
#include "platform/files.h"
#include "platform/gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ini {

namespace {

QString &fixedPath()
{
    static QString path;
    return path;
}

QByteArray nativePath(const QString &path) { return QFile::encodeName(path); }

[[noreturn]] void throwIo(int err, const QString &path)
{
    QString reason;
    switch (err) {
    case ENOENT:
        reason = QFileInfo(path).absoluteDir().exists() ? text::fileNotFound() : text::pathNotFound();
        break;
    case ENOTDIR: reason = text::pathNotFound(); break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: reason = text::accessDenied(); break;
    case ENOSPC:
    case EDQUOT: reason = text::diskFull(); break;
    default: reason = text::ioError(err); break;
    }
    throw EInOutError(text::onFile(reason, path));
}

// Closes the descriptor on every way out.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    // Closes now and reports the error a delayed write may only show here.
    int close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// The whole file. A file that is not there (or a link to nothing) reads as empty: reading never
// creates anything, and never fails for a missing file.
QByteArray readFile(const QString &path)
{
    int opened;
    do {
        opened = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0 && errno == ENOENT && QFileInfo(path).absoluteDir().exists())
        return {};
    if (opened < 0)
        throwIo(errno, path);
    Fd fd(opened);
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwIo(errno, path);
        }
        if (n == 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

// The file's text as GBK bytes, the program's own encoding, in which every routine matches and
// writes. A file that is valid UTF-8 and not plain ASCII was saved by an editor of today and is
// read as UTF-8 (its byte order mark, if any, dropped); GBK text with Chinese in it is next to
// never valid UTF-8. Anything else is taken as GBK, as the program writes it.
QByteArray asGbk(const QByteArray &bytes)
{
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
    if (ascii || !bytes.isValidUtf8())
        return bytes;
    QByteArrayView text(bytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    return gbk::encode(QString::fromUtf8(text));
}

// Lines end with LF, optionally preceded by CR; a last line without an end still counts.
QList<QByteArray> splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        qsizetype stop = end;
        if (stop > start && bytes.at(stop - 1) == '\r')
            --stop;
        lines.append(bytes.mid(start, stop - start));
        start = next;
    }
    return lines;
}

// Upper-cases a to z only; both bytes of a GBK double-byte character are left alone, since a
// trail byte may fall in the range of ASCII letters.
QByteArray upperAscii(const QByteArray &text)
{
    QByteArray out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out.at(i));
        if (gbk::isLeadByte(c) && i + 1 < out.size())
            ++i;
        else if (c >= 'a' && c <= 'z')
            out[i] = char(c - 'a' + 'A');
    }
    return out;
}

QByteArray comparable(const QByteArray &line) { return RemoveSpaces(upperAscii(line)); }

bool startsSection(const QByteArray &line) { return RemoveSpaces(line).startsWith('['); }

// The file's lines, matched against one section and key.
class Scan
{
public:
    Scan(const QList<QByteArray> &lines, const QByteArray &section, const QByteArray &key)
        : m_lines(lines), m_header('[' + upperAscii(section) + ']'), m_key(upperAscii(key))
    {
    }

    bool isHeader(const QByteArray &line) const { return comparable(line) == m_header; }
    bool isKey(const QByteArray &line) const { return comparable(line).startsWith(m_key); }

    // Walks the sections the way both readers do: the line that ends a section is not looked at
    // again as a header. visit(index) returns true to stop; the result is whether it did.
    template <typename Visit>
    bool walk(Visit visit) const
    {
        qsizetype i = 0;
        while (i < m_lines.size()) {
            if (!isHeader(m_lines.at(i++)))
                continue;
            while (i < m_lines.size()) {
                const qsizetype at = i++;
                if (visit(at))
                    return true;
                if (startsSection(m_lines.at(at)))
                    break;
            }
        }
        return false;
    }

    const QList<QByteArray> &lines() const { return m_lines; }

private:
    const QList<QByteArray> &m_lines;
    QByteArray m_header;
    QByteArray m_key;
};

QByteArray readSetting(const Scan &scan)
{
    QByteArray value;
    scan.walk([&](qsizetype at) {
        const QByteArray &line = scan.lines().at(at);
        if (scan.isKey(line)) {
            const qsizetype eq = line.lastIndexOf('=');
            if (eq >= 0)
                value = line.mid(eq + 1);
        }
        return !value.isEmpty();
    });
    return value;
}

int findSettingLine(const Scan &scan)
{
    int found = 0;
    scan.walk([&](qsizetype at) {
        if (scan.isKey(scan.lines().at(at)))
            found = int(at) + 1;
        return found != 0;
    });
    return found;
}

QList<QByteArray> readLines(const QString &path)
{
    return splitLines(asGbk(readFile(path)));
}

QByteArray joinLines(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

// A link in the settings file's place is never written through: whoever could put it there
// would have the program overwrite, or create, a file of their choosing.
void refuseLink(const QString &path)
{
    struct stat st;
    if (::lstat(nativePath(path).constData(), &st) == 0 && S_ISLNK(st.st_mode))
        throw EInOutError(text::onFile(text::symbolicLink(), path));
}

// Every change of the file, under the exclusive lock of its folder: change(old content) gives
// the new content, which replaces the file in one rename once it is complete and on disk, so a
// full disk or a crash half-way never leaves the settings half written, and two programs
// writing at once never lose each other's lines. The new file keeps the old one's permissions.
template <typename Change>
void rewriteFile(const QString &path, Change change)
{
    refuseLink(path);
    files::FolderLock lock(path, files::FolderLock::Exclusive);
    if (lock.busy())
        throw EInOutError(text::onFile(text::inUse(), path));
    if (!lock.ok())
        throwIo(lock.error(), path);
    files::AtomicWriter::removeLeftovers(path);
    // Left by the versions that rewrote the file through "<file>.tmp".
    ::unlink(nativePath(path + QLatin1String(".tmp")).constData());

    const QByteArray bytes = change(asGbk(readFile(path)));
    files::AtomicWriter out(path, files::AtomicWriter::RefuseLinks);
    if (out.refusal() == files::AtomicWriter::Refusal::Link)
        throw EInOutError(text::onFile(text::symbolicLink(), path));
    if (out.refusal() != files::AtomicWriter::Refusal::None)
        throw EInOutError(text::onFile(out.errorString(), path));
    if (!out.isOpen() || !out.write(bytes) || !out.commit())
        throwIo(out.error(), path);
}

} // namespace

QString ProgramDirectory()
{
    const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const qsizetype slash = executable.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : executable.left(slash + 1);
}

QByteArray RemoveSpaces(const QByteArray &text)
{
    QByteArray out = text;
    out.removeIf([](char c) { return c == ' '; });
    return out;
}

void EnsureSettingsFile(bool truncate)
{
    const QString path = settingsPath();
    if (truncate) {
        rewriteFile(path, [](const QByteArray &) { return QByteArray(); });
        return;
    }
    // Anything in the file's place counts, a link too: it is read through, and never has the
    // file it points to created.
    struct stat st;
    if (::lstat(nativePath(path).constData(), &st) == 0)
        return;
    int fd;
    do {
        fd = ::open(nativePath(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == EEXIST)
        return;
    if (fd < 0)
        throwIo(errno, path);
    Fd created(fd);
    if (const int err = created.close())
        throwIo(err, path);
}

QByteArray ReadSetting(const QByteArray &section, const QByteArray &key)
{
    EnsureSettingsFile(false);
    const QList<QByteArray> lines = readLines(settingsPath());
    return readSetting(Scan(lines, section, key));
}

int FindSettingLine(const QByteArray &section, const QByteArray &key)
{
    EnsureSettingsFile(false);
    const QList<QByteArray> lines = readLines(settingsPath());
    return findSettingLine(Scan(lines, section, key));
}

void WriteSetting(const QByteArray &section, const QByteArray &key, const QByteArray &value)
{
    rewriteFile(settingsPath(), [&](const QByteArray &content) {
        QList<QByteArray> lines = splitLines(content);
        const Scan scan(lines, section, key);
        const QByteArray keyLine = key + '=' + value;

        if (const int target = findSettingLine(scan)) {
            lines[target - 1] = keyLine;
            return joinLines(lines);
        }
        for (qsizetype n = 0; n < lines.size(); ++n) {
            if (scan.isHeader(lines.at(n))) {
                lines.insert(n + 1, keyLine);
                return joinLines(lines);
            }
        }
        // The new section goes after the file's bytes as they are. A last line without its line
        // end is ended first, so the empty line stays a line of its own.
        const QByteArray lead = !content.isEmpty() && !content.endsWith('\n') ? "\r\n" : "";
        return content + lead + joinLines({QByteArray(), '[' + section + ']', keyLine});
    });
}

QString settingsPathFor(const QString &programDirectory, bool folderWritable)
{
    if (folderWritable)
        return programDirectory + QLatin1String("main.ini");
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1String("/quillbook/main.ini");
}

void fixSettingsPath()
{
    const QString directory = ProgramDirectory();
    const QString folder = directory.isEmpty() ? QStringLiteral(".") : directory;
    // An installed copy keeps the user's settings with the user even where its folder can be
    // written (as root): the settings of one user must not land in a system folder.
    const bool installed = QFileInfo::exists(
        directory + QLatin1String("../share/applications/net.quillbook.Quillbook.desktop"));
    const bool writable = !installed && ::access(nativePath(folder).constData(), W_OK) == 0;
    const QString path = settingsPathFor(directory, writable);
    if (!writable)
        files::makePrivateFolders(QFileInfo(path).absolutePath());
    setSettingsPath(path);
}

QString settingsPath()
{
    if (fixedPath().isEmpty())
        fixSettingsPath();
    return fixedPath();
}

void setSettingsPath(const QString &path) { fixedPath() = path; }

} // namespace ini
