#include "platform/msgbox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <mutex>

namespace zol::platform {

namespace {
std::mutex& HandlerMutex()
{
    static std::mutex mutex;
    return mutex;
}
MessageBoxHandler& Handler()
{
    static MessageBoxHandler handler;
    return handler;
}

void DefaultMessageBox(const QString& text, const QString& caption)
{
    const bool screen = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
                        QGuiApplication::platformName() != QLatin1String("offscreen") &&
                        QGuiApplication::platformName() != QLatin1String("minimal");
    if (screen) {
        QMessageBox::information(nullptr, caption, text);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
}
}  // namespace

void ShowMessageBox(const QString& text, const QString& caption)
{
    MessageBoxHandler handler;
    {
        std::lock_guard lock(HandlerMutex());
        handler = Handler();
    }
    if (handler)
        handler(text, caption);
    else
        DefaultMessageBox(text, caption);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard lock(HandlerMutex());
    MessageBoxHandler old = std::move(Handler());
    Handler() = std::move(handler);
    return old;
}

}  // namespace zol::platform
