#include "rescue_window.h"

#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "image_format.h"
#include "rescue/rescue_report.h"
#include "rescue_run.h"
#include "result_messages.h"
#include "sector_map_view.h"
#include "sector_owner.h"
#include "tessil.h"

namespace {

using tessil::rescue::Status;

QString clockText(double seconds) {
  const auto whole = static_cast<long long>(std::max(0.0, seconds));
  return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

uint64_t pendingBytes(const tessil::rescue::RescueMap& map) {
  return map.bytes(Status::non_tried) + map.bytes(Status::non_trimmed) +
         map.bytes(Status::non_scraped);
}

QString countsText(const tessil::rescue::RescueMap& map) {
  const tessil::rescue::SectorCounts counts = tessil::rescue::count_sectors(map, map.sector_size());
  return QStringLiteral("%1 of %2 sectors rescued, %3 bad, %4 not tried")
      .arg(counts.good)
      .arg(map.sectors())
      .arg(counts.bad)
      .arg(counts.untried);
}

QLabel* legendEntry(SectorMapView::Look look, const QString& words, QWidget* parent) {
  auto* label = new QLabel(parent);
  const QString swatch = SectorMapView::colour(look).name();
  label->setText(QStringLiteral("<span style=\"color:%1\">&#9632;</span> %2").arg(swatch, words));
  return label;
}

QString path(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace

RescueWindow::RescueWindow(tessil::app::DiskRescueRequest request, tessil::app::RescuePlan plan,
                           QWidget* parent)
    : QWidget(parent, Qt::Window),
      request_(std::move(request)),
      map_(new SectorMapView(this)),
      counts_(new QLabel(this)),
      pass_(new QLabel(this)),
      time_(new QLabel(this)),
      stop_(new QPushButton(QStringLiteral("Stop"), this)),
      retry_(new QPushButton(QStringLiteral("Retry bad sectors"), this)),
      results_(new QPlainTextEdit(this)),
      timer_(new QTimer(this)) {
  setObjectName(QStringLiteral("RescueWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Rescue \u2014 drive %1").arg(driveName()));
  counts_->setObjectName(QStringLiteral("counts"));
  counts_->setAccessibleName(QStringLiteral("Counts"));
  pass_->setObjectName(QStringLiteral("pass"));
  pass_->setAccessibleName(QStringLiteral("Pass"));
  time_->setObjectName(QStringLiteral("time"));
  time_->setAccessibleName(QStringLiteral("Time"));
  stop_->setObjectName(QStringLiteral("stop"));
  stop_->setAccessibleName(QStringLiteral("Stop"));
  retry_->setObjectName(QStringLiteral("retryBadSectors"));
  retry_->setAccessibleName(QStringLiteral("Retry bad sectors"));
  results_->setObjectName(QStringLiteral("results"));
  results_->setAccessibleName(QStringLiteral("Results"));
  results_->setReadOnly(true);
  results_->setMaximumHeight(150);

  auto* legend = new QHBoxLayout;
  legend->addWidget(legendEntry(SectorMapView::Look::not_tried, QStringLiteral("not tried"), this));
  legend->addWidget(legendEntry(SectorMapView::Look::rescued, QStringLiteral("rescued"), this));
  legend->addWidget(legendEntry(SectorMapView::Look::bad, QStringLiteral("bad"), this));
  legend->addWidget(
      legendEntry(SectorMapView::Look::being_read, QStringLiteral("being read"), this));
  legend->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(retry_);
  buttons->addWidget(stop_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Cylinders across; head 0 above, head 1 below, "
                                              "each track's sectors down"),
                               this));
  layout->addWidget(map_, 1);
  layout->addLayout(legend);
  layout->addWidget(counts_);
  layout->addWidget(pass_);
  layout->addWidget(time_);
  layout->addWidget(results_);
  layout->addLayout(buttons);

  connect(stop_, &QPushButton::clicked, this, &RescueWindow::stop);
  connect(retry_, &QPushButton::clicked, this, &RescueWindow::retryBadSectors);
  timer_->setInterval(RescueRun::look_interval);
  connect(timer_, &QTimer::timeout, this, &RescueWindow::refresh);
  start(std::move(plan));
}

RescueWindow::~RescueWindow() = default;

void RescueWindow::start(tessil::app::RescuePlan plan) {
  const uint64_t offset = plan.raw ? 0 : tessil::image_header_size;
  const std::string image = request_.image;
  run_ = std::make_unique<RescueRun>(request_, std::move(plan));
  map_->setOwnerLookup([this, image, offset](uint64_t sector) {
    return sectorOwner(image, offset, map_->sectorSize(), sector);
  });
  decided_at_start_.reset();
  results_->clear();
  results_->hide();
  retry_->setEnabled(false);
  stop_->setEnabled(true);
  pass_->setText(QStringLiteral("Pass: starting"));
  counts_->clear();
  time_->clear();
  timer_->start();
}

bool RescueWindow::running() const {
  return run_ && !run_->finished();
}

void RescueWindow::stop() {
  if (!running()) return;
  run_->stop();
  stop_->setEnabled(false);
  pass_->setText(QStringLiteral("Stopping after the read under way"));
}

QString RescueWindow::runningText() const {
  return QStringLiteral("Rescuing drive %1: %2").arg(driveName(), counts_->text());
}

void RescueWindow::closeEvent(QCloseEvent* event) {
  if (!running()) {
    event->accept();
    return;
  }
  close_when_stopped_ = true;
  stop();
  event->ignore();
}

void RescueWindow::refresh() {
  bool changed = false;
  const RescueRun::View view = run_->look(changed);
  const bool ended = run_->finished();
  if (changed && view.started && view.map.size() > 0) {
    map_->show(view.drive, view.map, !ended);
    counts_->setText(countsText(view.map));
    if (!run_->stopRequested())
      pass_->setText(QStringLiteral("Pass: ") + QString::fromStdString(tessil::rescue::pass_words(
                                                    view.map, request_.retries)));
  }
  if (view.map.size() > 0) {
    const uint64_t pending = pendingBytes(view.map);
    const uint64_t decided = view.map.size() - pending;
    if (!decided_at_start_) decided_at_start_ = decided;
    QString text = QStringLiteral("Elapsed %1").arg(clockText(view.seconds));
    const double rate = view.seconds > 0 ? double(decided - *decided_at_start_) / view.seconds : 0;
    if (!ended && rate > 0 && pending > 0)
      text += QStringLiteral(", about %1 left").arg(clockText(double(pending) / rate));
    time_->setText(text);
  }
  if (ended) showEnd();
}

void RescueWindow::showEnd() {
  timer_->stop();
  const tessil::app::DiskRescue& done = run_->result();
  const tessil::rescue::RescueOutcome& out = done.out;
  stop_->setEnabled(false);
  QStringList lines;
  if (done.ran()) {
    const bool stopped = out.job.code == JOB_CANCELLED;
    pass_->setText(stopped ? QStringLiteral("Stopped: the image and its map agree")
                           : QStringLiteral("Finished"));
    lines << (stopped ? QStringLiteral("Stopped: ") : QStringLiteral("Done: ")) +
                 countsText(out.map);
    const tessil::rescue::FatDamage& fat = done.fat;
    if (fat.examined) {
      const auto hit = [](bool yes) {
        return yes ? QStringLiteral("HIT") : QStringLiteral("intact");
      };
      lines << QStringLiteral("%1 volume: boot sector %2, FAT %3, root directory %4")
                   .arg(QString::fromStdString(fat.type), hit(fat.boot_sector), hit(fat.fat),
                        hit(fat.root_directory));
      for (const std::string& file : fat.files)
        lines << QStringLiteral("Damaged: ") + QString::fromStdString(file);
      for (const std::string& what : fat.not_named)
        lines << QStringLiteral("Not named: ") + QString::fromStdString(what);
      if (fat.files.empty() && fat.not_named.empty())
        lines << QStringLiteral("No file's data lie on the missing sectors.");
    } else if (!fat.problem.empty()) {
      lines << QStringLiteral("Files not named: ") + QString::fromStdString(fat.problem);
    }
    if (done.digests) {
      lines << QStringLiteral("SHA-256: ") + QString::fromStdString(done.digests->data.sha256);
      lines << QStringLiteral("MD5: ") + QString::fromStdString(done.digests->data.md5);
    }
    lines << QStringLiteral("Image: ") + path(request_.image);
    lines << QStringLiteral("Map: ") + path(out.map_path);
    if (!run_->reportPath().empty())
      lines << QStringLiteral("Report: ") + path(run_->reportPath());
    else if (!run_->reportProblem().empty())
      lines << QStringLiteral("Report not written: ") + path(run_->reportProblem());
    retry_->setEnabled(!stopped && !out.map.complete());
  } else {
    pass_->setText(QStringLiteral("The rescue failed"));
    lines << resultMessage(out.job.code).text;
    if (!out.failed_file.empty()) lines << path(out.failed_file);
    if (!out.problem.empty()) lines << QString::fromStdString(out.problem);
    retry_->setEnabled(false);
  }
  results_->setPlainText(lines.join(QLatin1Char('\n')));
  results_->show();
  emit finished(done.ran() ? done.result : out.job.code);
  if (close_when_stopped_) close();
}

void RescueWindow::retryBadSectors() {
  if (running()) return;
  request_.afresh = false;
  request_.after_failed_read = false;
  tessil::app::RescuePlan plan = tessil::app::plan_rescue(request_);
  if (plan.refused()) {
    results_->setPlainText(QString::fromStdString(plan.refusal));
    return;
  }
  start(std::move(plan));
}
