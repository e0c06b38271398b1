// The two measurement logs: line formats, reading them back, and appending
// with every line reaching the disk when flushed.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

namespace zol {

// The decimal text of `value` cut to two characters, with a leading "0" when
// it has one ("07", "35").
QString TwoCharField(int value);
// Day, month and two-digit year ("DD/MM/YY", always 8 characters) joined by
// the separator of `dateFormat`, a date format in the C library's notation
// such as the locale's "%d.%m.%Y".
QString DateText(const QDate& date, const char* dateFormat);
// A measure.txt line (25 characters without the line end).
QString MeasureLine(QChar marker, const QString& time, const QString& date, int mean, int minimum);
// A scope2.txt line (5 characters without the line end).
QString Scope2Line(int windowMin, int windowMax);
// Reads a field as a decimal integer: leading blanks and a sign are
// accepted, anything else fails.
bool ParseField(const QString& text, int& value);

// A text log opened for reading back or for appending. Every failure raises
// EInOutError with a message that names the file and the reason.
class TTextLog {
public:
    explicit TTextLog(QString path);
    ~TTextLog();
    TTextLog(const TTextLog&) = delete;
    TTextLog& operator=(const TTextLog&) = delete;

    const QString& Path() const { return path_; }
    bool Exists() const;
    // Creates the file empty (an existing one is left as it is) and opens it
    // for appending.
    void Create();
    // All lines; CR LF, LF or CR end a line; a last line without an end
    // counts as a line. Bytes are characters one to one.
    QStringList ReadLines() const;
    // Opens for appending. A last line cut short (no line end, as after a
    // power cut) is ended first, so the next line does not run into it.
    void OpenAppend();
    bool IsOpen() const { return fd_ >= 0; }
    // Appends the line and CR LF.
    void AppendLine(const QString& line);
    // Makes what was appended reach the disk.
    void Flush();
    void Close();

private:
    [[noreturn]] void Fail(const QString& what, int error) const;
    QString path_;
    int fd_ = -1;
};

}  // namespace zol
