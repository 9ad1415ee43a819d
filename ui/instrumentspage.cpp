#include "ui/instrumentspage.h"

#include "ui/instrumenttile.h"

#include <QGridLayout>
#include <QScrollArea>
#include <QVBoxLayout>

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

} // namespace hmx
