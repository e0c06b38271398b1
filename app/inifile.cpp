#include "app/inifile.h"

#include "app/diskio.h"
#include "platform/errors.h"
#include "platform/strings.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zol {

namespace {
const char kBom[] = "\xEF\xBB\xBF";

bool IsSectionLine(const QString& line, QString* name = nullptr)
{
    const QString t = line.trimmed();
    if (!t.startsWith('[') || !t.endsWith(']') || t.size() < 2)
        return false;
    if (name)
        *name = t.mid(1, t.size() - 2).trimmed();
    return true;
}

bool SplitKey(const QString& line, QString& key, QString& value)
{
    const int eq = line.indexOf('=');
    if (eq <= 0)
        return false;
    key = line.left(eq).trimmed();
    value = line.mid(eq + 1).trimmed();
    return !key.isEmpty();
}

int FindSection(const QStringList& lines, const QString& section)
{
    QString name;
    for (int i = 0; i < lines.size(); ++i)
        if (IsSectionLine(lines[i], &name) && name.compare(section, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int FindKey(const QStringList& lines, int sectionLine, const QString& key)
{
    QString k, v;
    for (int i = sectionLine + 1; i < lines.size() && !IsSectionLine(lines[i]); ++i)
        if (SplitKey(lines[i], k, v) && k.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void SetValue(QStringList& lines, const QString& section, const QString& key, const QString& value)
{
    const QString entry = key + '=' + value;
    const int s = FindSection(lines, section);
    if (s < 0) {
        lines.append('[' + section + ']');
        lines.append(entry);
        return;
    }
    const int k = FindKey(lines, s, key);
    if (k >= 0) {
        lines[k] = entry;
        return;
    }
    // After the section's last key (blank lines stay behind it).
    int insert = s + 1;
    for (int i = s + 1; i < lines.size() && !IsSectionLine(lines[i]); ++i)
        if (!lines[i].trimmed().isEmpty())
            insert = i + 1;
    lines.insert(insert, entry);
}

// Reads and parses the file; returns 0 or why it cannot be read.
int Load(const QString& path, TIniFile::TText& text)
{
    QByteArray data;
    const int error = diskio::ReadSmallFile(path, TIniFile::kMaxBytes, data);
    text = error == 0 ? TIniFile::Parse(data) : TIniFile::TText{};
    return error;
}
}  // namespace

TIniFile::TText TIniFile::Parse(const QByteArray& data)
{
    TText text;
    QByteArray bytes = data;
    if (bytes.startsWith(kBom)) {
        text.bom = true;
        bytes.remove(0, 3);
    }
    // Bytes that are not text are kept as they are: one character per byte.
    const QString s = QString::fromLatin1(bytes);
    qsizetype start = 0;
    bool seenEnd = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != '\r' && s[i] != '\n')
            continue;
        const bool crlf = s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n';
        if (!seenEnd) {
            text.lineEnd = crlf ? QStringLiteral("\r\n") : QString(s[i]);
            seenEnd = true;
        }
        text.lines.append(s.mid(start, i - start));
        if (crlf)
            ++i;
        start = i + 1;
    }
    if (start < s.size())
        text.lines.append(s.mid(start));
    return text;
}

QByteArray TIniFile::Serialize(const TText& text)
{
    QByteArray data = text.bom ? QByteArray(kBom) : QByteArray();
    const QByteArray end = text.lineEnd.toLatin1();
    for (const QString& line : text.lines)
        data += line.toLatin1() + end;
    return data;
}

TIniFile::TIniFile(QString fileName) : fileName_(std::move(fileName))
{
    readError_ = Load(fileName_, text_);
    // A path through something that is no folder holds no file either.
    if (readError_ == ENOTDIR)
        readError_ = ENOENT;
}

bool TIniFile::SectionExists(const QString& section) const
{
    return FindSection(text_.lines, section) >= 0;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    const int s = FindSection(text_.lines, section);
    return s >= 0 && FindKey(text_.lines, s, key) >= 0;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const int s = FindSection(text_.lines, section);
    const int k = s < 0 ? -1 : FindKey(text_.lines, s, key);
    if (k < 0)
        return def;
    QString name, value;
    SplitKey(text_.lines[k], name, value);
    return value;
}

bool TIniFile::ParseInteger(const QString& text, int& value)
{
    QString t = text.trimmed();
    bool ok = false;
    long long v;
    if (t.size() > 2 && (t.startsWith("0x") || t.startsWith("0X"))) {
        const QString digits = t.mid(2);
        for (QChar c : digits)
            if (c.unicode() > 0x7F || !isxdigit(static_cast<unsigned char>(c.unicode())))
                return false;
        v = digits.toLongLong(&ok, 16);
        // Hexadecimal text stands for the 32-bit pattern (0xFFFFFFFF is -1).
        if (ok && v >= 0 && v <= 0xFFFFFFFFLL) {
            value = static_cast<int>(static_cast<unsigned int>(v));
            return true;
        }
        return false;
    }
    v = t.toLongLong(&ok, 10);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    int value;
    return ParseInteger(ReadString(section, key, QString()), value) ? value : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteValues(const QString& section, const TValues& values)
{
    // What is on the disk now is what gets changed; a file that has gone
    // since it was read is written again from what was read.
    TText text;
    const int error = Load(fileName_, text);
    if (error == ENOENT || error == ENOTDIR)
        text = text_;
    else if (error != 0)
        throw EInOutError(LoadResString(SUnableToWrite).arg(fileName_) + ": " + diskio::ErrorText(error));
    for (const auto& [key, value] : values)
        SetValue(text.lines, section, key, value);
    Replace(Serialize(text));
    text_ = std::move(text);
    readError_ = 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    WriteValues(section, {{key, value}});
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::Replace(const QByteArray& data) const
{
    auto fail = [this](const QString& why) {
        return EInOutError(LoadResString(SUnableToWrite).arg(fileName_) + ": " + why);
    };
    // A link is followed: the file it names is replaced, not the link.
    const QFileInfo info(fileName_);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : fileName_;
    const QByteArray name = QFile::encodeName(target);
    const QByteArray temp = name + ".tmp";
    struct stat st {};
    const bool existed = ::stat(name.constData(), &st) == 0;
    if (existed) {
        // A file the station made read-only keeps its content.
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw fail(diskio::ErrorText(errno));
        ::close(fd);
    }
    // The new content goes to a file of its own first, so that a full disk,
    // a failure or a kill never leaves a cut zol.ini.
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw fail(QStringLiteral("no new file can be made in its folder (%1)").arg(diskio::ErrorText(errno)));
    if (existed) {
        // Mode and (for root) owner as before; failing that is no reason
        // not to save.
        ::fchmod(fd, st.st_mode & 07777);
        if (::geteuid() == 0 && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
        }
    }
    size_t done = 0;
    int error = diskio::WriteAll(fd, data.constData(), static_cast<size_t>(data.size()), done);
    if (error == 0)
        error = diskio::Sync(fd);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temp.constData(), name.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.constData());
        throw fail(diskio::ErrorText(error));
    }
    // The new name reaches the disk with its folder.
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace zol
