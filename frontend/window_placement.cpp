#include "window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

void placeAtScreenCentre(QWidget& window) {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  window.adjustSize();
  const QRect area = screen->availableGeometry();
  window.move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(), area).topLeft());
}
