// The one QApplication the dialog tests need, made on first use (other test files may have
// made it already).
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

inline QApplication* EnsureDialogTestApp()
{
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return app;
    // ctest sets the offscreen platform for the window tests; the live ones run without it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

// Runs the event loop until done() or about ten seconds have passed.
template <typename Done> bool ProcessEventsUntil(Done done, int limitMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
    {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return done();
}
