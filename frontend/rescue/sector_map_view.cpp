#include "sector_map_view.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "rescue/rescue_report.h"

namespace {

using tessil::rescue::SectorState;

// A floppy's tracks, a cell per sector; anything larger in runs.
constexpr int64_t max_cylinders = 100;
constexpr int64_t max_heads = 2;
constexpr int64_t max_sectors_per_track = 63;
constexpr int run_columns = 64;
constexpr uint64_t max_cells = 64 * 64;

}  // namespace

SectorMapView::SectorMapView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("sectorMap"));
  setAccessibleName(QStringLiteral("Sector map"));
  setMouseTracking(true);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void SectorMapView::show(const tessil::DriveInfo& drive, const tessil::rescue::RescueMap& map,
                         bool reading) {
  drive_ = drive;
  map_ = map;
  reading_ = reading;
  const tessil::rescue::SectorCounts counts = tessil::rescue::count_sectors(map, map.sector_size());
  setAccessibleDescription(QStringLiteral("%1 rescued, %2 bad, %3 not tried")
                               .arg(counts.good)
                               .arg(counts.bad)
                               .arg(counts.untried));
  updateGeometry();
  update();
}

QColor SectorMapView::colour(Look look) {
  switch (look) {
    case Look::not_tried:
      return QColor(0xd0, 0xd0, 0xd0);
    case Look::rescued:
      return QColor(0x3c, 0xa0, 0x3c);
    case Look::bad:
      return QColor(0xd0, 0x20, 0x20);
    case Look::being_read:
      return QColor(0x20, 0x60, 0xe0);
  }
  return Qt::black;
}

SectorMapView::Grid SectorMapView::grid() const {
  Grid g;
  const uint64_t sectors = map_.sectors();
  const int64_t cylinders = drive_.cylinders, heads = drive_.tracks_per_cylinder,
                per_track = drive_.sectors_per_track;
  if (cylinders > 0 && cylinders <= max_cylinders && heads > 0 && heads <= max_heads &&
      per_track > 0 && per_track <= max_sectors_per_track &&
      uint64_t(cylinders * heads * per_track) == sectors) {
    g.by_track = true;
    g.columns = int(cylinders);
    g.rows = int(heads * per_track + heads - 1);  // a blank row between the heads
    return g;
  }
  g.per_cell = std::max<uint64_t>(1, (sectors + max_cells - 1) / max_cells);
  const uint64_t cells = (sectors + g.per_cell - 1) / g.per_cell;
  g.columns = run_columns;
  g.rows = int(std::max<uint64_t>(1, (cells + run_columns - 1) / run_columns));
  return g;
}

bool SectorMapView::place(uint64_t sector, int& column, int& row) const {
  if (sector >= map_.sectors()) return false;
  const Grid g = grid();
  if (g.by_track) {
    const tessil::rescue::Chs chs = tessil::rescue::chs_of(drive_, sector);
    column = int(chs.cylinder);
    row = int(chs.head) * (drive_.sectors_per_track + 1) + int(chs.sector) - 1;
  } else {
    const uint64_t cell = sector / g.per_cell;
    column = int(cell % run_columns);
    row = int(cell / run_columns);
  }
  return true;
}

QSize SectorMapView::cellSize() const {
  const Grid g = grid();
  return {std::max(2, width() / g.columns), std::max(2, height() / g.rows)};
}

bool SectorMapView::sectorAt(QPoint at, uint64_t& sector) const {
  const Grid g = grid();
  const QSize cell = cellSize();
  const int column = at.x() / cell.width(), row = at.y() / cell.height();
  if (at.x() < 0 || at.y() < 0 || column >= g.columns || row >= g.rows) return false;
  if (g.by_track) {
    const int per_track = drive_.sectors_per_track;
    if (row % (per_track + 1) == per_track) return false;  // between the heads
    const uint64_t head = uint64_t(row / (per_track + 1));
    sector =
        (uint64_t(column) * uint64_t(drive_.tracks_per_cylinder) + head) * uint64_t(per_track) +
        uint64_t(row % (per_track + 1));
  } else {
    sector = (uint64_t(row) * run_columns + uint64_t(column)) * g.per_cell;
  }
  return sector < map_.sectors();
}

SectorMapView::Look SectorMapView::lookOfCell(uint64_t first) const {
  const uint64_t size = map_.sector_size();
  const uint64_t last = std::min(map_.sectors(), first + grid().per_cell);
  if (first >= last) return Look::not_tried;
  if (reading_ && map_.current_pos / size >= first && map_.current_pos / size < last)
    return Look::being_read;
  // A run shows its worst sector: bad, else not tried, else rescued.
  Look look = Look::rescued;
  for (uint64_t s = first; s < last; ++s) {
    const SectorState state = tessil::rescue::state_of(map_.status_at(s * size));
    if (state == SectorState::bad) return Look::bad;
    if (state == SectorState::untried) look = Look::not_tried;
  }
  return look;
}

SectorMapView::Look SectorMapView::lookOf(uint64_t sector) const {
  return lookOfCell(sector / grid().per_cell * grid().per_cell);
}

QPoint SectorMapView::cellCentre(uint64_t sector) const {
  int column = 0, row = 0;
  if (!place(sector, column, row)) return {-1, -1};
  const QSize cell = cellSize();
  return {column * cell.width() + cell.width() / 2, row * cell.height() + cell.height() / 2};
}

QString SectorMapView::textAt(QPoint at) const {
  uint64_t sector = 0;
  if (!sectorAt(at, sector)) return {};
  static const char* const words[] = {"not tried", "rescued", "bad", "being read"};
  const QString state = QString::fromLatin1(words[int(lookOf(sector))]);
  QString text;
  if (grid().by_track) {
    const tessil::rescue::Chs chs = tessil::rescue::chs_of(drive_, sector);
    text = QStringLiteral("C/H/S %1/%2/%3, sector %4: %5")
               .arg(chs.cylinder)
               .arg(chs.head)
               .arg(chs.sector)
               .arg(sector)
               .arg(state);
  } else {
    const uint64_t last = std::min(map_.sectors(), sector + grid().per_cell) - 1;
    text = QStringLiteral("Sectors %1 to %2: %3").arg(sector).arg(last).arg(state);
  }
  if (owner_) {
    const QString owner = owner_(sector);
    if (!owner.isEmpty()) text += QLatin1Char('\n') + owner;
  }
  return text;
}

QSize SectorMapView::sizeHint() const {
  const Grid g = grid();
  return {std::min(g.columns * 9, 720), std::min(g.rows * 7, 520)};
}

QSize SectorMapView::minimumSizeHint() const {
  const Grid g = grid();
  return {g.columns * 4, g.rows * 3};
}

void SectorMapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  if (map_.sectors() == 0) return;
  const Grid g = grid();
  const QSize cell = cellSize();
  // A pixel between cells where they are large enough to spare it.
  const int gap = cell.width() >= 5 && cell.height() >= 5 ? 1 : 0;
  int column = 0, row = 0;
  for (uint64_t first = 0; first < map_.sectors(); first += g.per_cell) {
    if (!place(first, column, row)) break;
    painter.fillRect(column * cell.width(), row * cell.height(), cell.width() - gap,
                     cell.height() - gap, colour(lookOfCell(first)));
  }
}

bool SectorMapView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = textAt(help->pos());
    if (text.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
  }
  return QWidget::event(event);
}
