// The rescue's picture of the disk: one cell per sector, cylinders across,
// each head's sectors down, coloured by what the rescue knows of it: not
// tried, rescued, bad, or being read. Hovering a cell names its cylinder,
// head and sector, its number, and what it holds when that is known. A
// disk too large for a cell per sector gets one cell per run of sectors.
#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "geometry.h"
#include "rescue/rescue_map.h"

class SectorMapView : public QWidget {
  Q_OBJECT

 public:
  explicit SectorMapView(QWidget* parent = nullptr);

  // What a sector holds ("File: DOCS/A.TXT"), asked only when hovered.
  void setOwnerLookup(std::function<QString(uint64_t sector)> lookup) {
    owner_ = std::move(lookup);
  }

  // The disk and what the rescue knows; `reading` marks the sector at the
  // map's current position as being read.
  void show(const tessil::DriveInfo& drive, const tessil::rescue::RescueMap& map, bool reading);

  enum class Look { not_tried, rescued, bad, being_read };
  static QColor colour(Look look);
  // What the cell over `sector` shows now.
  Look lookOf(uint64_t sector) const;
  // The centre of the cell that shows `sector`, for tests and tools.
  QPoint cellCentre(uint64_t sector) const;
  // The tooltip text for the cell at `at`; empty off the cells.
  QString textAt(QPoint at) const;

  uint64_t sectorSize() const { return map_.sector_size(); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct Grid {
    bool by_track = false;  // a cell per sector, laid out by C/H/S
    uint64_t per_cell = 1;  // sectors in a cell otherwise
    int columns = 1;
    int rows = 1;
  };
  Grid grid() const;
  // The cell's column and row; false past the disk.
  bool place(uint64_t sector, int& column, int& row) const;
  bool sectorAt(QPoint at, uint64_t& sector) const;
  QSize cellSize() const;
  Look lookOfCell(uint64_t first) const;

  tessil::DriveInfo drive_;
  tessil::rescue::RescueMap map_;
  bool reading_ = false;
  std::function<QString(uint64_t)> owner_;
};
