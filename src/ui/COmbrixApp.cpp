#include "ui/COmbrixApp.h"

#include "capture/CAdapter.h"
#include "capture/CAdapterManager.h"
#include "capture/DriverCheck.h"
#include "core/CKavoException.h"
#include "db/CDatabaseManager.h"
#include "db/CQuotaStore.h"
#include "filters/BillingMonths.h"
#include "filters/CFilter.h"
#include "filters/CFilterFactory.h"
#include "lookup/CCountryDatabase.h"
#include "lookup/CHostNameCache.h"
#include "platform/ChildProcess.h"
#include "platform/DataFolder.h"
#include "platform/Settings.h"
#include "report/ReportSnapshot.h"
#include "ui/CMainFrame.h"
#include "ui/COmbrixView.h"
#include "ui/CSysTray.h"
#include "ui/DialogCommands.h"
#include "ui/IpfixSetup.h"
#include "ui/WindowStateFile.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

COmbrixApp::COmbrixApp(const MainWindowSetup& setup)
    : m_setup(setup), m_instance(QString::fromStdString(setup.runtimeFolder)),
      m_analyzer(m_queue, this), m_packets(m_queue, CFilterFactory::Instance(), this),
      m_saver([] { CFilterFactory::Instance().SaveFilters(); }),
      m_viewStore(CDatabaseManager::Instance()),
      m_health(&m_queue, setup.startCapture ? &CAdapterManager::Instance() : nullptr)
{
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { m_saver.Signal(); });
}

COmbrixApp::~COmbrixApp()
{
    Shutdown();
}

bool COmbrixApp::InitInstance()
{
    if (!m_instance.Acquire())
    {
        // Another copy runs: bring it forward and leave the database alone.
        m_instance.AskFirstToShow();
        return false;
    }
    if (m_setup.databasePath.empty())
    {
        PlaceDatabase(GetDataFolder(), GetExecutableFolder());
        m_setup.databasePath = GetDatabasePath();
    }
    if (const std::string refusal =
            m_setup.lockDatabase ? m_setup.lockDatabase(m_setup.databasePath) : std::string();
        !refusal.empty())
    {
        QMessageBox::critical(nullptr, QStringLiteral("Ombrix"), QString::fromStdString(refusal));
        return false;
    }
    m_started = true;

    m_frame = std::make_unique<CMainFrame>(m_store); // reads the settings first
    COmbrixView::Services services;
    services.filters = &CFilterFactory::Instance();
    services.pending = &m_pending;
    services.names = &CHostNameCache::Instance();
    services.countries = &CCountryDatabase::Instance();
    services.store = &m_viewStore;
    m_view = new COmbrixView(services, m_store);
    m_frame->SetView(m_view, m_view);
    m_view->SetMenuSource([this](const QString& title) { return m_frame->Popup(title); });
    DialogCommandContext dialogs;
    dialogs.filters = &CFilterFactory::Instance();
    dialogs.adapters = &CAdapterManager::Instance();
    dialogs.profile = &m_store;
    dialogs.lookups = CachedLookups(&CHostNameCache::Instance(), &CCountryDatabase::Instance());
    dialogs.optionsApplied.rearmSaver = [this] { ArmSaver(); };
    m_frame->SetDialogCommands(*m_view, dialogs);
    connect(m_view, &COmbrixView::CommandStateChanged, m_frame.get(), &CMainFrame::UpdateCommandUi);
    connect(m_view, &COmbrixView::RefreshDone, this, &COmbrixApp::OnRefresh);
    connect(&m_instance, &CSingleInstance::ShowRequested, m_frame.get(),
            &CMainFrame::ShowFromSecondCopy);

    StartEngine();
    ArmSaver();
    m_view->InitialUpdate();
    if (Adapter_CheckDriver != 0 && m_setup.startCapture)
        CheckCaptureDriver();
    StartCapture();
    m_frame->FinishCreation();
    ShowWindow();
    m_frame->SetRunningAsRoot(geteuid() == 0);
    if (const char* statePath = std::getenv("OMBRIX_WINDOW_STATE"))
        m_statePath = QString::fromLocal8Bit(statePath);

    if (m_setup.endDescriptor >= 0)
    {
        m_endNotifier = new QSocketNotifier(m_setup.endDescriptor, QSocketNotifier::Read, this);
        connect(m_endNotifier, &QSocketNotifier::activated, this,
                [this]
                {
                    if (m_setup.readEnd)
                        m_setup.readEnd();
                    m_frame->close();
                    QApplication::quit();
                });
    }
    // The session's end quits the event loop without closing the window.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &COmbrixApp::Shutdown);
    m_sinceSample.start();
    return true;
}

void COmbrixApp::StartEngine()
{
    try
    {
        CCountryDatabase::Instance().Load(CCountryDatabase::ExecutableFolder());
    }
    catch (const CKavoException& error)
    {
        OnError(error);
    }

    CFilterFactory& filters = CFilterFactory::Instance();
    CDatabaseManager& database = CDatabaseManager::Instance();
    CHostNameCache& names = CHostNameCache::Instance();
    filters.SetPendingHosts(&m_pending);
    if (m_setup.startCapture)
        filters.SetLocalAddressTest(&CAdapterManager::Instance());
    names.SetListener(m_view);
    names.SetListener6(m_view);
    database.SetListener(this);
    filters.SetStore(&database);
    bool opened = false;
    try
    {
        opened = database.Open(m_setup.databasePath);
        if (opened && DB_KeepRecordsEnabled != 0)
            database.PurgeOldRecords(DB_KeepRecords);
        filters.LoadFilters();
        if (opened)
            CQuotaStore::Instance().Load();
        database.LoadHostNames([&names](uint32_t address, const std::string& name)
                               { names.Add(address, name); });
        names.SetNameSink([&database](uint32_t address, const std::string& name)
                          { database.QueueHostName(address, name); });
        database.LoadHostNames6(names.LoadedNameSink6());
        names.SetNameSink6([&database](const Ip6Address& address, const std::string& name)
                           { database.QueueHostName6(address, name); });
        m_resolverThread.Start(&names);
    }
    catch (const CKavoException& error)
    {
        OnError(error);
    }
    // A file that opened but did not load may hold filters that defaults would overwrite.
    if ((database.LoadSucceeded() || !opened) && filters.GetCount() == 0)
    {
        try
        {
            filters.CreateDefaultFilters();
        }
        catch (const CKavoException& error)
        {
            OnError(error);
        }
    }
    // After the load: the loaded totals are the export's baseline, never sent.
    const IpfixSettings exportSettings = MakeIpfixSettings(LoadExportSettings(), {});
    if (!exportSettings.collectors.empty())
    {
        m_exporter = std::make_unique<CIpfixExporter>(filters, *this);
        m_exporter->Configure(exportSettings);
        m_exporter->Start();
    }
}

void COmbrixApp::ArmSaver()
{
    if (DB_AutoSaveEnabled == 0)
    {
        // Never wait here for a save under way: the window would freeze for its length.
        m_saveTimer.stop();
        m_saver.Suspend();
        return;
    }
    try
    {
        m_saver.Start();
        m_saveTimer.start(DB_AutoSave);
    }
    catch (const CKavoException& error)
    {
        OnError(error);
    }
}

void COmbrixApp::StartCapture()
{
    try
    {
        m_packets.Start();
    }
    catch (const CKavoException&)
    {
        ShowMessage(QStringLiteral("Sorry, thread creation is failed."));
        return;
    }
    if (!m_setup.startCapture)
        return;
    try
    {
        m_capturing = true;
        CAdapter::SetKernelBufferSize(static_cast<size_t>(Adapter_BufferMiB) << 20);
        CAdapterManager::Instance().Start(&m_analyzer, Adapter_PromiscMode != 0);
    }
    catch (const CKavoException& error)
    {
        OnError(error);
    }
}

void COmbrixApp::ShowWindow()
{
    m_frame->RestorePlacement();
    m_frame->show();
    if (G_Minimize != 0)
    {
        // Hidden only where the tray icon can bring it back.
        if (G_Hide != 0 && CSysTray::IsAvailable())
            m_frame->hide();
        else
            m_frame->showMinimized();
    }
    m_frame->setWindowTitle(QStringLiteral("Ombrix 2.6.1"));
}

void COmbrixApp::OnRefresh()
{
    const double seconds = static_cast<double>(m_sinceSample.restart()) / 1000.0;
    if (m_frame)
        m_frame->SetCaptureHealth(m_health.Sample(seconds));
    if (m_frame && m_view && !m_statePath.isEmpty())
        WriteWindowState(m_statePath, *m_frame, *m_view);
    CheckQuotas();
}

void COmbrixApp::CheckQuotas()
{
    if (!m_frame || !m_view)
        return;
    CQuotaStore& quotas = CQuotaStore::Instance();
    const auto now = static_cast<int64_t>(std::time(nullptr));
    for (const QuotaNotice& notice : quotas.Check(CFilterFactory::Instance(), G_BillingDay, now))
    {
        m_frame->ShowQuotaNotice(QString::fromStdString(QuotaMessage(notice)));
        if (!G_QuotaCommand.empty())
            StartWithTimeout(QuotaCommandArguments(G_QuotaCommand, notice),
                             std::chrono::seconds(30));
    }
    const int64_t month = BillingPeriodOf(now, G_BillingDay).start;
    for (CFilter* filter : m_view->FilterOrder())
    {
        int id = 0;
        {
            CKavoLock lock(filter->GetLock());
            id = filter->GetId();
        }
        if (quotas.Get(id).IsSet())
            m_view->MarkQuota(filter, quotas.TopLevel(id, month));
    }
}

void COmbrixApp::Shutdown()
{
    if (!m_started || m_stopped)
        return;
    m_stopped = true;
    CHostNameCache& names = CHostNameCache::Instance();
    names.RequestStop();
    if (m_view)
        m_view->RefreshTimer().stop();
    m_saveTimer.stop();
    m_packets.Stop();
    m_saver.Stop();
    if (m_exporter)
        m_exporter->Stop(); // sends what was counted since the last interval
    if (m_capturing)
        CAdapterManager::Instance().CloseAll();
    if (m_view)
        m_view->SaveLayout();
    SaveSettings(m_store);
    m_store.Sync();
    CFilterFactory::Instance().SaveFilters();
    CDatabaseManager::Instance().FlushHostNames();
    if (m_setup.unlockDatabase)
        m_setup.unlockDatabase();
    m_resolverThread.Wait(std::chrono::milliseconds(3000));
    names.SetListener(nullptr);
    names.SetListener6(nullptr);
    CFilterFactory::Instance().SetPendingHosts(nullptr);
    CDatabaseManager::Instance().SetListener(nullptr);
}

void COmbrixApp::OnError(const CKavoException& error)
{
    if (error.IsDisplayed())
        ShowMessage(QString::fromStdString(FormatErrorText(error)));
}

void COmbrixApp::ShowMessage(const QString& text)
{
    if (m_view)
    {
        m_view->ShowMessage(text);
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [text]
        {
            QMessageBox box(QMessageBox::Critical, QStringLiteral("Ombrix"), text);
            box.setTextFormat(Qt::PlainText);
            box.exec();
        },
        Qt::QueuedConnection);
}

int RunMainWindow(int argc, char** argv, const MainWindowSetup& setup)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Korvane");
    QApplication::setApplicationName("Ombrix");
    QApplication::setApplicationVersion("2.6.1");
    // Closing the window ends the program; hidden in the tray it keeps running.
    QApplication::setQuitOnLastWindowClosed(false);
    COmbrixApp app(setup);
    if (!app.InitInstance())
        return 0;
    QObject::connect(app.Frame(), &CMainFrame::Closed, &application, &QApplication::quit);
    const int status = QApplication::exec();
    app.Shutdown();
    return status;
}
