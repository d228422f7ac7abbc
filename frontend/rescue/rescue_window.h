// "Rescue — drive A": one rescue, live. The sector map, the counts, the
// pass in words, the time spent and left, Stop; at the end what the
// missing sectors hit, the data's checksums, where the image, its map and
// its report are, and "Retry bad sectors". Non-modal: the main window
// stays usable while the rescue runs on a thread of its own.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/rescue_plan.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class RescueRun;
class SectorMapView;

class RescueWindow : public QWidget {
  Q_OBJECT

 public:
  // Starts the planned rescue at once.
  RescueWindow(tessil::app::DiskRescueRequest request, tessil::app::RescuePlan plan,
               QWidget* parent = nullptr);
  ~RescueWindow() override;

  bool running() const;
  // Asks the rescue to stop; it ends after the read it is doing.
  void stop();
  QString driveName() const { return QString(QLatin1Char(request_.letter)); }
  // "Rescuing drive A, 40 % decided", for the main window's question.
  QString runningText() const;

  SectorMapView& map() { return *map_; }

 signals:
  // The rescue ended with `result` as its report records it (0, 104 while
  // sectors are missing, 105 when stopped, or what failed); once per run.
  void finished(int32_t result);

 protected:
  // Closing a running rescue stops it first; the window goes once it has.
  void closeEvent(QCloseEvent* event) override;

 private:
  void start(tessil::app::RescuePlan plan);
  void refresh();
  void showEnd();
  void retryBadSectors();

  tessil::app::DiskRescueRequest request_;
  std::unique_ptr<RescueRun> run_;
  SectorMapView* map_;
  QLabel* counts_;
  QLabel* pass_;
  QLabel* time_;
  QPushButton* stop_;
  QPushButton* retry_;
  QPlainTextEdit* results_;
  QTimer* timer_;
  bool close_when_stopped_ = false;
  // Bytes decided at this run's first look: the pace is this run's.
  std::optional<uint64_t> decided_at_start_;
};
