// Pictures of the main window to share: Ctrl+S and the charts' context
// menu save one where the user says; a timer saves one every few minutes
// into the working folder (off-screen when headless), named by UTC time.
#pragma once

#include "platform/clock.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QString>

class QWidget;

namespace zol {

// "zol-20260812T1700Z.png" for a UTC time.
QString SnapshotFileName(const QDateTime& time);
// The whole window as it shows now (its client area, children included).
QImage WindowPicture(QWidget& window);
// Saves the window's picture as a PNG, replacing the file only when the new
// one is complete. Raises EInOutError naming the file and the reason.
void SaveWindowPicture(QWidget& window, const QString& path);

// Ctrl+S in the window and "Save picture..." in the context menu of each
// of `charts` ask for a file name (proposing the working folder and the
// UTC name) and save the picture there.
void InstallPictureActions(QWidget& window, const QList<QWidget*>& charts, const QString& folder);

// Saves a picture into `folder` every `minutes` of the clock in use. A
// failure is reported; the same failure again is not.
class TPictureTimer {
public:
    TPictureTimer(QWidget& window, QString folder, int minutes);
    ~TPictureTimer();
    TPictureTimer(const TPictureTimer&) = delete;
    TPictureTimer& operator=(const TPictureTimer&) = delete;
    // Saves one now; returns its path.
    QString Save();

private:
    QWidget& window_;
    QString folder_;
    platform::TimerId timer_ = 0;
    QString lastFailure_;
};

}  // namespace zol
