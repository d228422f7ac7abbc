#include "form1.h"

#include <QCloseEvent>
#include <QLayout>
#include <QTimer>

#include "app_info.h"
#include "binding/imaging_backend.h"
#include "close_guard.h"
#include "form2.h"
#include "image_kinds.h"
#include "label_text.h"
#include "raw_image_write.h"
#include "report_option.h"
#include "rescue/disk_menu.h"
#include "result_messages.h"
#include "standard_formats.h"
#include "tessil.h"
#include "ui_form1.h"
#include "verify_after_write.h"
#include "window_placement.h"
#include "window_read.h"

namespace {

constexpr int poll_interval_ms = 1000;

const QString drive_a = QStringLiteral("A");
const QString drive_b = QStringLiteral("B");

}  // namespace

Form1::Form1(ImagingBackend& backend, LinkOpener& links, std::function<void()> beep,
             QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::Form1>()),
      backend_(backend),
      links_(links),
      timer_(new QTimer(this)),
      dialog_(*this) {
  ui_->setupUi(this);
  log_ = std::make_unique<MessageLog>(*ui_->List1);
  poller_ =
      std::make_unique<JobPoller>(backend, *timer_, *ui_->ProgressBar1, *log_, std::move(beep));
  verify_ = std::make_unique<VerifyAfterWrite>(backend, *log_, *timer_, *menuBar(), ui_->about);
  poller_->setEndReporter(
      [this](int32_t code) { return verify_->reportEnd(code) || read_->reportEnd(code); });
  close_guard_ = std::make_unique<CloseGuard>(*this, backend, *timer_, *log_);
  reports_ = std::make_unique<ReportOption>(verify_->optionsMenu());
  disk_ = new DiskMenu(*this, *log_, *menuBar(), ui_->about,
                       {[this] {
                          QString drive;
                          return driveTest(drive) ? drive : QString();
                        },
                        [this] { return label_text::fitted(ui_->Text1->text()); },
                        [this] { return reports_->enabled(); },
                        [this](int percent) { ui_->ProgressBar1->setValue(percent); }});
  read_ = std::make_unique<WindowRead>(
      *log_, [this](const QString& drive, const QString& image, const QString& label,
                    const QString& partial) { disk_->offerRescue(drive, image, label, partial); });
  verify_->setHooks([this] { return !close_guard_->stopping(); },
                    [this](const QString& drive) {
                      close_guard_->jobStarted(CloseGuard::Job::verifying, drive);
                    });
  setWindowTitle(app_info::product_name);
  // The client area is fixed; the window is as large as it and the menu bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  timer_->setObjectName(QStringLiteral("Timer1"));
  timer_->setInterval(poll_interval_ms);
  connect(timer_, &QTimer::timeout, this, &Form1::tick);

  // The drive box takes any text the user types, as typed: no completion
  // that would turn "a" into "A", and nothing added to its list.
  ui_->Combo1->setCompleter(nullptr);
  ui_->Combo1->setEditText(QStringLiteral("Combo1"));
  label_text::limitUserInput(*ui_->Text1);

  connect(ui_->Command1, &QPushButton::clicked, this, &Form1::getDiskInformation);
  connect(ui_->Command2, &QPushButton::clicked, this, &Form1::readFloppyToImageFile);
  connect(ui_->Command3, &QPushButton::clicked, this, &Form1::writeImageFileToFloppy);
  connect(ui_->Command4, &QPushButton::clicked, this, &Form1::cancelJob);
  connect(ui_->about, &QAction::triggered, this, &Form1::openAbout);

  ui_->Command1->setFocus();
  placeAtScreenCentre(*this);
}

Form1::~Form1() {
  // The about window outlives a closed main window, not the program.
  delete about_window_.data();
}

void Form1::fillDriveBox() {
  ui_->Combo1->addItem(drive_a);
  ui_->Combo1->addItem(drive_b);
  ui_->Combo1->setEditText(drive_a);
}

Form2* Form1::aboutWindow() const {
  return about_window_.data();
}

void Form1::LogMessage(int32_t code, const QString& message) {
  log_->LogMessage(code, message);
}

void Form1::tick() {
  poller_->tick();
  close_guard_->afterTick();
}

void Form1::stopAndClose() {
  // The program ends with its main window; an open about window would keep
  // it running.
  if (about_window_) about_window_->close();
  disk_->mayClose(false);
  close_guard_->stopAndClose();
}

void Form1::closeEvent(QCloseEvent* event) {
  if (disk_->mayClose() && close_guard_->mayClose()) {
    QMainWindow::closeEvent(event);
  } else {
    event->ignore();
  }
}

bool Form1::driveTest(QString& drive) {
  drive = ui_->Combo1->currentText();
  if (drive == drive_a || drive == drive_b) return true;
  LogMessage(window_message::invalid_drive, QStringLiteral("Invalid drive selection"));
  return false;
}

bool Form1::busyTest() {
  if (backend_.retvalue() == 0) return true;
  LogMessage(window_message::already_running, QStringLiteral("Already running call cancel first"));
  return false;
}

void Form1::startPolling() {
  timer_->start();
}

// Command1. No busy test: the drive may be queried while a job runs.
void Form1::getDiskInformation() {
  QString drive;
  if (!driveTest(drive)) return;
  int32_t cylinders = 0;
  int32_t tracks_per_cylinder = 0;
  int32_t sectors_per_track = 0;
  int32_t bytes_per_sector = 0;
  int32_t total_size = 0;
  const int32_t result = backend_.getdriveinfo(drive, cylinders, tracks_per_cylinder,
                                               sectors_per_track, bytes_per_sector, total_size);
  ui_->Label3->setText(QStringLiteral("Cylinders : ") + QString::number(cylinders));
  ui_->Label4->setText(QStringLiteral("Tracks/cylinder : ") + QString::number(tracks_per_cylinder));
  ui_->Label5->setText(QStringLiteral("Sectors/track : ") + QString::number(sectors_per_track));
  ui_->Label6->setText(QStringLiteral("Bytes/sector : ") + QString::number(bytes_per_sector));
  ui_->Label7->setText(QStringLiteral("Disk space : ") + QString::number(total_size));
  if (result == 1) {
    LogMessage(window_message::done, QStringLiteral("Done"));
  } else {
    LogMessage(window_message::drive_empty, QStringLiteral("Drive is empty"));
  }
}

// Command2.
void Form1::readFloppyToImageFile() {
  if (!busyTest()) return;
  QString drive;
  if (!driveTest(drive)) return;
  if (!dialog_.showSave(QStringLiteral("Select the image file to save"))) return;
  drive = ui_->Combo1->currentText();
  // The library keeps 299 bytes of a label; cut it here, between whole
  // characters, rather than let the library cut through one.
  const QString label = label_text::fitted(ui_->Text1->text());
  const QString target = read_->begin(drive, dialog_.fileName(), label,
                                      image_kinds::rawChosen(dialog_.dialog(), dialog_.fileName()),
                                      reports_->enabled());
  if (target.isEmpty()) return;
  if (backend_.readdisk(drive, target, label) != 0) {
    read_->forget();
    LogMessage(window_message::already_running,
               QStringLiteral("Already running call cancel first"));
    return;
  }
  close_guard_->jobStarted(CloseGuard::Job::reading, drive);
  startPolling();
}

// The standard format of the disk in `drive` as it is now, or null.
const tessil::StandardFormat* Form1::driveFormat(const QString& drive) {
  int32_t cylinders = 0, heads = 0, sectors = 0, bytes = 0, size = 0;
  if (backend_.getdriveinfo(drive, cylinders, heads, sectors, bytes, size) != 1 || cylinders <= 0 ||
      heads <= 0 || sectors <= 0 || bytes <= 0)
    return nullptr;
  return tessil::standard_format_of(uint32_t(cylinders), uint32_t(heads), uint32_t(sectors),
                                    uint32_t(bytes));
}

// Command3.
void Form1::writeImageFileToFloppy() {
  if (!busyTest()) return;
  QString drive;
  if (!driveTest(drive)) return;
  if (!dialog_.showOpen(QStringLiteral("Select the image file to write to the floppy"))) return;
  QString image_path = dialog_.fileName();
  // A raw image goes to the library as a private tessil copy, once the user
  // has said yes to it.
  std::unique_ptr<QTemporaryFile> copy;
  if (const tessil::StandardFormat* format = raw_image_write::rawFormatOf(image_path)) {
    if (!raw_image_write::askToWrite(*this, image_path, *format)) return;
    copy = raw_image_write::tessilCopyOf(image_path, *format, *log_);
    if (!copy) return;
    image_path = copy->fileName();
  } else if (const std::optional<raw_image_write::ShortRaw> short_raw = raw_image_write::shortRawOf(
                 image_path, [this, &drive] { return driveFormat(drive); }, drive)) {
    if (!short_raw->refusal.isEmpty()) {
      LogMessage(JOB_GEOMETRY_MISMATCH, short_raw->refusal);
      return;
    }
    if (!raw_image_write::askToWriteShort(*this, short_raw->sentence)) return;
    copy = raw_image_write::tessilCopyOf(image_path, *short_raw->format, *log_, true);
    if (!copy) return;
    image_path = copy->fileName();
  }
  QString buffer = label_text::blankBuffer();
  backend_.getimageinfo(image_path, buffer);
  ui_->Text1->setText(label_text::fromBuffer(buffer));
  drive = ui_->Combo1->currentText();
  if (backend_.writedisk(drive, image_path) != 0) {
    LogMessage(window_message::already_running,
               QStringLiteral("Already running call cancel first"));
    return;
  }
  verify_->writeStarted(drive, image_path, std::move(copy));
  close_guard_->jobStarted(CloseGuard::Job::writing, drive);
  startPolling();
}

// Command4. The job's end is reported by the tick as usual.
void Form1::cancelJob() {
  backend_.intcancel();
}

void Form1::openAbout() {
  if (!about_window_) {
    about_window_ = new Form2(links_);
    about_window_->setWindowIcon(windowIcon());
    placeAtScreenCentre(*about_window_);
  }
  about_window_->show();
  about_window_->raise();
  about_window_->activateWindow();
}
