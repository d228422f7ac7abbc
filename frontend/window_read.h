// A read started from the main window, followed to its end: a raw image
// chosen in the save dialog is read through the library into a private
// tessil image and converted once the read is done, so that progress,
// Cancel and the outcome line are those of any read; a report goes beside
// the image when the Options menu says so; and a damaged disk is offered
// to the rescue.
#pragma once

#include <QString>
#include <QTemporaryFile>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/read_report.h"

class MessageLog;

// Writes the data a tessil image `from` holds, without its header, to `to`:
// what a read that failed got, as the raw image it was to be.
bool rawFromFailedRead(const QString& from, const QString& to);

class WindowRead {
 public:
  // `offer_rescue(drive, image, label, partial)` is called after a read
  // that ended with a damaged disk has been reported; `partial` names the
  // private tessil image that holds what a raw image's read got, and is
  // empty for a tessil image, which holds it itself.
  using OfferRescue =
      std::function<void(const QString&, const QString&, const QString&, const QString&)>;
  WindowRead(MessageLog& log, OfferRescue offer_rescue);
  ~WindowRead();

  // The path the library is to read into for the image `image`: a private
  // file for a raw one. Empty, with the failure logged, when none can be
  // made. `report`: a report goes beside the image.
  QString begin(const QString& drive, const QString& image, const QString& label, bool raw,
                bool report);
  // The library refused to start it.
  void forget();

  // The poller's hook for a job that ended with `code`: true when this
  // reported it (the end of a read begun here).
  bool reportEnd(int32_t code);

 private:
  bool convertRaw();

  MessageLog& log_;
  OfferRescue offer_rescue_;
  bool active_ = false;
  QString drive_;
  QString image_;
  QString label_;
  bool raw_ = false;
  std::unique_ptr<QTemporaryFile> private_;
  std::optional<tessil::app::ReadReport> report_;
};
