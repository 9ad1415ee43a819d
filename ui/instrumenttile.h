// One instrument on the overview page: its name, serial number, the three readings in
// large type, its state and its alarm colour. A click opens it on the measurement page;
// a double click, or "Name…" in its context menu, asks for its name; "Remove…" in the
// menu of an added one asks to stop measuring it.
#pragma once

#include "limits/limits.h"

#include <QFrame>
#include <QString>

class QLabel;

namespace hmx {

enum class InstrumentState {
    NotMeasuring,  // not connected yet, or given up
    Connecting,
    Measuring,
    Searching,     // lost: its session looks for it again
    OtherUnit,     // another unit answered where it was lost
    LogProblem,    // measuring, but its log cannot be written
};

// What a tile shows, as the window's instruments follow their sessions.
struct TileView {
    QString name;              // the user's, or the model and serial number
    quint16 serialNumber = 0;  // 0 before the instrument has answered
    QString humidity;          // each as the page's fields show it; empty before the first reading
    QString dewPoint;
    QString ambient;
    InstrumentState state = InstrumentState::NotMeasuring;
    QString otherUnit;         // with OtherUnit: which unit answered, and where
    limits::Level level = limits::Level::None;  // the worst of its limit states
};

// The state in words, in the interface language.
QString InstrumentStateText(const TileView& view);

class InstrumentTile : public QFrame {
    Q_OBJECT
public:
    explicit InstrumentTile(QWidget* parent = nullptr);

    void setView(const TileView& view);
    const TileView& view() const { return m_view; }
    QString stateText() const;
    // Drawn as the one the measurement page shows.
    void setChosen(bool chosen);
    // Its menu offers "Remove…" (not the first's: it is the window's own).
    void setRemovable(bool removable) { m_removable = removable; }

signals:
    void chosen();
    void renameAsked();
    void removeAsked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void showColours();

    TileView m_view;
    bool m_removable = false;
    bool m_chosen = false;
    QLabel* m_name;
    QLabel* m_serial;
    QLabel* m_values[3];  // relative humidity, dew point, ambient temperature
    QLabel* m_state;
};

} // namespace hmx
