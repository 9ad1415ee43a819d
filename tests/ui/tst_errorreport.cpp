// The default error report: an error escaping a handler is shown in a message box
// titled with the application's name, and the program goes on.
#include "instrument/settings.h"
#include "ui/errorreport.h"
#include "ui/language.h"
#include "ui/mainwindow.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

QList<QMessageBox*> OpenReports()
{
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->objectName() == u"errorReport"_s && box->isVisible())
            boxes << box;
    return boxes;
}

void CloseReports()
{
    for (QMessageBox* box : OpenReports())
        box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(OpenReports().isEmpty());
}

// Throws from an event handler the wrapper does not cover.
class Throwing : public QObject {
public:
    static inline const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    int handled = 0;
    bool event(QEvent* e) override
    {
        if (e->type() != type)
            return QObject::event(e);
        if (++handled == 1)
            throw std::runtime_error("event handler failed");
        return true;
    }
};

} // namespace

class TestErrorReport : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CloseReports(); }

    void text_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("full stop added") << u"'abc' is not a valid integer value"_s << u"'abc' is not a valid integer value."_s;
        QTest::newRow("full stop kept") << u"Done."_s << u"Done."_s;
        QTest::newRow("other ending") << u"Device not found !"_s << u"Device not found !."_s;
        QTest::newRow("empty") << QString() << QString();
    }
    void text()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(hmx::ErrorReportText(message), shown);
    }

    void thrownByAHandler_data()
    {
        QTest::addColumn<int>("what");
        QTest::addColumn<QString>("shown");
        QTest::newRow("std::runtime_error") << 0 << u"Cannot create jrt1.txt: Permission denied."_s;
        QTest::newRow("std::invalid_argument, ends with a full stop") << 1 << u"'x' is not a valid integer value."_s;
        QTest::newRow("not a std::exception") << 2 << hmx::ByLanguage(u"Nieznany błąd."_s, u"Unknown error."_s);
        QTest::newRow("range of a settings field")
            << 4 << hmx::ByLanguage(u"'99999' jest poza dozwolonym zakresem od -3276.8 do 3276.7."_s,
                                    u"'99999' is outside the allowed range -3276.8 to 3276.7."_s);
        QTest::newRow("UTF-8 text") << 3 << u"Nie można otworzyć pliku."_s;
    }
    void thrownByAHandler()
    {
        QFETCH(int, what);
        QFETCH(QString, shown);
        QPushButton button(u"go"_s);
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, &button, [&] {
            hmx::RunGuarded([&] {
                if (++clicks > 1)
                    return;
                switch (what) {
                case 0: throw std::runtime_error("Cannot create jrt1.txt: Permission denied");
                case 1: throw std::invalid_argument("'x' is not a valid integer value.");
                case 2: throw 42;
                case 4: hmx::TextToTenths(u"99999"_s, QLocale::c()); break;
                default: throw std::runtime_error("Nie można otworzyć pliku");
                }
            });
        });
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(OpenReports().size(), 1);
        QMessageBox* box = OpenReports().first();
        QCOMPARE(box->windowTitle(), u"HMX-700"_s);
        QCOMPARE(box->text(), shown);
        QCOMPARE(box->icon(), QMessageBox::Critical);
        QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
        // The program goes on: the loop runs and a later click is handled.
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 2);
        QPointer<QMessageBox> guard(box);
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(guard.isNull());
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 3);
    }

    void escapingAnEventHandler()
    {
        Throwing target;
        QCoreApplication::postEvent(&target, new QEvent(Throwing::type));
        QTRY_COMPARE(OpenReports().size(), 1);
        QCOMPARE(OpenReports().first()->text(), u"event handler failed."_s);
        QCoreApplication::postEvent(&target, new QEvent(Throwing::type));
        QTRY_COMPARE(target.handled, 2);
    }

    void reportedFromAnotherThread()
    {
        QMessageBox* direct = reinterpret_cast<QMessageBox*>(1);
        std::thread worker([&] { direct = hmx::ShowErrorReport(u"Cannot write to jrt1.txt: No space left on device"_s); });
        worker.join();
        QVERIFY(direct == nullptr);
        QTRY_COMPARE(OpenReports().size(), 1);
        QCOMPARE(OpenReports().first()->thread(), QCoreApplication::instance()->thread());
        QCOMPARE(OpenReports().first()->text(), u"Cannot write to jrt1.txt: No space left on device."_s);
    }

    // The window's buttons run through the report: a save with an empty field fails,
    // the error is shown and nothing is requested.
    void windowButtonReportsErrors()
    {
        TForm1 window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.ZapisUstawien->click();
        QCOMPARE(OpenReports().size(), 1);
        QMessageBox* first = OpenReports().first();
        QCOMPARE(first->windowTitle(), u"HMX-700"_s);
        QCOMPARE(first->text(), u"'' is not a valid floating point value."_s);
        // The report belongs to the window and does not keep it from closing.
        QCOMPARE(first->parentWidget(), &window);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        // The same failure again while its box is open: the box says so, no second box.
        window.Edit5->setText(u"1"_s);
        window.ZapisUstawien->click();
        QCOMPARE(OpenReports().size(), 1);
        QVERIFY2(first->text().startsWith(u"'' is not a valid floating point value."_s), qPrintable(first->text()));
        QVERIFY2(first->text().contains(u'2'), qPrintable(first->text()));
        // Another failure gets its own box.
        window.Edit16->setText(u"x"_s);
        window.ZapisUstawien->click();
        QCOMPARE(OpenReports().size(), 2);
    }
};

int main(int argc, char** argv)
{
    hmx::Application app(argc, argv);
    TestErrorReport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errorreport.moc"
