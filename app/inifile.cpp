#include "app/inifile.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <QFile>
#include <QSaveFile>

#include <unistd.h>

namespace zol {

namespace {
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
}  // namespace

TIniFile::TIniFile(QString fileName) : fileName_(std::move(fileName))
{
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.readAll();
    // Bytes that are not text are kept as they are: one character per byte.
    QString text = QString::fromLatin1(data);
    const bool endsWithNewline = text.isEmpty() || text.endsWith('\n');
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines_ = text.split('\n');
    if (endsWithNewline && !lines_.isEmpty() && lines_.last().isEmpty())
        lines_.removeLast();
}

int TIniFile::FindSection(const QString& section) const
{
    QString name;
    for (int i = 0; i < lines_.size(); ++i)
        if (IsSectionLine(lines_[i], &name) && name.compare(section, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int TIniFile::FindKey(int sectionLine, const QString& key) const
{
    QString k, v;
    for (int i = sectionLine + 1; i < lines_.size() && !IsSectionLine(lines_[i]); ++i)
        if (SplitKey(lines_[i], k, v) && k.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool TIniFile::SectionExists(const QString& section) const
{
    return FindSection(section) >= 0;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    const int s = FindSection(section);
    return s >= 0 && FindKey(s, key) >= 0;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const int s = FindSection(section);
    const int k = s < 0 ? -1 : FindKey(s, key);
    if (k < 0)
        return def;
    QString name, value;
    SplitKey(lines_[k], name, value);
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
            if (!isxdigit(c.toLatin1()))
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

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QStringList before = lines_;
    const QString entry = key + '=' + value;
    int s = FindSection(section);
    if (s < 0) {
        lines_.append('[' + section + ']');
        lines_.append(entry);
    } else {
        const int k = FindKey(s, key);
        if (k >= 0) {
            lines_[k] = entry;
        } else {
            // After the section's last key (blank lines stay behind it).
            int insert = s + 1;
            for (int i = s + 1; i < lines_.size() && !IsSectionLine(lines_[i]); ++i)
                if (!lines_[i].trimmed().isEmpty())
                    insert = i + 1;
            lines_.insert(insert, entry);
        }
    }
    try {
        Save();
    } catch (...) {
        lines_ = before;
        throw;
    }
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::Save()
{
    QByteArray data;
    for (const QString& line : lines_)
        data += line.toLatin1() + "\r\n";
    auto fail = [this] {
        return EInOutError(LoadResString(SUnableToWrite).arg(fileName_));
    };
    QSaveFile save(fileName_);
    if (save.open(QIODevice::WriteOnly)) {
        if (save.write(data) != data.size() || !save.commit())
            throw fail();
        return;
    }
    // A directory that refuses new files may still allow rewriting the file
    // itself (not atomic, but the value is not lost).
    QFile file(fileName_);
    if (!file.exists() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw fail();
    if (file.write(data) != data.size() || !file.flush())
        throw fail();
    ::fsync(file.handle());
}

}  // namespace zol
