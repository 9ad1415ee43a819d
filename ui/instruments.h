// The window's instruments: the first (the window's own session, Connect's, measuring in
// the start folder) and those added with "Add instrument…", each a session of one
// InstrumentSet recording into a folder of its own. Follows every session for its tile on
// the overview page, chooses which one the measurement page and the chart show, names
// their alarms, and keeps who was measured for the next start. Owned by the window; only
// shows what the sessions tell.
#pragma once

#include "instrument/instrumentfinder.h"
#include "session/measuringsession.h"
#include "ui/instrumenttile.h"

#include <QObject>
#include <QPointer>

#include <optional>
#include <set>
#include <string>
#include <vector>

class QAction;
class QPushButton;
class TForm1;

namespace hmx {

class ChartInstruments;
class InstrumentSet;
class InstrumentsPage;
struct KeptInstrument;

class Instruments : public QObject {
    Q_OBJECT
public:
    explicit Instruments(TForm1& window);
    ~Instruments() override;

    InstrumentSet& set() const { return *m_set; }
    // The first instrument's session, the set's first; its readings go into `lines`.
    MeasuringSession* addFirst(SessionOptions options, readings::Lines& lines);
    // The menu entry and the button on the measurement page; the alarms of added ones.
    void setUp();

    int count() const { return int(m_instruments.size()); }
    MeasuringSession* session(int index) const { return m_instruments[std::size_t(index)].session; }
    readings::Lines* lines(int index) const { return m_instruments[std::size_t(index)].lines; }
    // The user's name, else the model and serial number.
    QString name(int index) const;
    // The file the chart's readings of an instrument come from: its log, or the file
    // loaded into its lines since; empty: none yet.
    QString chartSource(int index) const;
    void setChartSource(int index, const QString& file);
    InstrumentsPage* page() const { return m_page; }  // nullptr until a second instrument is added
    QPushButton* addButton() const { return m_addButton; }
    QAction* addAction() const { return m_addAction; }
    ChartInstruments* chart() const { return m_chart; }

    // "Add instrument…": the free ports searched in the background; a session for each
    // unit that answers and is not measured yet.
    void addInstruments();
    // The measurement page and the chart show this one from now on (`toPage`: and the
    // measurement page comes to the front).
    void choose(int index, bool toPage = true);
    bool showsFirst() const { return m_shown == 0; }
    int shown() const { return m_shown; }
    // The first instrument's derived quantities (the window's), whichever is shown.
    const DerivedChoice& firstDerived() const;
    // The shown instrument's derived quantities, not the first's: kept by its serial number,
    // and its readings carry them from the next one on.
    void setShownDerived(const DerivedChoice& choice);
    // Asks for the instrument's name (the tile's double click).
    void askName(int index);
    // "Remove instrument…" of an added one: asked first, then its measuring ends (its
    // files stay in its folder) and it leaves the page, the chart and the alarms.
    void askRemove(int index);
    void remove(int index);
    // Its place now; -1 when it was removed.
    int indexOf(const MeasuringSession* session) const;

    // At the window's close: with more than one instrument, who and where, for the next start.
    void keepForNextStart();
    // The added sessions' orderly ends; what there is to tell (empty: nothing). The first
    // ends with the window's Shutdown.
    QString end();

signals:
    void instrumentsChanged();  // added or renamed
    void chosen(int index);     // the page and the chart show this one now
    void removing(int index);   // going: those after it move up a place after this

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Instrument {
        Instrument(MeasuringSession* s, readings::Lines* l) : session(s), lines(l) {}
        MeasuringSession* session;
        readings::Lines* lines;
        InstrumentTile* tile = nullptr;
        TileView view;
        QString device;  // where it was added, until it answers
        QString chartSource;  // an added one's; the first's is the window's
        std::optional<SessionReading> last;
        int silentCycles = 0;  // cycles without a reply since the last reading
        bool lost = false;
        bool logFailing = false;
    };

    void follow(MeasuringSession* s);
    void startAdded(const FoundInstrument& found);
    void searched(const InstrumentSearch& search);
    void showSearching(bool searching);
    void updateState(int index);
    void updateTile(int index);
    // The page's alarms: the shown instrument's limit watches and limits.
    void showChosenAlarms();
    void showChosenReading();
    // The fields dimmed while the shown instrument's values are old.
    void showChosenOld();
    // The statistics name the shown instrument once there are several.
    void showStatisticsName();
    void showChosenStatus();
    void ensurePage();
    // The reconnect question of the next start, once the window is shown.
    void offerReconnect();
    void reconnect(const std::vector<KeptInstrument>& kept);
    void searchWanted();

    TForm1& m_window;
    InstrumentSet* m_set;
    std::vector<Instrument> m_instruments;  // the first first
    int m_shown = 0;
    DerivedChoice m_firstDerived;  // while another is shown
    InstrumentsPage* m_page = nullptr;
    QPushButton* m_addButton = nullptr;
    QAction* m_addAction = nullptr;
    ChartInstruments* m_chart = nullptr;
    std::set<quint16> m_wanted;  // units to reconnect: found by the next search, nothing else
    std::vector<std::string> m_wantedPorts;  // where they were
    bool m_firstScanning = false;  // Connect asks the ports: Add waits
    bool m_userSearch = false;   // the search was asked for by the user: "nothing found" is told
    bool m_offered = false;
    bool m_ending = false;
};

} // namespace hmx
