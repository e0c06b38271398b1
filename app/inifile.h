// The settings file: the classic initialisation-file layout of sections in
// square brackets and key=value lines. Sections and keys compare without
// regard to case; lines the program does not understand are kept as they
// are. Every write reaches the disk at once, replacing the file atomically
// where the directory allows it.
#pragma once

#include <QString>
#include <QStringList>

namespace zol {

class TIniFile {
public:
    // Reads the file if it exists; a file that cannot be read counts as
    // empty (and is not overwritten until a write is asked for).
    explicit TIniFile(QString fileName);

    QString FileName() const { return fileName_; }
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    // The value text (trimmed), or `def` when the key is missing.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal, or hexadecimal after "0x"/"0X"; anything else gives `def`.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    // Writes raise EInOutError "Unable to write to <file>" when refused; the
    // file keeps its previous content then.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Parses an integer the way ReadInteger does; false when it is none.
    static bool ParseInteger(const QString& text, int& value);

private:
    int FindSection(const QString& section) const;
    int FindKey(int sectionLine, const QString& key) const;
    void Save();

    QString fileName_;
    QStringList lines_;
};

}  // namespace zol
