// TForm1: the one main window. Its layout (every control, by its designer name)
// comes from mainwindow.ui; the handlers carry the program's logic.
#pragma once

#include "chart/chartwidget.h"
#include "ui/opendialog.h"
#include "ui_mainwindow.h"

#include <QWidget>

#include <memory>

namespace hmx {
class ChartLoadJob;
class MeasurementLog;
class Poller;
struct Reading;
}

class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Puts the English text table in place (English build, before the first show).
    void ApplyEnglishTexts();

    hmx::chart::LineSeries* Series1 = nullptr;  // °Cdp, blue
    hmx::chart::LineSeries* Series6 = nullptr;  // %Rh, green
    hmx::chart::LineSeries* Series7 = nullptr;  // °C, red

    OpenDialog OpenDialog1;

    // Stops the Poller, then closes the log and the port. Safe to call twice.
    void Shutdown();

    hmx::Poller* poller() const { return m_poller.get(); }

    // A chart file is being read (Button1Click returns before it is loaded).
    bool isLoadingChart() const;

public slots:
    void FormCreate();
    void ConnectClick();
    void ZapisUstawienClick();
    void ComboBox1Change();
    void ComboBox10Change();
    void Button2Click();
    void Button1Click();

    // Fills the settings page from the instrument (also run by ConnectClick).
    void ReadSettings();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showReading(const hmx::Reading& reading);
    void showNoReply();
    void showSettingsConfirmed();
    void showLogError(const QString& message);

    std::unique_ptr<hmx::MeasurementLog> m_log;
    std::unique_ptr<hmx::Poller> m_poller;
    std::unique_ptr<hmx::ChartLoadJob> m_chartLoad;
};

// The one instance of the main window. The first window constructed sets it, and
// its destructor clears it.
extern TForm1* Form1;

// Start-up: creates Form1 and puts the English texts in place when the interface
// language is English. The window is not shown yet.
std::unique_ptr<TForm1> CreateMainWindow();
