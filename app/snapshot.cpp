#include "app/snapshot.h"

#include "platform/errors.h"
#include "platform/window_thread.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QKeySequence>
#include <QMenu>
#include <QPixmap>
#include <QSaveFile>
#include <QShortcut>
#include <QWidget>

namespace zol {

QString SnapshotFileName(const QDateTime& time)
{
    return QStringLiteral("zol-%1Z.png").arg(time.toUTC().toString(QStringLiteral("yyyyMMddTHHmm")));
}

QImage WindowPicture(QWidget& window)
{
    return window.grab().toImage();
}

void SaveWindowPicture(QWidget& window, const QString& path)
{
    const QImage picture = WindowPicture(window);
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && picture.save(&file, "PNG") && file.commit();
    if (!ok)
        throw EInOutError(QStringLiteral("Unable to write to %1: %2").arg(path, file.errorString()));
}

namespace {

void AskAndSave(QWidget& window, const QString& folder)
{
    const QString proposed =
        QDir(folder).filePath(SnapshotFileName(platform::TheClock().WallTime()));
    QString path = QFileDialog::getSaveFileName(&window, QStringLiteral("Save picture"), proposed,
                                                QStringLiteral("PNG pictures (*.png)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        path += QStringLiteral(".png");
    platform::Guarded([&] { SaveWindowPicture(window, path); });
}

}  // namespace

void InstallPictureActions(QWidget& window, const QList<QWidget*>& charts, const QString& folder)
{
    auto* shortcut = new QShortcut(QKeySequence::Save, &window);
    QObject::connect(shortcut, &QShortcut::activated, &window, [&window, folder] { AskAndSave(window, folder); });
    for (QWidget* chart : charts) {
        chart->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(chart, &QWidget::customContextMenuRequested, chart, [&window, chart, folder](const QPoint& at) {
            QMenu menu(chart);
            QAction* save = menu.addAction(QStringLiteral("Save picture..."));
            save->setShortcut(QKeySequence::Save);
            if (menu.exec(chart->mapToGlobal(at)) == save)
                AskAndSave(window, folder);
        });
    }
}

TPictureTimer::TPictureTimer(QWidget& window, QString folder, int minutes)
    : window_(window), folder_(std::move(folder))
{
    const std::int64_t period = static_cast<std::int64_t>(minutes) * 60 * 1000000;
    timer_ = platform::TheClock().StartPeriodic(period, [this] {
        platform::PostToWindow([this] { Save(); }, this);
    });
}

TPictureTimer::~TPictureTimer()
{
    platform::TheClock().KillTimer(timer_);
    platform::RemovePostedMessages(this);
}

QString TPictureTimer::Save()
{
    const QString path = QDir(folder_).filePath(SnapshotFileName(platform::TheClock().WallTime()));
    try {
        SaveWindowPicture(window_, path);
        lastFailure_.clear();
    } catch (const EInOutError& e) {
        if (e.Message() != lastFailure_) {
            lastFailure_ = e.Message();
            platform::HandleCurrentException();
        }
        return QString();
    }
    return path;
}

}  // namespace zol
