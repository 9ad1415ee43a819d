// Start-up in the built interface language: the window appears in that language from
// its first show, its texts whole. Built twice, against a Polish and an English window
// library.
#include "instrument/derived.h"
#include "instrument/poller.h"
#include "ui/deriveddialog.h"
#include "ui/derivedpanel.h"
#include "ui/errorreport.h"
#include "ui/fieldtext.h"
#include "ui/language.h"
#include "ui/mainwindow.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <algorithm>

using namespace Qt::StringLiterals;

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void texts_data()
    {
        QTest::addColumn<QString>("polish");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("shown");  // filled in the test from the live window
        QTest::newRow("Connect") << u"Połącz"_s << u"Connect"_s << u"Connect"_s;
        QTest::newRow("Button1") << u"Wczytaj wykres"_s << u"Load chart"_s << u"Button1"_s;
        QTest::newRow("Button3") << u"Kalkulator"_s << u"Calculator"_s << u"Button3"_s;
        QTest::newRow("Label10") << u"Temperatura punktu rosy"_s << u"Dew Point Temperature"_s << u"Label10"_s;
        QTest::newRow("Label2") << u"Wyjście 2 min"_s << u"Min value"_s << u"Label2"_s;
        QTest::newRow("Label32") << u"Rodzaj wyjścia"_s << u"Output mode"_s << u"Label32"_s;
        QTest::newRow("ComboBox9 item 5") << u"5 górny z histerezą"_s << u"5 heating"_s << u"ComboBox9"_s;
        QTest::newRow("measurement tab") << u"Higrometr"_s << u"Hygrometer"_s << u"tab 2"_s;
        QTest::newRow("chart title") << u"Wykres wilgotności i temperatury"_s << u"Humidity and temperature chart"_s << u"Chart1"_s;
        QTest::newRow("Label9 in both") << u"Brak komunikacji !"_s << u"Brak komunikacji !"_s << u"Label9"_s;
        // Qt's own texts, in the language of the rest.
        QTest::newRow("a dialog's standard button") << u"Anuluj"_s << u"Cancel"_s << u"DerivedDialog Cancel"_s;
    }
    void texts()
    {
        QFETCH(QString, polish);
        QFETCH(QString, english);
        QFETCH(QString, shown);
        std::unique_ptr<TForm1> window = CreateMainWindow();
        QCOMPARE(Form1, window.get());
        QVERIFY(!window->isVisible());
        QString text;
        if (shown == u"tab 2"_s)
            text = window->PageControl1->tabText(2);
        else if (shown == u"Chart1"_s)
            text = window->Chart1->title();
        else if (shown == u"ComboBox9"_s)
            text = window->ComboBox9->itemText(5);
        else if (shown == u"DerivedDialog Cancel"_s)
            text = hmx::DerivedDialog({}, window.get()).findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text();
        else if (auto* label = window->findChild<QLabel*>(shown))
            text = label->text();
        else if (auto* button = window->findChild<QPushButton*>(shown))
            text = button->text();
        QCOMPARE(text, InterfaceLanguage == 0 ? polish : english);
        QCOMPARE(ByLanguage(polish, english), InterfaceLanguage == 0 ? polish : english);
        QCOMPARE(window->windowTitle(), u"HMX-700"_s);
        QCOMPARE(window->PageControl1->currentWidget(), window->TabSheet3);
        window.reset();
        QVERIFY(Form1 == nullptr);
    }

    // Every derived quantity chosen and out of range: in the measurement page's small
    // frame each name and each field's "poza zakresem" / "out of range" is drawn whole (a
    // long name on more lines), nothing reaching past the frame's width.
    void derivedFieldsShowTheirTextsWhole()
    {
        QStandardPaths::setTestModeEnabled(true);
        hmx::DerivedChoice choice;
        choice.shown = hmx::DerivableQuantities();
        {
            QSettings settings;
            hmx::SaveDerivedChoice(choice, settings);
        }
        const auto forget = qScopeGuard([] { QSettings().remove(u"Derived"_s); });
        std::unique_ptr<TForm1> window = CreateMainWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        hmx::Reading reading;
        reading.dewPoint = 300;  // 30 °C in air of 20 °C
        reading.ambient = 200;
        reading.derived = hmx::DerivedOf(choice, reading);  // as its session hands it over
        window->derived()->showReading(reading);
        auto* scroll = window->TabSheet3->findChild<QWidget*>(u"derivedFrame"_s)->findChild<QScrollArea*>();
        QVERIFY(scroll && scroll->widget());
        const auto inRoom = [&](const QWidget* w) {
            return w->mapTo(scroll->viewport(), QPoint(w->width(), 0)).x() <= scroll->viewport()->width();
        };
        const auto whole = [&](const QLabel* label) {
            const QRect room = label->contentsRect();
            const QRect drawn = label->fontMetrics().boundingRect(room, Qt::TextWordWrap, label->text());
            return drawn.width() <= room.width() && drawn.height() <= room.height() && inRoom(label);
        };
        const QList<QLabel*> labels = scroll->widget()->findChildren<QLabel*>();
        QTRY_VERIFY(std::all_of(labels.begin(), labels.end(), whole));  // once laid out
        QStringList names;
        for (const QLabel* label : labels)
            names << label->text();
        for (const hmx::humidity::Quantity q : choice.shown) {
            const hmx::humidity::QuantityInfo& info = hmx::humidity::Info(q);
            QVERIFY(names.contains(QString::fromUtf8(InterfaceLanguage == 0 ? info.polish : info.english)));
            const QLineEdit* field = window->derived()->field(q);
            QCOMPARE(field->text(), ByLanguage(u"poza zakresem"_s, u"out of range"_s));
            QVERIFY(field->fontMetrics().horizontalAdvance(field->text()) <= hmx::TextRoom(*field) && inRoom(field));
        }
    }

    void languageMatchesTheBuild()
    {
        QCOMPARE(InterfaceLanguage, HMX700_LANGUAGE);
        QVERIFY(InterfaceLanguage == 0 || InterfaceLanguage == 1);
    }
};

int main(int argc, char** argv)
{
    hmx::Application app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
