// The main window's layout: controls, geometry, tab order, texts, lists, flags, fonts,
// colours, the hidden settings tab, the mirror handlers and the English text table.
#include "instrument/poller.h"
#include "humidity/quantities.h"
#include "ui/errorreport.h"
#include "ui/fieldtext.h"
#include "ui/humiditydialog.h"
#include "ui/instrumentsettings.h"
#include "ui/language.h"
#include "limits/limitsettings.h"
#include "ui/mainwindow.h"
#include "ui/passwordstore.h"
#include "ui/preferencesdialog.h"
#include "ui/statisticspanel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

enum Flag { ReadOnly = 1, Disabled = 2, Hidden = 4 };

struct Control {
    const char* page;
    const char* name;
    const char* kind;
    int x, y, w, h;
    int tabOrder;     // -1: not in the tab order
    QString text;     // null: not fixed (the maker's web address)
    int flags;
};

// Both page tables of the layout.
const Control controls[] = {
    {"TabSheet3", "Label10", "QLabel", 48, 32, 184, 20, -1, u"Temperatura punktu rosy"_s, 0},
    {"TabSheet3", "Edit20", "QLineEdit", 19, 56, 249, 105, 0, u"- - - - -"_s, ReadOnly},
    {"TabSheet3", "Connect", "QPushButton", 432, 200, 105, 81, 1, u"Połącz"_s, 0},
    {"TabSheet3", "Label11", "QLabel", 112, 192, 139, 16, -1, u"Temperatura otoczenia"_s, 0},
    {"TabSheet3", "Edit14", "QLineEdit", 128, 216, 129, 59, 3, u"- - - - -"_s, ReadOnly},
    {"TabSheet3", "Label8", "QLabel", 104, 320, 150, 16, -1, u"Wilgotność względna [%]"_s, 0},
    {"TabSheet3", "Edit6", "QLineEdit", 128, 344, 121, 59, 2, u"- - - -"_s, ReadOnly},
    {"TabSheet3", "Button1", "QPushButton", 440, 376, 97, 25, 4, u"Wczytaj wykres"_s, 0},
    {"TabSheet3", "StaticText1", "QLabel", 520, 32, 196, 24, 5, u"VELTA Sensor-Works"_s, 0},
    {"TabSheet3", "StaticText2", "QLabel", 560, 64, 112, 24, 6, QString(), 0},
    {"TabSheet3", "Label17", "QLabel", 688, 504, 33, 13, -1, u"v. 1.01"_s, 0},
    {"TabSheet3", "Label34", "QLabel", 40, 480, 56, 13, -1, u"Urzadzenie:"_s, Hidden},
    {"TabSheet3", "Label16", "QLabel", 40, 512, 30, 13, -1, u"Status"_s, Hidden},
    {"TabSheet3", "Label35", "QLabel", 40, 544, 52, 13, -1, u"Czas pracy"_s, Hidden},
    {"TabSheet2", "StaticText3", "QLabel", 208, 24, 293, 23, 21, u"Górny wyświetlacz, Alarm 1, Wyjście 1"_s, 0},
    {"TabSheet2", "Label7", "QLabel", 24, 80, 109, 13, -1, u"Jednostka wyświetlana"_s, 0},
    {"TabSheet2", "ComboBox1", "QComboBox", 136, 72, 65, 21, 7, u"°Cdp"_s, 0},
    {"TabSheet2", "Label25", "QLabel", 248, 80, 45, 13, -1, u"Jednostki"_s, 0},
    {"TabSheet2", "ComboBox4", "QComboBox", 328, 72, 49, 21, 10, u"°Cdp"_s, Disabled},
    {"TabSheet2", "Label26", "QLabel", 248, 112, 50, 13, -1, u"Tryb pracy"_s, 0},
    {"TabSheet2", "ComboBox7", "QComboBox", 328, 104, 113, 21, 14, u""_s, 0},
    {"TabSheet2", "Label6", "QLabel", 248, 144, 51, 13, -1, u"Próg górny"_s, 0},
    {"TabSheet2", "Edit5", "QLineEdit", 328, 136, 49, 21, 4, u""_s, 0},
    {"TabSheet2", "Label27", "QLabel", 248, 176, 50, 13, -1, u"Próg dolny"_s, 0},
    {"TabSheet2", "Edit16", "QLineEdit", 328, 168, 49, 21, 16, u""_s, 0},
    {"TabSheet2", "Label1", "QLabel", 536, 80, 70, 13, -1, u"Rodzaj wyjścia"_s, 0},
    {"TabSheet2", "ComboBox2", "QComboBox", 616, 72, 65, 21, 8, u"4-20mA"_s, 0},
    {"TabSheet2", "Label18", "QLabel", 536, 112, 49, 13, -1, u"Jednostka"_s, 0},
    {"TabSheet2", "ComboBox3", "QComboBox", 616, 104, 65, 21, 9, u"°Cdp"_s, Disabled},
    {"TabSheet2", "Label4", "QLabel", 536, 144, 65, 13, -1, u"Wyjście 1 min"_s, 0},
    {"TabSheet2", "Edit1", "QLineEdit", 616, 136, 49, 21, 0, u""_s, 0},
    {"TabSheet2", "Label5", "QLabel", 536, 176, 68, 13, -1, u"Wyjście 1 max"_s, 0},
    {"TabSheet2", "Edit2", "QLineEdit", 616, 168, 49, 21, 1, u""_s, 0},
    {"TabSheet2", "StaticText4", "QLabel", 216, 208, 291, 23, 22, u"Dolny wyświetlacz, Alarm 2, Wyjście 2"_s, 0},
    {"TabSheet2", "Label24", "QLabel", 16, 272, 109, 13, -1, u"Jednostka wyświetlana"_s, 0},
    {"TabSheet2", "ComboBox10", "QComboBox", 136, 264, 65, 21, 19, u"°C"_s, 0},
    {"TabSheet2", "Label28", "QLabel", 248, 256, 45, 13, -1, u"Jednostki"_s, 0},
    {"TabSheet2", "ComboBox8", "QComboBox", 328, 248, 57, 21, 15, u"°C"_s, Disabled},
    {"TabSheet2", "Label29", "QLabel", 248, 288, 50, 13, -1, u"Tryb pracy"_s, 0},
    {"TabSheet2", "ComboBox9", "QComboBox", 328, 280, 105, 21, 20, u""_s, 0},
    {"TabSheet2", "Label30", "QLabel", 248, 320, 51, 13, -1, u"Próg górny"_s, 0},
    {"TabSheet2", "Edit17", "QLineEdit", 328, 312, 49, 21, 17, u""_s, 0},
    {"TabSheet2", "Label31", "QLabel", 248, 352, 50, 13, -1, u"Próg dolny"_s, 0},
    {"TabSheet2", "Edit18", "QLineEdit", 328, 344, 49, 21, 18, u""_s, 0},
    {"TabSheet2", "Label32", "QLabel", 536, 256, 70, 13, -1, u"Rodzaj wyjścia"_s, 0},
    {"TabSheet2", "ComboBox5", "QComboBox", 616, 248, 65, 21, 12, u"4-20mA"_s, 0},
    {"TabSheet2", "Label33", "QLabel", 536, 288, 49, 13, -1, u"Jednostka"_s, 0},
    {"TabSheet2", "ComboBox6", "QComboBox", 616, 280, 49, 21, 13, u"°C"_s, Disabled},
    {"TabSheet2", "Label2", "QLabel", 536, 320, 65, 13, -1, u"Wyjście 2 min"_s, 0},
    {"TabSheet2", "Edit3", "QLineEdit", 616, 312, 49, 21, 2, u""_s, 0},
    {"TabSheet2", "Label3", "QLabel", 536, 352, 68, 13, -1, u"Wyjście 2 max"_s, 0},
    {"TabSheet2", "Edit4", "QLineEdit", 616, 344, 49, 21, 3, u""_s, 0},
    {"TabSheet2", "Button2", "QPushButton", 216, 400, 105, 25, 6, u"Odczytaj ustawienia"_s, 0},
    {"TabSheet2", "ZapisUstawien", "QPushButton", 424, 400, 105, 25, 5, u"Zapisz ustawienia"_s, 0},
    {"TabSheet2", "Label19", "QLabel", 272, 456, 73, 13, -1, u"Czyszczenie co"_s, 0},
    {"TabSheet2", "Edit12", "QLineEdit", 360, 448, 41, 21, 11, u""_s, Disabled},
    {"TabSheet2", "Label20", "QLabel", 416, 456, 42, 13, -1, u"godzin(y)"_s, 0},
    {"TabSheet2", "Label9", "QLabel", 24, 472, 106, 13, -1, u"Brak komunikacji !"_s, Hidden},
};

const QStringList units8 = {u"°Cdp"_s, u"°Fdp"_s, u"g/m3"_s, u"%Rh"_s, u"aw"_s, u"°C"_s, u"°F"_s, u"t-tdp"_s};
const QStringList alarmModes = {u"0 wyłączony"_s, u"1 górny"_s, u"2 dolny"_s, u"3 pomiędzy"_s,
                                u"4 poza"_s, u"5 górny z histerezą"_s, u"6 dolny z histerezą"_s};
const QStringList englishAlarmModes = {u"0 off"_s, u"1 top"_s, u"2 bottom"_s, u"3 inside"_s,
                                       u"4 outside"_s, u"5 heating"_s, u"6 cooling"_s};

template <class T>
T* Find(QWidget* window, const char* name)
{
    return window->findChild<T*>(QString::fromLatin1(name));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TForm1> window;

private slots:
    void init() { window = std::make_unique<TForm1>(); }
    void cleanup() { window.reset(); }

    void valueFieldsShowEveryTextWhole_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("point") << u"en_US"_s;
        QTest::newRow("comma") << u"pl_PL"_s;
    }

    void valueFieldsShowEveryTextWhole()
    {
        QFETCH(QString, locale);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // The widest texts are the extreme readings after the four-digit rounding.
        const QLocale numbers(locale);
        const QString longest[] = {hmx::DisplayText(-32768, numbers), hmx::DisplayText(32767, numbers)};
        QCOMPARE(longest[0], u"-3277"_s + numbers.decimalPoint() + u"00"_s);
        for (QLineEdit* field : {window->Edit20, window->Edit6, window->Edit14}) {
            const QFont designed = field->font();
            for (const QString& text : longest) {
                hmx::ShowWhole(*field, text);
                QCOMPARE(field->text(), text);
                QCOMPARE(field->font().family(), designed.family());
                const int room = hmx::TextRoom(*field);
                QVERIFY2(QFontMetrics(field->font()).horizontalAdvance(text) <= room, qPrintable(text));
                // Shrunk no more than needed: one pixel larger would not fit.
                if (field->font().pixelSize() < designed.pixelSize()) {
                    QFont larger = field->font();
                    larger.setPixelSize(larger.pixelSize() + 1);
                    QVERIFY(QFontMetrics(larger).horizontalAdvance(text) > room);
                }
            }
            // A text that fits keeps the designed font.
            hmx::ShowWhole(*field, hmx::DisplayText(235, numbers));
            QCOMPARE(field->font(), designed);
        }
    }

    void formIsTheFirstWindow()
    {
        QCOMPARE(Form1, window.get());
        window.reset();
        QVERIFY(Form1 == nullptr);  // no dangling pointer once the window is gone
    }

    void window_()
    {
        QCOMPARE(window->windowTitle(), u"HMX-700"_s);
        QCOMPARE(window->size(), QSize(794, 594));
        QCOMPARE(window->PageControl1->geometry(), QRect(0, 0, 793, 593));
        QCOMPARE(window->palette().color(QPalette::Window), window->palette().color(QPalette::Button));
        const QFont font = window->font();
        QCOMPARE(font.family(), u"MS Sans Serif"_s);
        QCOMPARE(font.pixelSize(), 11);
        QVERIFY(!font.bold());
        // Missing Windows fonts fall back to their narrow look-alikes, not the default sans.
        QVERIFY(QFont::substitutes(u"MS Sans Serif"_s).contains(u"Liberation Sans"_s, Qt::CaseInsensitive));
        QVERIFY(QFont::substitutes(u"Arial"_s).contains(u"Liberation Sans"_s, Qt::CaseInsensitive));
        for (QWidget* page : {window->TabSheet1, window->TabSheet2, window->TabSheet3}) {
            QVERIFY(page->autoFillBackground());
            QCOMPARE(page->palette().color(QPalette::Window), window->palette().color(QPalette::Button));
        }
        const QList<QSize> iconSizes = window->windowIcon().availableSizes();
        QVERIFY2(iconSizes.contains(QSize(32, 32)), "32 x 32 icon");
        QVERIFY2(iconSizes.contains(QSize(16, 16)), "16 x 16 icon");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(window->geometry().center(), screen.center());
        // The page control does not follow the window's size.
        window->resize(1000, 800);
        QCOMPARE(window->PageControl1->geometry(), QRect(0, 0, 793, 593));
    }

    void pages()
    {
        QTabWidget* pages = window->PageControl1;
        QCOMPARE(pages->count(), 3);
        QCOMPARE(pages->widget(0), window->TabSheet1);
        QCOMPARE(pages->widget(1), window->TabSheet2);
        QCOMPARE(pages->widget(2), window->TabSheet3);
        QCOMPARE(pages->tabText(0), u"Wykres"_s);
        QCOMPARE(pages->tabText(1), u"Ustawienia"_s);
        QCOMPARE(pages->tabText(2), u"Higrometr"_s);
        QVERIFY(pages->isTabVisible(0));
        QVERIFY(!pages->isTabVisible(1));
        QVERIFY(pages->isTabVisible(2));
        QCOMPARE(pages->currentWidget(), window->TabSheet3);
        QCOMPARE(window->Chart1->parentWidget(), window->TabSheet1);
        QCOMPARE(window->Chart1->geometry(), QRect(0, 0, 780, 540));
        QCOMPARE(window->Chart1->seriesCount(), 3);
        QCOMPARE(window->Chart1->series(0), window->Series1);
        QCOMPARE(window->Chart1->series(1), window->Series6);
        QCOMPARE(window->Chart1->series(2), window->Series7);
    }

    // Every way the user can switch pages skips the settings page.
    void settingsPageUnreachable_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("switches");  // whether Qt switches pages on this key at all
        QTest::newRow("ctrl+tab from the chart") << 0 << int(Qt::Key_Tab) << int(Qt::ControlModifier) << true;
        QTest::newRow("ctrl+tab from the measurement") << 2 << int(Qt::Key_Tab) << int(Qt::ControlModifier) << true;
        QTest::newRow("ctrl+shift+tab from the measurement") << 2 << int(Qt::Key_Backtab) << int(Qt::ControlModifier | Qt::ShiftModifier) << true;
        QTest::newRow("ctrl+shift+tab from the chart") << 0 << int(Qt::Key_Backtab) << int(Qt::ControlModifier | Qt::ShiftModifier) << true;
        QTest::newRow("ctrl+page down from the chart") << 0 << int(Qt::Key_PageDown) << int(Qt::ControlModifier) << false;
        QTest::newRow("ctrl+page up from the measurement") << 2 << int(Qt::Key_PageUp) << int(Qt::ControlModifier) << false;
        QTest::newRow("right arrow on the tab bar") << 0 << int(Qt::Key_Right) << 0 << true;
        QTest::newRow("left arrow on the tab bar") << 2 << int(Qt::Key_Left) << 0 << true;
    }
    void settingsPageUnreachable()
    {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, switches);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTabWidget* pages = window->PageControl1;
        pages->setCurrentIndex(start);
        QWidget* target = pages;
        if (key == Qt::Key_Left || key == Qt::Key_Right)
            target = pages->tabBar();
        for (int i = 0; i < 4; ++i) {
            const int before = pages->currentIndex();
            QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            QVERIFY(pages->currentIndex() != 1);
            if (i == 0 && switches)  // the switch itself still works (later presses may hit the end)
                QVERIFY(pages->currentIndex() != before);
        }
        // Selecting the page from code is refused as well.
        pages->setCurrentWidget(window->TabSheet2);
        QVERIFY(pages->currentIndex() != 1);
        for (int delta : {-120, 120, -120, -120, 120, 120}) {
            QTabBar* bar = pages->tabBar();
            const QPointF at = bar->tabRect(0).center();
            QWheelEvent wheel(at, bar->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(bar, &wheel);
            QVERIFY(pages->currentIndex() != 1);
        }
    }

    void control_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("flags");
        for (const Control& c : controls)
            QTest::newRow(c.name) << QString::fromLatin1(c.page) << QString::fromLatin1(c.name)
                                  << QString::fromLatin1(c.kind) << QRect(c.x, c.y, c.w, c.h) << c.text << c.flags;
    }
    void control()
    {
        QFETCH(QString, page);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(int, flags);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto* control = window->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
        QCOMPARE(control->parentWidget()->objectName(), page);
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->isEnabled(), !(flags & Disabled));
        QCOMPARE(control->isHidden(), bool(flags & Hidden));

        QString shown;
        if (auto* label = qobject_cast<QLabel*>(control)) {
            shown = label->text();
            QCOMPARE(label->alignment() & Qt::AlignVertical_Mask, Qt::AlignTop);
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            shown = edit->text();
            QCOMPARE(edit->isReadOnly(), bool(flags & ReadOnly));
        } else if (auto* button = qobject_cast<QPushButton*>(control)) {
            shown = button->text();
        } else if (auto* list = qobject_cast<QComboBox*>(control)) {
            shown = list->currentText();
            QVERIFY(list->isEditable());
            // Typed text never becomes a new item.
            QCOMPARE(list->insertPolicy(), QComboBox::NoInsert);
        }
        if (!text.isNull())
            QCOMPARE(shown, text);
        else
            QVERIFY(!shown.isEmpty());
    }

    // The hidden labels stay hidden once the window is on screen and after texts change.
    void hiddenLabelsStayHidden()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->Label16->setText(u"KVT-10 wersja: 3 rewizja: 14 numer seyjny: 300"_s);
        window->Label9->setText(u"Zapisano!"_s);
        window->Label35->setText(u"12:00:00"_s);
        window->PageControl1->setTabVisible(1, true);
        window->PageControl1->setCurrentWidget(window->TabSheet2);
        QCOMPARE(window->PageControl1->currentWidget(), window->TabSheet2);
        for (QLabel* label : {window->Label9, window->Label16, window->Label34, window->Label35})
            QVERIFY2(!label->isVisible(), qPrintable(label->objectName()));
    }

    void tabOrder_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("measurement page") << u"TabSheet3"_s;
        QTest::newRow("settings page") << u"TabSheet2"_s;
    }
    void tabOrder()
    {
        QFETCH(QString, page);
        QList<std::pair<int, QString>> expected;
        for (const Control& c : controls)
            if (c.tabOrder >= 0 && QString::fromLatin1(c.page) == page && QByteArray(c.kind) != "QLabel")
                expected.append({c.tabOrder, QString::fromLatin1(c.name)});
        std::sort(expected.begin(), expected.end());
        QStringList expectedNames;
        for (const auto& e : expected)
            expectedNames << e.second;

        // Walk the focus chain once around from the page's first control.
        QWidget* first = window->findChild<QWidget*>(expectedNames.first());
        QStringList walked;
        QWidget* w = first;
        do {
            if (expectedNames.contains(w->objectName()) && !walked.contains(w->objectName()))
                walked << w->objectName();
            w = w->nextInFocusChain();
        } while (w != first);
        QCOMPARE(walked, expectedNames);
    }

    void listItems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("ComboBox1") << u"ComboBox1"_s << QStringList{u"°Cdp"_s, u"°Fdp"_s, u"gm-3"_s, u"%Rh"_s, u"aw"_s};
        QTest::newRow("ComboBox10") << u"ComboBox10"_s << QStringList{u"°C"_s, u"°F"_s, u"t-tdp"_s};
        for (const char* mirror : {"ComboBox3", "ComboBox4", "ComboBox6", "ComboBox8"})
            QTest::newRow(mirror) << QString::fromLatin1(mirror) << units8;
        QTest::newRow("ComboBox2") << u"ComboBox2"_s << QStringList{u"0-20mA"_s, u"4-20mA"_s};
        QTest::newRow("ComboBox5") << u"ComboBox5"_s << QStringList{u"0-20mA"_s, u"4-20mA"_s};
        QTest::newRow("ComboBox7") << u"ComboBox7"_s << alarmModes;
        QTest::newRow("ComboBox9") << u"ComboBox9"_s << alarmModes;
    }
    void listItems()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        auto* list = window->findChild<QComboBox*>(name);
        QVERIFY(list);
        QStringList actual;
        for (int i = 0; i < list->count(); ++i)
            actual << list->itemText(i);
        QCOMPARE(actual, items);
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("bold");
        QTest::newRow("Edit20") << u"Edit20"_s << u"Arial"_s << 85 << true;
        QTest::newRow("Edit14") << u"Edit14"_s << u"Arial"_s << 43 << true;
        QTest::newRow("Edit6") << u"Edit6"_s << u"Arial"_s << 43 << true;
        QTest::newRow("Label9") << u"Label9"_s << u"MS Sans Serif"_s << 11 << true;
        QTest::newRow("Label10") << u"Label10"_s << u"MS Sans Serif"_s << 16 << false;
        QTest::newRow("Connect") << u"Connect"_s << u"MS Sans Serif"_s << 16 << false;
        QTest::newRow("Label11") << u"Label11"_s << u"MS Sans Serif"_s << 13 << false;
        QTest::newRow("Label8") << u"Label8"_s << u"MS Sans Serif"_s << 13 << false;
        QTest::newRow("StaticText1") << u"StaticText1"_s << u"MS Sans Serif"_s << 16 << true;
        QTest::newRow("StaticText2") << u"StaticText2"_s << u"MS Sans Serif"_s << 16 << true;
        QTest::newRow("StaticText3") << u"StaticText3"_s << u"Arial"_s << 16 << true;
        QTest::newRow("StaticText4") << u"StaticText4"_s << u"Arial"_s << 16 << true;
        QTest::newRow("Button1 (window font)") << u"Button1"_s << u"MS Sans Serif"_s << 11 << false;
        QTest::newRow("Label7 (window font)") << u"Label7"_s << u"MS Sans Serif"_s << 11 << false;
        QTest::newRow("ComboBox1 (window font)") << u"ComboBox1"_s << u"MS Sans Serif"_s << 11 << false;
    }
    void fonts()
    {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(int, pixelSize);
        QFETCH(bool, bold);
        auto* control = window->findChild<QWidget*>(name);
        QVERIFY(control);
        const QFont font = control->font();
        QCOMPARE(font.family(), family);
        QCOMPARE(font.pixelSize(), pixelSize);
        QCOMPARE(font.bold(), bold);
        QCOMPARE(font.fixedPitch(), name == u"Edit20"_s);
        // A missing family falls back to a sans font of the same pixel height.
        QCOMPARE(QFontInfo(font).pixelSize(), pixelSize);
        QCOMPARE(font.styleHint(), QFont::SansSerif);
    }

    void colours_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::addColumn<QColor>("colour");
        const QColor windowText = QApplication::palette().color(QPalette::WindowText);
        const QColor buttonFace = QApplication::palette().color(QPalette::Button);
        QTest::newRow("Edit20 background maroon") << u"Edit20"_s << int(QPalette::Base) << QColor(128, 0, 0);
        QTest::newRow("Edit20 text red") << u"Edit20"_s << int(QPalette::Text) << QColor(255, 0, 0);
        QTest::newRow("Edit14 background teal") << u"Edit14"_s << int(QPalette::Base) << QColor(0, 128, 128);
        QTest::newRow("Edit14 text window text") << u"Edit14"_s << int(QPalette::Text) << windowText;
        QTest::newRow("Edit6 background teal") << u"Edit6"_s << int(QPalette::Base) << QColor(0, 128, 128);
        QTest::newRow("Edit6 text window text") << u"Edit6"_s << int(QPalette::Text) << windowText;
        QTest::newRow("Label9 text red") << u"Label9"_s << int(QPalette::WindowText) << QColor(255, 0, 0);
        QTest::newRow("Label9 background button face") << u"Label9"_s << int(QPalette::Window) << buttonFace;
    }
    void colours()
    {
        QFETCH(QString, name);
        QFETCH(int, role);
        QFETCH(QColor, colour);
        auto* control = window->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->palette().color(QPalette::Active, QPalette::ColorRole(role)), colour);
        QCOMPARE(control->palette().color(QPalette::Inactive, QPalette::ColorRole(role)), colour);
        if (name == u"Label9"_s)
            QVERIFY(control->autoFillBackground());
    }

    void displayFieldsShowTheirBackground()
    {
        // The colours must reach the screen, not only the palette.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QImage image = window->Edit20->grab().toImage();
        QCOMPARE(QColor(image.pixel(image.width() - 12, image.height() - 12)), QColor(128, 0, 0));
        const QImage ambient = window->Edit14->grab().toImage();
        QCOMPARE(QColor(ambient.pixel(ambient.width() - 8, ambient.height() - 8)), QColor(0, 128, 128));
    }

    // Picking an item or typing copies the text, not the index, to the two mirrors.
    void mirrors_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("mirror1");
        QTest::addColumn<QString>("mirror2");
        QTest::addColumn<int>("downPresses");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("pick gm-3") << u"ComboBox1"_s << u"ComboBox3"_s << u"ComboBox4"_s << 2 << QString() << u"gm-3"_s;
        QTest::newRow("pick aw") << u"ComboBox1"_s << u"ComboBox3"_s << u"ComboBox4"_s << 4 << QString() << u"aw"_s;
        QTest::newRow("pick t-tdp") << u"ComboBox10"_s << u"ComboBox6"_s << u"ComboBox8"_s << 2 << QString() << u"t-tdp"_s;
        QTest::newRow("type into ComboBox10") << u"ComboBox10"_s << u"ComboBox6"_s << u"ComboBox8"_s << 0 << u"xyz"_s << u"xyz"_s;
        QTest::newRow("type the start of an item") << u"ComboBox10"_s << u"ComboBox6"_s << u"ComboBox8"_s << 0 << u"t-t"_s << u"t-t"_s;
        QTest::newRow("type into ComboBox1") << u"ComboBox1"_s << u"ComboBox3"_s << u"ComboBox4"_s << 0 << u"kPa"_s << u"kPa"_s;
    }
    void mirrors()
    {
        QFETCH(QString, source);
        QFETCH(QString, mirror1);
        QFETCH(QString, mirror2);
        QFETCH(int, downPresses);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        auto* list = window->findChild<QComboBox*>(source);
        auto* first = window->findChild<QComboBox*>(mirror1);
        auto* second = window->findChild<QComboBox*>(mirror2);
        const int firstIndex = first->currentIndex();
        for (int i = 0; i < downPresses; ++i)
            QTest::keyClick(list, Qt::Key_Down);
        if (!typed.isEmpty()) {
            // As the user types: window on screen, the list focused.
            window->show();
            window->PageControl1->setTabVisible(1, true);
            window->PageControl1->setCurrentWidget(window->TabSheet2);
            QVERIFY(QTest::qWaitForWindowActive(window.get()));
            list->setFocus();
            QTRY_VERIFY(list->lineEdit()->hasFocus());
            list->lineEdit()->clear();
            // Each typed character is copied at once.
            QString sofar;
            for (QChar c : typed) {
                sofar += c;
                QTest::keyClicks(list->lineEdit(), QString(c));
                QCOMPARE(list->currentText(), sofar);
                QCOMPARE(first->currentText(), sofar);
                QCOMPARE(second->currentText(), sofar);
            }
        }
        QCOMPARE(list->currentText(), expected);
        QCOMPARE(first->currentText(), expected);
        QCOMPARE(second->currentText(), expected);
        if (!expected.isEmpty() && !units8.contains(expected))
            QCOMPARE(first->currentIndex(), firstIndex);  // shown as text, no item picked
    }

    void mirrorsByPopup()
    {
        window->show();
        window->PageControl1->setTabVisible(1, true);  // only a test brings the page up
        window->PageControl1->setCurrentWidget(window->TabSheet2);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QComboBox* list = window->ComboBox1;
        list->showPopup();
        QAbstractItemView* view = list->view();
        QTRY_VERIFY(view->isVisible());
        const QModelIndex gm3 = view->model()->index(2, 0);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(gm3).center());
        QTRY_COMPARE(window->ComboBox3->currentText(), u"gm-3"_s);
        QCOMPARE(window->ComboBox4->currentText(), u"gm-3"_s);
    }

    void codeChangesDoNotMirror()
    {
        window->ComboBox1->setCurrentIndex(3);
        window->ComboBox1->setEditText(u"aw"_s);
        window->ComboBox1->setCurrentText(u"gm-3"_s);
        window->ComboBox10->setCurrentIndex(2);
        window->ComboBox10->setEditText(u"free"_s);
        window->ComboBox10->lineEdit()->setText(u"free 2"_s);
        QCOMPARE(window->ComboBox3->currentText(), u"°Cdp"_s);
        QCOMPARE(window->ComboBox4->currentText(), u"°Cdp"_s);
        QCOMPARE(window->ComboBox6->currentText(), u"°C"_s);
        QCOMPARE(window->ComboBox8->currentText(), u"°C"_s);
    }

    void englishTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("english");
        const std::pair<const char*, QString> table[] = {
            {"Connect", u"Connect"_s}, {"Button1", u"Load chart"_s},
            {"Label10", u"Dew Point Temperature"_s}, {"Label11", u"Ambient temperature"_s},
            {"Label8", u"Relative humidity [%]"_s}, {"Label16", u"State:"_s},
            {"Label1", u"Output mode:"_s}, {"Label2", u"Min value"_s}, {"Label3", u"Max value"_s},
            {"Label4", u"Min value"_s}, {"Label5", u"Max value"_s}, {"Label6", u"Up threshold"_s},
            {"Label7", u"Displayed unit"_s}, {"Label18", u"Unit"_s}, {"Label19", u"Cleaning interval"_s},
            {"Label20", u"Hour(s)"_s}, {"Label24", u"Displayed unit"_s}, {"Label25", u"Unit"_s},
            {"Label26", u"Alarm mode"_s}, {"Label27", u"Down threshold"_s}, {"Label28", u"Unit"_s},
            {"Label29", u"Alarm mode"_s}, {"Label30", u"Up threshold"_s}, {"Label31", u"Down threshold"_s},
            {"Label32", u"Output mode"_s}, {"Label33", u"Unit"_s}, {"Label34", u"Device:"_s},
            {"ZapisUstawien", u"Save settings"_s}, {"Button2", u"Load settings"_s},
            {"StaticText3", u"Top display, Alarm 1, Output 1"_s},
            {"StaticText4", u"Bottom display, Alarm 2, Output 2"_s},
            // Texts that stay as laid out.
            {"Label9", u"Brak komunikacji !"_s}, {"Label35", u"Czas pracy"_s}, {"Label17", u"v. 1.01"_s},
            {"StaticText1", u"VELTA Sensor-Works"_s}, {"Edit20", u"- - - - -"_s}, {"Edit6", u"- - - -"_s},
            {"Edit14", u"- - - - -"_s},
        };
        for (const auto& [name, english] : table)
            QTest::newRow(name) << QString::fromLatin1(name) << english;
    }
    void englishTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, english);
        const QString webAddress = window->StaticText2->text();
        window->ApplyEnglishTexts();
        QWidget* control = window->findChild<QWidget*>(name);
        QVERIFY(control);
        QString shown;
        if (auto* label = qobject_cast<QLabel*>(control))
            shown = label->text();
        else if (auto* button = qobject_cast<QPushButton*>(control))
            shown = button->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(control))
            shown = edit->text();
        QCOMPARE(shown, english);
        QCOMPARE(window->StaticText2->text(), webAddress);
    }

    void englishWindow()
    {
        window->ApplyEnglishTexts();
        QCOMPARE(window->windowTitle(), u"HMX-700"_s);
        QCOMPARE(window->PageControl1->tabText(0), u"Chart"_s);
        QCOMPARE(window->PageControl1->tabText(1), u"Settings"_s);
        QCOMPARE(window->PageControl1->tabText(2), u"Hygrometer"_s);
        QVERIFY(!window->PageControl1->isTabVisible(1));
        QCOMPARE(window->Chart1->title(), u"Humidity and temperature chart"_s);
        for (QComboBox* list : {window->ComboBox7, window->ComboBox9}) {
            QStringList items;
            for (int i = 0; i < list->count(); ++i)
                items << list->itemText(i);
            QCOMPARE(items, englishAlarmModes);
            QCOMPARE(list->currentText(), QString());
            QCOMPARE(list->currentIndex(), -1);
        }
        // Unit and output lists keep their items and texts.
        QCOMPARE(window->ComboBox1->itemText(2), u"gm-3"_s);
        QCOMPARE(window->ComboBox1->currentText(), u"°Cdp"_s);
        QCOMPARE(window->ComboBox2->currentText(), u"4-20mA"_s);
        QCOMPARE(window->ComboBox6->itemText(7), u"t-tdp"_s);
        QCOMPARE(window->Series1->title(), u"°Cdp"_s);
        QCOMPARE(window->Series6->title(), u"%Rh"_s);
        QCOMPARE(window->Series7->title(), u"°C"_s);
    }

    void englishKeepsASelectedAlarmMode()
    {
        window->ComboBox7->setCurrentIndex(3);
        window->ApplyEnglishTexts();
        QCOMPARE(window->ComboBox7->currentIndex(), 3);
        QCOMPARE(window->ComboBox7->currentText(), u"3 inside"_s);
        QCOMPARE(window->ComboBox9->currentText(), QString());
    }

    void polishChartTitle()
    {
        QCOMPARE(window->Chart1->title(), u"Wykres wilgotności i temperatury"_s);
    }

    // The statistics panel takes room from the chart and gives it back, follows new
    // readings and a hidden line by itself, and keeps the user's choice.
    void statisticsPanelFollowsTheChart()
    {
        QStandardPaths::setTestModeEnabled(true);
        hmx::StatisticsPanel* panel = window->statistics();
        QVERIFY(panel);
        window->show();
        window->PageControl1->setCurrentIndex(0);
        panel->showAction()->setChecked(true);
        QVERIFY(panel->isVisible());
        QVERIFY(window->Chart1->geometry().bottom() < panel->geometry().top());
        QCOMPARE(window->Chart1->geometry().united(panel->geometry()), QRect(0, 0, 780, 540));
        for (const char* button : {"StatisticsButton", "StatisticsCopyButton"}) {
            auto* b = window->TabSheet1->findChild<QWidget*>(QString::fromLatin1(button));
            QVERIFY2(b && b->isVisible() && window->TabSheet1->rect().contains(b->geometry()), button);
        }
        const double start = QDate(1899, 12, 30).daysTo(QDate(2026, 12, 8));
        for (int i = 0; i < 10; ++i) {
            const double x = start + i / 86400.0;
            window->Series1->addXY(x, 1.5 * i);
            window->Series6->addXY(x, 40);
            window->Series7->addXY(x, 20);
        }
        QLocale locale;
        QTRY_COMPARE(panel->shownTable().rows.size(), std::size_t(3));
        QTRY_COMPARE(panel->shownTable().rows[0][1], locale.toString(10));
        QCOMPARE(panel->shownTable().rows[0][6], locale.toString(6.75, 'f', 2));
        window->Series6->setVisible(false);
        QTRY_COMPARE(panel->shownTable().rows.size(), std::size_t(2));
        QCOMPARE(panel->shownTable().rows[1][0], window->Series7->title());
        panel->showAction()->setChecked(false);
        QCOMPARE(window->Chart1->geometry(), QRect(0, 0, 780, 540));
        QCOMPARE(hmx::ProgramSettings()->value(u"chart/statisticsShown"_s).toBool(), false);
    }

    // The calculator opens from the measurement page, beside the specified controls,
    // computes as the user types, and keeps its inputs for the next time.
    void calculatorFromTheMeasurementPage()
    {
        using namespace hmx::humidity;
        QStandardPaths::setTestModeEnabled(true);
        QSettings().remove(u"calculator"_s);
        for (QWidget* other : window->TabSheet3->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (other != window->Button3 && !other->isHidden())
                QVERIFY2(!other->geometry().intersects(window->Button3->geometry()), qPrintable(other->objectName()));

        window->show();
        QTest::mouseClick(window->Button3, Qt::LeftButton);
        auto* dialog = window->findChild<hmx::HumidityDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        dialog->temperatureEdit()->setText(locale.toString(20.0));
        dialog->inputChoice()->setCurrentIndex(int(Input::RelativeHumidity));
        dialog->valueEdit()->setText(locale.toString(50.0));
        dialog->pressureEdit(1)->setText(u"7"_s);
        dialog->pressureUnit(1)->setCurrentText(u"barg"_s);
        Conditions c;
        c.temperature = 20;
        c.secondPressure = 801325;
        const State expected = Compute(c, Input::RelativeHumidity, 50);
        QCOMPARE(dialog->statusText(), QString());
        QCOMPARE(dialog->shownText(Quantity::DewPoint), locale.toString(*expected[Quantity::DewPoint], 'f', 2));
        QCOMPARE(dialog->shownText(Quantity::DewPointAtSecondPressureF),
                 locale.toString(*expected[Quantity::DewPointAtSecondPressureF], 'f', 2));
        QCOMPARE(dialog->shownText(Quantity::VolumeRatio), locale.toString(*expected[Quantity::VolumeRatio], 'f', 1));
        QCOMPARE(dialog->shownText(Quantity::FrostPoint), ByLanguage(u"poza zakresem"_s, u"out of range"_s));

        dialog->valueEdit()->setText(u"5x"_s);
        QVERIFY(dialog->statusText().contains(dialog->inputChoice()->currentText()));
        QCOMPARE(dialog->shownText(Quantity::DewPoint), QString());
        dialog->valueEdit()->setText(locale.toString(150.0));
        // What is out of range, and how far it may go.
        QVERIFY(dialog->statusText().contains(dialog->inputChoice()->currentText()));
        QVERIFY(dialog->statusText().contains(locale.toString(100.0, 'f', 2)));
        QCOMPARE(dialog->shownText(Quantity::MixingRatio), QString());

        dialog->pressureEdit(0)->setText(locale.toString(2.5));
        dialog->pressureUnit(0)->setCurrentText(u"bar"_s);
        dialog->close();
        window.reset();
        window = std::make_unique<TForm1>();
        QTest::mouseClick(window->Button3, Qt::LeftButton);
        dialog = window->findChild<hmx::HumidityDialog*>();
        QVERIFY(dialog);
        QCOMPARE(dialog->pressureEdit(0)->text(), locale.toString(2.5));
        QCOMPARE(dialog->pressureUnit(0)->currentText(), u"bar"_s);
        QCOMPARE(dialog->inputChoice()->currentIndex(), int(Input::RelativeHumidity));
    }

    // Publishing's preferences on every platform: the broker in the stored preferences, the
    // password in the system's key store only (the Credential Manager on Windows).
    void preferencesKeepThePasswordInTheKeyStore()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().remove(u"Publishing"_s);
        QAction* action = nullptr;
        for (QAction* a : window->actions())
            if (a->objectName() == u"preferencesAction"_s)
                action = a;
        QVERIFY(action);
        action->trigger();
        auto* dialog = window->findChild<hmx::PreferencesDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        const QString password = u"pw-%1"_s.arg(QDateTime::currentMSecsSinceEpoch());
        dialog->findChild<QCheckBox*>(u"enabled"_s)->setChecked(true);
        dialog->findChild<QLineEdit*>(u"host"_s)->setText(u"broker.test"_s);
        dialog->findChild<QLineEdit*>(u"user"_s)->setText(u"plant"_s);
        dialog->findChild<QLineEdit*>(u"password"_s)->setText(password);
        // A topic the broker keeps for itself, or one a line break would cut: a red line says
        // so and OK waits until it is mended.
        auto* topic = dialog->findChild<QLineEdit*>(u"baseTopic"_s);
        auto* problem = dialog->findChild<QLabel*>(u"problem"_s);
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        for (const QString& bad : {u"$SYS/hygro"_s, u"site\ndryer1"_s}) {
            topic->setText(bad);
            QVERIFY(problem->isVisibleTo(dialog));
            QVERIFY2(problem->text().contains(hmx::ByLanguage("Temat bazowy", "The base topic")), qPrintable(problem->text()));
            QVERIFY(!ok->isEnabled());
        }
        topic->setText(u"site/dryer1"_s);
        QVERIFY(!problem->isVisibleTo(dialog));
        QVERIFY(ok->isEnabled());
        dialog->accept();

        QSettings stored;
        const hmx::PublishSettings chosen = hmx::LoadPublishSettings(stored);
        QVERIFY(chosen.enabled);
        QCOMPARE(chosen.host, u"broker.test"_s);
        QCOMPARE(chosen.user, u"plant"_s);
        QCOMPARE(chosen.baseTopic, u"site/dryer1"_s);
        for (const QString& key : stored.allKeys())
            QVERIFY2(stored.value(key).toString() != password, qPrintable(key));
        // The store answers on the event loop; a Linux machine without a secret service has
        // nowhere to keep it, which the status line then says.
        QString kept;
        QString error = u"no answer"_s;
        hmx::ReadBrokerPassword(chosen, window.get(), [&](const QString& p, const QString& e) { kept = p, error = e; });
        QTRY_VERIFY(error != u"no answer"_s);
#ifndef Q_OS_WIN
        if (!error.isEmpty())
            QSKIP(qPrintable(u"no key store on this machine: "_s + error));
#endif
        QCOMPARE(error, QString());
        QCOMPARE(kept, password);
    }

    // What is kept for the next start comes back as kept, or not at all: fewer than two
    // instruments clear an earlier list, and an entry edited into nonsense is left out.
    void instrumentsKeptForTheNextStart_data()
    {
        QTest::addColumn<QStringList>("saved");     // "serial@port", each a list saved in turn
        QTest::addColumn<QString>("edit");          // "key=value" written by hand afterwards
        QTest::addColumn<QStringList>("expected");  // what the next start reads
        QTest::newRow("three") << QStringList{u"301@/dev/ttyUSB0 301|302@/dev/ttyUSB1|303@/dev/serial/by-id/a b"_s}
                               << QString() << QStringList{u"301@/dev/ttyUSB0 301"_s, u"302@/dev/ttyUSB1"_s, u"303@/dev/serial/by-id/a b"_s};
        QTest::newRow("one after three") << QStringList{u"301@a|302@b|303@c"_s, u"301@a"_s} << QString() << QStringList{};
        QTest::newRow("two after three") << QStringList{u"301@a|302@b|303@c"_s, u"304@d|301@a"_s} << QString()
                                         << QStringList{u"304@d"_s, u"301@a"_s};
        QTest::newRow("a serial edited into words") << QStringList{u"301@a|302@b"_s} << u"lastInstruments/2/serial=dryer"_s
                                                    << QStringList{u"301@a"_s};
        QTest::newRow("a serial beyond 16 bits") << QStringList{u"301@a|302@b"_s} << u"lastInstruments/1/serial=65536"_s
                                                 << QStringList{u"302@b"_s};
    }

    void instrumentsKeptForTheNextStart()
    {
        QFETCH(QStringList, saved);
        QFETCH(QString, edit);
        QFETCH(QStringList, expected);
        const std::unique_ptr<QSettings> stored = hmx::ProgramSettings();
        const auto forget = qScopeGuard([&] { stored->remove(u"lastInstruments"_s); });
        for (const QString& list : saved) {
            std::vector<hmx::KeptInstrument> instruments;
            for (const QString& entry : list.split(u'|'))
                instruments.push_back({quint16(entry.section(u'@', 0, 0).toUInt()), entry.section(u'@', 1)});
            hmx::SaveLastInstruments(*stored, instruments);
        }
        if (!edit.isEmpty())
            stored->setValue(edit.section(u'=', 0, 0), edit.section(u'=', 1));
        QStringList read;
        for (const hmx::KeptInstrument& kept : hmx::LoadLastInstruments(*stored))
            read << u"%1@%2"_s.arg(kept.serialNumber).arg(kept.port);
        QCOMPARE(read, expected);
    }

    // One instrument's limits and derived choice are its own: neither another's nor the
    // first instrument's (the window's own keys) change with them.
    void instrumentPreferencesStayApart()
    {
        const std::unique_ptr<QSettings> stored = hmx::ProgramSettings();
        const auto forget = qScopeGuard([&] { stored->remove(u"instruments"_s); });
        const hmx::AlarmPreferences windows = hmx::LoadAlarmPreferences(*stored);
        hmx::AlarmPreferences dryer;
        dryer.limits[hmx::limits::QuantityId::DewPoint][hmx::limits::Bound::AlarmHigh] = -40.0;
        dryer.soundForWarnings = true;
        hmx::SaveInstrumentLimits(*stored, 302, dryer);
        hmx::SaveInstrumentName(*stored, 302, u"Osuszacz 2"_s);
        QCOMPARE(hmx::LoadInstrumentLimits(*stored, 302), dryer);
        QCOMPARE(hmx::LoadInstrumentLimits(*stored, 303), hmx::AlarmPreferences{});
        QCOMPARE(hmx::LoadAlarmPreferences(*stored), windows);
        QCOMPARE(hmx::LoadInstrumentName(*stored, 302), u"Osuszacz 2"_s);
        QCOMPARE(hmx::LoadInstrumentName(*stored, 303), QString());
        hmx::DerivedChoice usual;
        usual.shown = {*hmx::QuantityByKey(u"absolute-humidity"_s)};
        QCOMPARE(hmx::LoadInstrumentDerived(*stored, 302, usual).shown, usual.shown);
    }
};

int main(int argc, char** argv)
{
    hmx::Application app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
