#include "verify_after_write.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTimer>

#include "app/image_compare.h"
#include "binding/imaging_backend.h"
#include "message_log.h"
#include "result_messages.h"
#include "tessil.h"
#include "verify_texts.h"

namespace {

const QString setting_key = QStringLiteral("verifyAfterWriting");

}  // namespace

VerifyAfterWrite::VerifyAfterWrite(ImagingBackend& backend, MessageLog& log, QTimer& timer,
                                   QMenuBar& menu_bar, QAction* about)
    : backend_(backend), log_(log), timer_(timer) {
  menu_ = new QMenu(QStringLiteral("Options"), &menu_bar);
  QMenu* menu = menu_;
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
    log_.LogMessage(window_message::already_running,
                    QStringLiteral("Verify: Already running call cancel first"));
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
  const tessil::VerifyOutcome compared =
      tessil::app::compare_image_data(QFile::encodeName(image_).toStdString(),
                                      QFile::encodeName(read_back_->fileName()).toStdString());
  if (compared.outcome.code == tessil::outcome::done) {
    log_.LogMessage(tessil::outcome::done, QStringLiteral("Verified: the floppy holds the image"));
  } else if (compared.outcome.code == tessil::outcome::verify_failed) {
    const std::string text =
        tessil::describe_differences(compared.differing_sectors, compared.first_differences);
    logResult(log_, tessil::outcome::verify_failed, QString(),
              QStringLiteral(": ") + QString::fromStdString(text));
  } else {
    logResult(log_, compared.outcome.code, QStringLiteral("Verify: "));
  }
}

void VerifyAfterWrite::forget() {
  stage_ = Stage::idle;
  copy_.reset();
  read_back_.reset();
}
