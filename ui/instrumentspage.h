// The overview page ("Przyrządy"): one tile per instrument the window measures, the first
// included, in the order they were added.
#pragma once

#include <QWidget>

#include <vector>

class QGridLayout;

namespace hmx {

class InstrumentTile;

class InstrumentsPage : public QWidget {
    Q_OBJECT
public:
    explicit InstrumentsPage(QWidget* parent = nullptr);

    // A new tile after the others.
    InstrumentTile* addTile();
    // The tile goes; those after it move up a place.
    void removeTile(InstrumentTile* tile);
    const std::vector<InstrumentTile*>& tiles() const { return m_tiles; }

private:
    QGridLayout* m_grid;
    std::vector<InstrumentTile*> m_tiles;
};

} // namespace hmx
