#include "verify_after_write.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTimer>
#include <QtEndian>
#include <vector>

#include "binding/imaging_backend.h"
#include "message_log.h"
#include "result_messages.h"
#include "tessil.h"
#include "verify_texts.h"

namespace {

const QString setting_key = QStringLiteral("verifyAfterWriting");
constexpr qint64 header_size = TESSIL_IMAGE_HEADER_SIZE;
constexpr qint64 sector_size = TESSIL_BLOCK_SIZE;

struct Comparison {
  bool readable = false;
  uint64_t differing = 0;
  std::vector<tessil::SectorAddress> first;
};

// The data of two tessil images, sector by sector; the geometry for the
// addresses comes from the header of the image read back.
Comparison compareImages(const QString& written_path, const QString& read_path) {
  Comparison result;
  QFile written(written_path);
  QFile read(read_path);
  if (!written.open(QIODevice::ReadOnly) || !read.open(QIODevice::ReadOnly)) return result;
  const QByteArray header = read.read(header_size);
  if (header.size() != header_size || !written.seek(header_size)) return result;
  const quint32 heads = qFromLittleEndian<quint32>(header.constData() + 4);
  const quint32 sectors = qFromLittleEndian<quint32>(header.constData() + 8);
  for (uint64_t number = 0;; ++number) {
    const QByteArray expected = written.read(sector_size);
    const QByteArray got = read.read(sector_size);
    if (expected.isEmpty() && got.isEmpty()) break;
    if (expected != got) {
      // A sector either side lacks counts as differing too.
      ++result.differing;
      if (result.first.size() < tessil::listed_differences)
        result.first.push_back(tessil::sector_address(number, heads, sectors));
    }
  }
  result.readable = written.error() == QFile::NoError && read.error() == QFile::NoError;
  return result;
}

}  // namespace

VerifyAfterWrite::VerifyAfterWrite(ImagingBackend& backend, MessageLog& log, QTimer& timer,
                                   QMenuBar& menu_bar, QAction* about)
    : backend_(backend), log_(log), timer_(timer) {
  auto* menu = new QMenu(QStringLiteral("Options"), &menu_bar);
  menu->setObjectName(QStringLiteral("options"));
  action_ = menu->addAction(QStringLiteral("Verify after writing"));
  action_->setObjectName(QStringLiteral("verifyAfterWriting"));
  action_->setCheckable(true);
  action_->setChecked(QSettings().value(setting_key, false).toBool());
  QObject::connect(action_, &QAction::toggled,
                   [](bool on) { QSettings().setValue(setting_key, on); });
  menu_bar.insertMenu(about, menu);
}

VerifyAfterWrite::~VerifyAfterWrite() = default;

bool VerifyAfterWrite::enabled() const {
  return action_->isChecked();
}

void VerifyAfterWrite::writeStarted(const QString& drive, const QString& image,
                                    std::unique_ptr<QTemporaryFile> copy) {
  forget();
  stage_ = Stage::writing;
  verify_ = enabled();
  drive_ = drive;
  image_ = image;
  copy_ = std::move(copy);
}

bool VerifyAfterWrite::reportEnd(int32_t code) {
  switch (stage_) {
    case Stage::idle:
      return false;
    case Stage::writing: {
      const ResultMessage message = resultMessage(code);
      log_.LogMessage(message.code, message.text);
      if (code == 0 && verify_ && (!may_verify_ || may_verify_())) {
        startVerify();
      } else {
        forget();
      }
      return true;
    }
    case Stage::verifying:
      finishVerify(code);
      forget();
      return true;
  }
  return false;
}

void VerifyAfterWrite::startVerify() {
  read_back_ =
      std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("tessil-XXXXXX.img")));
  if (!read_back_->open()) {
    logResult(log_, JOB_IMAGE_CREATE_FAILED, QStringLiteral("Verify: "));
    forget();
    return;
  }
  read_back_->close();
  if (backend_.readdisk(drive_, read_back_->fileName(), QString()) != 0) {
    log_.LogMessage(3, QStringLiteral("Verify: Already running call cancel first"));
    forget();
    return;
  }
  stage_ = Stage::verifying;
  if (verify_started_) verify_started_(drive_);
  timer_.start();
}

void VerifyAfterWrite::finishVerify(int32_t code) {
  if (code != 0) {
    logResult(log_, code, QStringLiteral("Verify: "));
    return;
  }
  const Comparison comparison = compareImages(image_, read_back_->fileName());
  if (!comparison.readable) {
    logResult(log_, JOB_HEADER_READ_FAILED, QStringLiteral("Verify: "));
  } else if (comparison.differing == 0) {
    log_.LogMessage(tessil::outcome::done, QStringLiteral("Verified: the floppy holds the image"));
  } else {
    const std::string text = tessil::describe_differences(comparison.differing, comparison.first);
    logResult(log_, tessil::outcome::verify_failed, QString(),
              QStringLiteral(": ") + QString::fromStdString(text));
  }
}

void VerifyAfterWrite::forget() {
  stage_ = Stage::idle;
  copy_.reset();
  read_back_.reset();
}
