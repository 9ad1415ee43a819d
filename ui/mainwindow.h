// TForm1: the one main window. Its layout (every control, by its designer name)
// comes from mainwindow.ui; the handlers carry the program's logic.
#pragma once

#include "chart/chartwidget.h"
#include "instrument/settings.h"
#include "ui/opendialog.h"
#include "ui_mainwindow.h"

#include <QMessageBox>
#include <QPointer>
#include <QColor>
#include <QTime>
#include <QWidget>

#include <QDateTime>

#include <memory>
#include <string>
#include <vector>
#include <optional>

namespace hmx {
namespace readings {
class Lines;
}
class AlarmPanel;
class StatisticsPanel;
class ChartLoadJob;
class DerivedPanel;
class EventJournal;
class Instruments;
class MeasuringSession;
class Poller;
class Publisher;
struct LogProblem;
struct ScanResult;
struct SessionReading;
struct VersionInfo;
}

class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT
    // Connects the first instrument on reconnecting, and shows a chosen one on the page.
    friend class hmx::Instruments;

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Puts the English text table in place (English build, before the first show).
    void ApplyEnglishTexts();

    hmx::chart::LineSeries* Series1 = nullptr;  // °Cdp, blue
    hmx::chart::LineSeries* Series6 = nullptr;  // %Rh, green
    hmx::chart::LineSeries* Series7 = nullptr;  // °C, red

    // The readings the chart draws: what live readings and Load chart fill, and what
    // the derived quantities, the statistics and the report read. The first instrument's
    // (the window's own) until showLines gives it others.
    hmx::readings::Lines& lines() const { return *m_lines; }
    // The chart's lines (Series1, Series6, Series7 and the derived ones), the statistics
    // and the report read `lines` from now on (an instrument's, which its session fills);
    // the derived lines are computed there.
    void showLines(hmx::readings::Lines& lines);

    OpenDialog OpenDialog1;

    // Stops a connection under way and the Poller, then closes the log and the port.
    // Lines the log could not take are saved in a file of their own; returns what to
    // tell the user about them (empty: nothing). Safe to call twice.
    QString Shutdown();

    // Ends the program as a stop signal asks (SIGTERM, SIGINT, SIGHUP): in the same
    // orderly way, at once in every state (a box open included), without waiting for
    // anyone to read a message; what there is to tell goes to standard error.
    void CloseForStopSignal();

    // The orderly end when the process exits without closing the window (the display
    // server went away and Qt called exit()): Shutdown, its notice to standard error.
    // Touches no widget.
    void EndAtExit();

    hmx::Poller* poller() const;
    // The settings page's values, as last read or saved; a save waiting for a Poller
    // (made while connecting) has writePending().
    const hmx::SettingsStore& settingsStore() const { return m_settings; }
    hmx::Publisher* publisher() const;

    // The preferences (Ctrl+, or the window's context menu): publishing to a broker.
    void ShowPreferences();

    // The derived quantities (the chart's menu and the window's): which ones the page
    // shows and the chart draws, and the process pressure.
    void ShowDerivedDialog();
    hmx::DerivedPanel* derived() const { return m_derived; }

    // A chart file is being read (Button1Click returns before it is loaded).
    bool isLoadingChart() const;
    // A load under way into these lines stops now (their instrument goes).
    void stopLoadingInto(const hmx::readings::Lines& lines);

    // The limits and alarms of the measurement page, and the event journal.
    hmx::AlarmPanel* alarms() const { return m_alarms; }
    hmx::StatisticsPanel* statistics() const { return m_statistics; }
    hmx::EventJournal* journal() const;
    // The first instrument and those added (ui/instruments.h).
    hmx::Instruments* instruments() const { return m_instruments; }
    // The run report of the shown period into `fileName` (what "Report…" does once its
    // dialog is answered); a failure is told in a box. True when it was written.
    bool writeReport(const QString& fileName);

public slots:
    void FormCreate();
    void ConnectClick();
    void ZapisUstawienClick();
    void ComboBox1Change();
    void ComboBox10Change();
    void Button2Click();
    void Button1Click();

    // Fills the settings page from the instrument: asks the Poller and returns at once;
    // the read-settings button is off until the page is filled (or the read failed, at
    // once when nothing is connected).
    void ReadSettings();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The measuring session and what it tells, wired once (measurement.cpp).
    void setUpSession();
    // Steps of the connection, each run when the one before has reported.
    void showTrying(int attempt, const QString& device);
    void scanFinished(const hmx::ScanResult& scan);
    void instrumentRead(const hmx::VersionInfo& version, bool settingsRead, const hmx::SettingsValues& settings);
    void startedMeasuring(const QString& logFile);
    // Nothing measured: another copy's folder, a lock or a log that cannot be made.
    void cannotMeasure(const QString& why);
    void connectFailed();
    void showConnectable();
    // Puts read settings values on the settings page.
    void ShowSettings(const hmx::SettingsValues& values);
    void settingsLoaded(bool read, const hmx::SettingsValues& values);

    void showReading(const hmx::SessionReading& shown);
    void showNoReply();
    void showSettingsConfirmed();
    void showLogError(const hmx::LogProblem& problem);
    void showLogWorks();
    void showLogRecreated(const hmx::LogProblem& problem);
    void showLinesDropped(quint64 total);
    void showRejected(quint64 total);
    void showInstrumentLost();
    // Another unit answered while searching: go on searching, or measure it instead.
    void showOtherInstrument(const QString& device, quint16 serialNumber);
    void switchTo(const QString& device);
    // Connect, on these devices only when given.
    void startConnecting(const std::vector<std::string>& devices);
    // The button and the settings page while the session looks for the instrument.
    void searching();
    void showInstrumentBack();
    // Edit6 and Edit14 dimmed, with the time of the last reading in Label36, while the
    // instrument is lost or silent; normal again with the next reading.
    void showValuesOld(bool old);
    // Label36: what the user must know while measuring, empty when all is well.
    void updateStatus();

    // The alarms of the page, the chart and its statistics (events.cpp).
    void setUpAlarms();
    // "Report…" in the chart's menu (reportmenu.cpp): a PDF of the shown period.
    void setUpReport();
    void askAndWriteReport();
    // The derived quantities' fields, chart lines and menu entry (derivedwindow.cpp).
    void setUpDerived();
    // Publishing, when the preferences ask for it (publishing.cpp).
    void setUpPublishing();
    // The preferences as they are now, for the publisher of the Connect under way.
    void applyPublishPreferences();
    // The publisher just made waits for the password from the key store.
    void readBrokerPassword();

    hmx::readings::Lines* m_lines = nullptr;  // the window's own (a child) until showLines
    hmx::Instruments* m_instruments = nullptr;  // a child of the window
    hmx::MeasuringSession* m_session = nullptr;  // the first instrument's, its set's
    std::unique_ptr<hmx::ChartLoadJob> m_chartLoad;
    hmx::SettingsStore m_settings;      // the settings page's values
    bool m_settingsReadAsked = false;   // the read-settings button waits for an answer
    hmx::AlarmPanel* m_alarms = nullptr;  // a child of the window
    hmx::StatisticsPanel* m_statistics = nullptr;  // a child of the chart's page
    hmx::DerivedPanel* m_derived = nullptr;  // a child of the measurement page
    QString m_publishStatus;     // Label36's publishing line
    quint16 m_serialNumber = 0;  // of the unit measured
    QPointer<QMessageBox> m_otherUnitBox;
    QString m_model;             // what the instrument answered to identification
    QString m_firmware;          // its version, as the page shows it
    QString m_chartSource;       // the file the chart's readings come from: the log, or a file loaded
    bool m_logFailing = false;
    quint64 m_rejected = 0;
    bool m_closingForSignal = false;
    int m_silentCycles = 0;      // cycles without a reply since the last reading
    QTime m_lastReadingTime;
    bool m_valuesOld = false;
    bool m_shutDown = false;
};

// The one instance of the main window. The first window constructed sets it, and
// its destructor clears it.
extern TForm1* Form1;

// Start-up: creates Form1 and puts the English texts in place when the interface
// language is English. The window is not shown yet.
std::unique_ptr<TForm1> CreateMainWindow();
