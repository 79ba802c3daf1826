// The program's entry: picks the window, the window-less capture or the capture-file replay.
#include "app/AppOptions.h"
#include "app/CSignalWatch.h"
#include "app/HeadlessMode.h"
#include "app/ReplayMode.h"
#include "app/ReportMode.h"
#include "app/WindowMode.h"
#include "capture/CCapturePrivilege.h"
#include "core/CKavoException.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    // Capabilities belong to each thread and a new thread copies its creator's: with none
    // effective here, no thread holds them except around opening a capture device.
    DropEffectiveCapabilities();
    try
    {
        // Before any thread exists, so that every thread inherits the blocked end signals.
        CSignalWatch endSignals;
        AppOptions options;
        {
            QCoreApplication::setOrganizationName("Korvane");
            QCoreApplication::setApplicationName("Ombrix");
            QCoreApplication::setApplicationVersion("2.6.1");
            QStringList arguments;
            for (int i = 0; i < argc; ++i)
                arguments << QString::fromLocal8Bit(argv[i]);
            // The parser's --help and --version need the application object only while parsing;
            // the window makes its own.
            int parserArgc = 1;
            QCoreApplication parserApp(parserArgc, argv);
            options = ParseAppOptions(arguments);
        }
        switch (options.mode)
        {
        case AppOptions::Mode::Replay:
            return RunReplay(options, endSignals);
        case AppOptions::Mode::Report:
            return RunReport(options);
        case AppOptions::Mode::Headless:
            return RunHeadless(options, endSignals);
        case AppOptions::Mode::Window:
            if (CanOpenWindow())
                return RunWindow(argc, argv, options, endSignals);
            std::fputs("ombrix: no display to open the window on; capturing without one "
                       "(the same as --headless; see --help).\n",
                       stderr);
            return RunHeadless(options, endSignals);
        }
    }
    catch (const CKavoException& error)
    {
        std::fputs(FormatErrorText(error).c_str(), stderr);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "ombrix: %s\n", error.what());
    }
    return 1;
}
