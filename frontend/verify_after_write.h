// "Verify after writing": a checkable entry in the Options menu, off by
// default and remembered between runs. When it is on, a write that ended
// with 0 is followed by a read of the disk into a private temporary image
// through the library's own read job, with the same progress bar and
// Cancel, and the data read back is compared with the data written, sector
// by sector. Its outcome is one more numbered line, like every job's.
#pragma once

#include <QString>
#include <QTemporaryFile>
#include <cstdint>
#include <functional>
#include <memory>

class ImagingBackend;
class MessageLog;
class QAction;
class QMenu;
class QMenuBar;
class QTimer;

class VerifyAfterWrite {
 public:
  // Puts the Options menu into `menu_bar`, before `about`.
  VerifyAfterWrite(ImagingBackend& backend, MessageLog& log, QTimer& timer, QMenuBar& menu_bar,
                   QAction* about);
  ~VerifyAfterWrite();

  bool enabled() const;

  // `may_verify` is asked before a read-back starts (not while the window
  // is closing); `verify_started` is told of each one, with its drive.
  void setHooks(std::function<bool()> may_verify,
                std::function<void(const QString& drive)> verify_started) {
    may_verify_ = std::move(may_verify);
    verify_started_ = std::move(verify_started);
  }
  QAction& action() { return *action_; }
  QMenu& optionsMenu() { return *menu_; }

  // A write job was started on `drive` from the tessil image `image`.
  // `copy`, a private copy the image was made from, is kept (and its file)
  // until the write and any verify of it are over.
  void writeStarted(const QString& drive, const QString& image,
                    std::unique_ptr<QTemporaryFile> copy);

  // The poller's hook for a job that ended with `code`: true when this
  // reported it (the end of a write it follows, or of its verify).
  bool reportEnd(int32_t code);

 private:
  void startVerify();
  void finishVerify(int32_t code);
  void forget();

  ImagingBackend& backend_;
  MessageLog& log_;
  QTimer& timer_;
  QMenu* menu_;
  QAction* action_;
  std::function<bool()> may_verify_;
  std::function<void(const QString& drive)> verify_started_;

  enum class Stage { idle, writing, verifying };
  Stage stage_ = Stage::idle;
  bool verify_ = false;  // as the entry stood when the write started
  QString drive_;
  QString image_;
  std::unique_ptr<QTemporaryFile> copy_;
  std::unique_ptr<QTemporaryFile> read_back_;
};
