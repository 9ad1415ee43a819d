#include "ui/instrumentspage.h"

#include "ui/instrumenttile.h"

#include <QGridLayout>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace hmx {

namespace {

// Three tiles side by side fill the page's width; more go on the next row.
constexpr int Columns = 3;

} // namespace

InstrumentsPage::InstrumentsPage(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget(scroll);
    m_grid = new QGridLayout(inner);
    m_grid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    scroll->setWidget(inner);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
}

InstrumentTile* InstrumentsPage::addTile()
{
    auto* tile = new InstrumentTile(m_grid->parentWidget());
    tile->setFixedWidth(240);
    const int index = int(m_tiles.size());
    m_grid->addWidget(tile, index / Columns, index % Columns);
    m_tiles.push_back(tile);
    return tile;
}

void InstrumentsPage::removeTile(InstrumentTile* tile)
{
    const auto found = std::find(m_tiles.begin(), m_tiles.end(), tile);
    if (found == m_tiles.end())
        return;
    m_tiles.erase(found);
    for (InstrumentTile* t : m_tiles)
        m_grid->removeWidget(t);
    m_grid->removeWidget(tile);
    delete tile;
    for (std::size_t i = 0; i < m_tiles.size(); ++i)
        m_grid->addWidget(m_tiles[i], int(i) / Columns, int(i) % Columns);
}

} // namespace hmx
