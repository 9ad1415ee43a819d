// Connection, measuring and the orderly end: the handlers that start the Poller and
// the slots that show what it hands over.
#include "ui/mainwindow.h"

#include "instrument/connection.h"
#include "instrument/poller.h"
#include "instrument/settings.h"
#include "link/seriallink.h"
#include "log/measurementlog.h"
#include "ui/errorreport.h"
#include "ui/language.h"

#include <QCloseEvent>
#include <QMessageBox>

#include <stdexcept>

using namespace hmx;

void TForm1::ConnectClick()
{
    // A save requested before connecting is dropped.
    Settings().clearWriteRequest();

    const ScanResult scan = ScanForInstrument();
    if (!scan.connected) {
        Label9->setText(ByLanguage("Urządzenie nie odpowiada !", "Device not found !"));
        std::lock_guard lock(LinkLock());
        ClearBuffers();
        return;
    }

    QMessageBox found(QMessageBox::NoIcon, ByLanguage("Identyfikator urzadzenia  :", "Found device  :"),
                      QString::fromLatin1(scan.reply.data(), qsizetype(scan.reply.size())), QMessageBox::Ok, this);
    found.exec();

    const VersionInfo version = ReadVersion();
    Label16->setText(ByLanguage("KVT-10 wersja: %1 rewizja: %2 numer seyjny: %3",
                                  "KVT-10 version: %1 rev.: %2 serial number: %3")
                         .arg(version.version)
                         .arg(version.revision)
                         .arg(version.serialNumber));
    Connect->setEnabled(false);

    ReadSettings();

    auto log = std::make_unique<MeasurementLog>(QStringLiteral("jrt1.txt"));
    if (!log->create())
        throw std::runtime_error(log->errorString().toStdString());
    m_log = std::move(log);

    {
        std::lock_guard lock(LinkLock());
        ClearBuffers();
    }

    m_poller = std::make_unique<Poller>(*m_log);
    connect(m_poller.get(), &Poller::readingArrived, this, &TForm1::showReading);
    connect(m_poller.get(), &Poller::noReply, this, &TForm1::showNoReply);
    connect(m_poller.get(), &Poller::settingsConfirmed, this, &TForm1::showSettingsConfirmed);
    connect(m_poller.get(), &Poller::logFailed, this, &TForm1::showLogError);
    m_poller->start();

    Connect->setText(ByLanguage("Pomiar trwa", "Measuring"));
}

void TForm1::showReading(const Reading& reading)
{
    Edit20->setText(reading.dewPointText);
    Edit6->setText(reading.humidityText);
    Edit14->setText(reading.ambientText);
    Label35->setText(reading.operatingTimeText);
    Series1->addXY(reading.dewPointX, reading.dewPoint / 10.0);
    Series6->addXY(reading.humidityX, reading.humidity / 10.0);
    Series7->addXY(reading.ambientX, reading.ambient / 10.0);
}

void TForm1::showNoReply()
{
    Edit20->setText(QStringLiteral("Error"));
}

void TForm1::showSettingsConfirmed()
{
    Label9->setText(QStringLiteral("Zapisano!"));
}

void TForm1::showLogError(const QString& message)
{
    ShowErrorReport(message);
}

void TForm1::Shutdown()
{
    // The Poller goes first: it is the log's only writer and the link's other user.
    if (m_poller)
        m_poller->stop();
    m_poller.reset();
    if (m_log)
        m_log->close();
    std::lock_guard lock(LinkLock());
    if (Port != InvalidPort)
        ClosePort(Port);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    Shutdown();
    event->accept();
}
