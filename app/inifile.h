// The settings file: the classic initialisation-file layout of sections in
// square brackets and key=value lines. Sections and keys compare without
// regard to case; lines the program does not understand are kept as they
// are, and so are a UTF-8 byte-order mark and the file's own line ends (CR
// LF, LF or CR). Every write reads the file again, changes only the keys it
// writes (edits made meanwhile by hand are kept) and replaces the file
// atomically: a failed write leaves the file as it was.
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace zol {

class TIniFile {
public:
    using TValues = QList<QPair<QString, QString>>;
    // Larger files are no settings file (a link to a device, a mistake).
    static constexpr qint64 kMaxBytes = 1 << 20;

    // Reads the file if it can; one that cannot be read counts as empty
    // (ReadError says why) and is not overwritten.
    explicit TIniFile(QString fileName);

    QString FileName() const { return fileName_; }
    // 0 when the file was read, ENOENT when it does not exist, else why it
    // could not be read (an errno value or one of diskio's).
    int ReadError() const { return readError_; }
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    // The value text (trimmed), or `def` when the key is missing.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal, or hexadecimal after "0x"/"0X"; anything else gives `def`.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    // Writes the keys in one replacement of the file. Raises EInOutError
    // "Unable to write to <file>: <reason>" when it cannot be done; the
    // file and what this object reads keep their previous content then.
    void WriteValues(const QString& section, const TValues& values);
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Parses an integer the way ReadInteger does; false when it is none.
    static bool ParseInteger(const QString& text, int& value);

    // The text of a file and how it is laid out.
    struct TText {
        QStringList lines;
        bool bom = false;
        QString lineEnd = QStringLiteral("\r\n");
    };
    static TText Parse(const QByteArray& data);
    static QByteArray Serialize(const TText& text);

private:
    void Replace(const QByteArray& data) const;

    QString fileName_;
    TText text_;
    int readError_ = 0;
};

}  // namespace zol
