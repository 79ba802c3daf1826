// What the window tests share: the one QApplication, an event loop with a limit, the messages a
// dialog would have shown, and settings reset around a test.
#pragma once

#include "platform/Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>
#include <string>
#include <vector>

// The QApplication, made on first use (other test files may have made it already).
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
    return new QApplication(argc, argv);
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

// Records the messages a dialog would show in boxes.
struct MessageLog
{
    std::function<void(QWidget*, const QString&)> Recorder()
    {
        return [this](QWidget*, const QString& text) { texts.push_back(text.toStdString()); };
    }
    std::string Last() const { return texts.empty() ? "" : texts.back(); }

    std::vector<std::string> texts;
};

// The settings start at their defaults and are left so.
struct FreshSettings
{
    FreshSettings() { ResetSettings(); }
    ~FreshSettings() { ResetSettings(); }
};
