// The application with its window: single instance, the start-up chain that builds the frame and
// the view and starts counting, and the shutdown chain with the final save.
#pragma once

#include "capture/CPacketAnalyzer.h"
#include "capture/CPacketQueue.h"
#include "capture/CPacketThread.h"
#include "core/CKavoThread.h"
#include "db/CDatabaseSaver.h"
#include "db/IDatabaseListener.h"
#include "filters/CPendingHosts.h"
#include "platform/CSettingsStore.h"
#include "report/CIpfixExporter.h"
#include "ui/CCaptureHealth.h"
#include "ui/CDatabaseViewStore.h"
#include "ui/CSingleInstance.h"
#include "ui/RunMainWindow.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class CMainFrame;
class COmbrixView;
class QSocketNotifier;

class COmbrixApp : public QObject, public IDatabaseListener
{
    Q_OBJECT
public:
    // Needs the QApplication to exist.
    explicit COmbrixApp(const MainWindowSetup& setup);
    ~COmbrixApp() override;

    // False when another copy runs (it was asked to show itself): the process ends then.
    bool InitInstance();
    // The orderly end: threads stopped, settings written, everything counted saved. Runs once;
    // also on the session's end.
    void Shutdown();

    CMainFrame* Frame() const { return m_frame.get(); }
    COmbrixView* View() const { return m_view; }

    // Any thread: reaches the user on the window thread.
    void OnError(const CKavoException& error) override;

private:
    // The text exactly as given, in the window or, before it exists, in a box of its own.
    void ShowMessage(const QString& text);
    void StartEngine();
    void ArmSaver();
    void StartCapture();
    void ShowWindow();
    void OnRefresh();
    // New quota crossings told, and every quota filter's row marked with its level.
    void CheckQuotas();

    MainWindowSetup m_setup;
    CSettingsStore m_store;
    CSingleInstance m_instance;
    CPendingHosts m_pending;
    CPacketQueue m_queue;
    CPacketAnalyzer m_analyzer;
    CPacketThread m_packets;
    CDatabaseSaver m_saver;
    std::unique_ptr<CIpfixExporter> m_exporter; // when export is enabled; from the next start
    CKavoThread m_resolverThread;
    CDatabaseViewStore m_viewStore;
    CCaptureHealth m_health;
    QElapsedTimer m_sinceSample;
    QString m_statePath; // OMBRIX_WINDOW_STATE: the window's state written on each tick, for tests
    QTimer m_saveTimer;
    std::unique_ptr<CMainFrame> m_frame;
    QPointer<COmbrixView> m_view;
    QSocketNotifier* m_endNotifier = nullptr;
    bool m_started = false;
    bool m_stopped = false;
    bool m_capturing = false;
};
