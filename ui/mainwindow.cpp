// The main window: builds the layout from mainwindow.ui, applies the look the .ui
// format cannot express (pixel font sizes, system colours), wires every signal and
// holds the two mirror handlers of the settings page.
#include "ui/mainwindow.h"

#include "readings/lines.h"
#include "report/chartview.h"
#include "session/measuringsession.h"
#include "ui/chartload.h"
#include "ui/derivedpanel.h"
#include "ui/errorreport.h"
#include "ui/humiditydialog.h"
#include "ui/instruments.h"
#include "ui/language.h"
#include "ui/statisticspanel.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>

TForm1* Form1 = nullptr;

namespace {

// The .ui format stores point sizes only; the layout's sizes are pixel heights.
QFont PixelFont(const QString& family, int pixelSize, bool bold, QFont::StyleHint hint = QFont::SansSerif)
{
    QFont font(family);
    font.setStyleHint(hint);  // where the family is missing, fall back to a sans font
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void SetColor(QWidget* widget, QPalette::ColorRole role, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

} // namespace

// The icons live in a static library, so their resources are registered by hand
// (Q_INIT_RESOURCE must be used outside any namespace).
static void InitIconResource()
{
    Q_INIT_RESOURCE(icons);
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent)
{
    InitIconResource();
    setupUi(this);
    if (!Form1)
        Form1 = this;
    hmx::SetReportParent(this);

    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/hmx700-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/hmx700-16.png"), QSize(16, 16));
    setWindowIcon(icon);

    // Where the Windows fonts are missing, prefer their metric look-alikes to the
    // default sans font, which is much wider and would cut the labels short.
    const QStringList narrowSans = {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                    QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("Helvetica"), QStringLiteral("Nimbus Sans")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), narrowSans);
    QFont::insertSubstitutions(QStringLiteral("Arial"), narrowSans.mid(2));

    // Window font, inherited by every control that does not set its own.
    setFont(PixelFont(QStringLiteral("MS Sans Serif"), 11, false));
    SetColor(this, QPalette::Window, palette().color(QPalette::Button));
    for (QWidget* page : {TabSheet1, TabSheet2, TabSheet3})
        page->setAutoFillBackground(true);

    struct Look {
        QWidget* control;
        const char* family;
        int pixelSize;
        bool bold;
    };
    const Look looks[] = {
        {Label10, "MS Sans Serif", 16, false},
        {Connect, "MS Sans Serif", 16, false},
        {Label11, "MS Sans Serif", 13, false},
        {Label8, "MS Sans Serif", 13, false},
        {StaticText1, "MS Sans Serif", 16, true},
        {StaticText2, "MS Sans Serif", 16, true},
        {Edit20, "Arial", 85, true},
        {Edit14, "Arial", 43, true},
        {Edit6, "Arial", 43, true},
        {StaticText3, "Arial", 16, true},
        {StaticText4, "Arial", 16, true},
        {Label9, "MS Sans Serif", 11, true},
        {Label36, "MS Sans Serif", 13, true},
    };
    for (const Look& look : looks)
        look.control->setFont(PixelFont(QString::fromLatin1(look.family), look.pixelSize, look.bold));
    QFont dewPointFont = Edit20->font();
    dewPointFont.setFixedPitch(true);
    Edit20->setFont(dewPointFont);

    const QColor maroon(128, 0, 0);
    const QColor teal(0, 128, 128);
    const QColor red(255, 0, 0);
    SetColor(Edit20, QPalette::Base, maroon);
    SetColor(Edit20, QPalette::Text, red);
    for (QLineEdit* field : {Edit14, Edit6}) {
        SetColor(field, QPalette::Base, teal);
        SetColor(field, QPalette::Text, palette().color(QPalette::WindowText));
    }
    SetColor(Label9, QPalette::WindowText, red);
    // What the user must know while measuring (log not written, replies thrown away).
    SetColor(Label36, QPalette::WindowText, maroon);
    SetColor(Label9, QPalette::Window, palette().color(QPalette::Button));
    Label9->setAutoFillBackground(true);

    // The settings page exists, but its tab is never shown.
    PageControl1->setTabVisible(1, false);
    PageControl1->setCurrentIndex(2);

    const hmx::ChartLines lines = hmx::ConfigureChart1(*Chart1, hmx::WindowLanguage);
    Series1 = lines.dewPoint;
    Series6 = lines.humidity;
    Series7 = lines.ambient;
    // The chart shows live readings unless a file is loaded: joined as they are.
    m_lines = new hmx::readings::Lines(this);
    for (const hmx::humidity::Quantity q : {hmx::humidity::Quantity::DewPoint, hmx::humidity::Quantity::RelativeHumidity,
                                            hmx::humidity::Quantity::Temperature})
        m_lines->line(q)->setJoiningDistance(hmx::readings::LiveJoiningDistance);
    hmx::ShowLines(*Chart1, lines, *m_lines);

    setUpDerived();
    // With the derived quantities chosen: the readings carry them from the first.
    m_instruments = new hmx::Instruments(*this);
    setUpSession();
    // After the fields have their colours: the alarms keep them as the fields' own look.
    setUpAlarms();
    setUpReport();
    m_instruments->setUp();

    // Every handler runs through the default error report: an error is shown and the
    // program goes on.
    const auto guarded = [this](void (TForm1::*handler)()) {
        return [this, handler] { hmx::RunGuarded([this, handler] { (this->*handler)(); }); };
    };
    connect(Connect, &QPushButton::clicked, this, guarded(&TForm1::ConnectClick));
    connect(Button1, &QPushButton::clicked, this, guarded(&TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guarded(&TForm1::Button2Click));
    connect(ZapisUstawien, &QPushButton::clicked, this, guarded(&TForm1::ZapisUstawienClick));
    // The humidity calculator stays open beside the measurement; one at a time.
    connect(Button3, &QPushButton::clicked, this, [this] {
        auto* dialog = findChild<hmx::HumidityDialog*>();
        if (!dialog)
            dialog = new hmx::HumidityDialog(this);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    // Inline completion would show a whole item after the first letters while the
    // mirrors got only the letters typed; the mirrors must show what the list shows.
    ComboBox1->setCompleter(nullptr);
    ComboBox10->setCompleter(nullptr);
    // Only the user's changes: picking an item or typing. Setting a list from code
    // emits neither signal.
    connect(ComboBox1, &QComboBox::activated, this, guarded(&TForm1::ComboBox1Change));
    connect(ComboBox1->lineEdit(), &QLineEdit::textEdited, this, guarded(&TForm1::ComboBox1Change));
    connect(ComboBox10, &QComboBox::activated, this, guarded(&TForm1::ComboBox10Change));
    connect(ComboBox10->lineEdit(), &QLineEdit::textEdited, this, guarded(&TForm1::ComboBox10Change));

    // Qt's own page switching (Ctrl+Tab, Ctrl+PageUp/Down, arrow keys and the wheel on
    // the tab bar) can land on a page whose tab is hidden. Step over such a page in the
    // direction of travel, so the settings page never comes to the front.
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this, previous = PageControl1->currentIndex()](int index) mutable {
                const int count = PageControl1->count();
                if (index < 0 || PageControl1->isTabVisible(index)) {
                    previous = index;
                    return;
                }
                const int step = index > previous ? 1 : -1;
                for (int i = 1; i < count; ++i) {
                    const int next = ((index + step * i) % count + count) % count;
                    if (PageControl1->isTabVisible(next)) {
                        PageControl1->setCurrentIndex(next);
                        return;
                    }
                }
            });
    setUpPublishing();

    // Centred on the screen when first shown.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

TForm1::~TForm1()
{
    Shutdown();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::showLines(hmx::readings::Lines& lines)
{
    m_lines = &lines;
    hmx::ShowLines(*Chart1, {Series1, Series6, Series7}, lines);
    m_derived->setLines(lines);
    m_statistics->setLines(lines);
}

std::unique_ptr<TForm1> CreateMainWindow()
{
    auto window = std::make_unique<TForm1>();
    Form1 = window.get();
    // Before the first show, so an English build never shows the Polish texts.
    if (InterfaceLanguage != 0)
        window->ApplyEnglishTexts();
    return window;
}

void TForm1::FormCreate()
{
}

void TForm1::ComboBox1Change()
{
    // The text, not the index: "gm-3" or typed text shows unchanged in the mirrors.
    ComboBox3->setEditText(ComboBox1->currentText());
    ComboBox4->setEditText(ComboBox1->currentText());
}

void TForm1::ComboBox10Change()
{
    ComboBox6->setEditText(ComboBox10->currentText());
    ComboBox8->setEditText(ComboBox10->currentText());
}

void TForm1::ApplyEnglishTexts()
{
    PageControl1->setTabText(PageControl1->indexOf(TabSheet1), QStringLiteral("Chart"));
    PageControl1->setTabText(PageControl1->indexOf(TabSheet2), QStringLiteral("Settings"));
    PageControl1->setTabText(PageControl1->indexOf(TabSheet3), QStringLiteral("Hygrometer"));
    Connect->setText(QStringLiteral("Connect"));
    Button1->setText(QStringLiteral("Load chart"));
    Button3->setText(QStringLiteral("Calculator"));
    Button3->setToolTip(QStringLiteral("Humidity calculator"));
    Label10->setText(QStringLiteral("Dew Point Temperature"));
    Label11->setText(QStringLiteral("Ambient temperature"));
    Label8->setText(QStringLiteral("Relative humidity [%]"));
    Label16->setText(QStringLiteral("State:"));
    Label1->setText(QStringLiteral("Output mode:"));
    Label2->setText(QStringLiteral("Min value"));
    Label3->setText(QStringLiteral("Max value"));
    Label4->setText(QStringLiteral("Min value"));
    Label5->setText(QStringLiteral("Max value"));
    Label6->setText(QStringLiteral("Up threshold"));
    Label7->setText(QStringLiteral("Displayed unit"));
    Label18->setText(QStringLiteral("Unit"));
    Label19->setText(QStringLiteral("Cleaning interval"));
    Label20->setText(QStringLiteral("Hour(s)"));
    Label24->setText(QStringLiteral("Displayed unit"));
    Label25->setText(QStringLiteral("Unit"));
    Label26->setText(QStringLiteral("Alarm mode"));
    Label27->setText(QStringLiteral("Down threshold"));
    Label28->setText(QStringLiteral("Unit"));
    Label29->setText(QStringLiteral("Alarm mode"));
    Label30->setText(QStringLiteral("Up threshold"));
    Label31->setText(QStringLiteral("Down threshold"));
    Label32->setText(QStringLiteral("Output mode"));
    Label33->setText(QStringLiteral("Unit"));
    Label34->setText(QStringLiteral("Device:"));
    ZapisUstawien->setText(QStringLiteral("Save settings"));
    Button2->setText(QStringLiteral("Load settings"));
    StaticText3->setText(QStringLiteral("Top display, Alarm 1, Output 1"));
    StaticText4->setText(QStringLiteral("Bottom display, Alarm 2, Output 2"));

    const QString alarmModes[] = {
        QStringLiteral("0 off"),     QStringLiteral("1 top"),     QStringLiteral("2 bottom"),
        QStringLiteral("3 inside"),  QStringLiteral("4 outside"), QStringLiteral("5 heating"),
        QStringLiteral("6 cooling"),
    };
    for (QComboBox* list : {ComboBox7, ComboBox9}) {
        // Items replaced in place: count, order and selection stay; with no item
        // selected the (empty) edit text stays too.
        const bool noSelection = list->currentIndex() < 0;
        const QString editText = list->currentText();
        for (int i = 0; i < 7 && i < list->count(); ++i)
            list->setItemText(i, alarmModes[i]);
        if (noSelection)
            list->setEditText(editText);
    }

    Chart1->setTitle(QStringLiteral("Humidity and temperature chart"));
}
