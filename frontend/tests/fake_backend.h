// An imaging library in memory: the tests set what it reports and read what
// it was asked, in order.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <array>

#include "binding/imaging_backend.h"

class FakeBackend final : public ImagingBackend {
 public:
  struct Drive {
    int32_t result = 1;
    std::array<int32_t, 5> values{80, 2, 18, 512, 80 * 2 * 18 * 512};
  };

  int32_t version = 7;
  int32_t busy = 0;
  int32_t percentage = 0;
  int32_t return_value = 0;
  // What an accepted start request returns; nonzero refuses it.
  int32_t start_result = 0;
  // Cancelling a running job ends it at once with this code, unless the
  // test holds the job until it calls finish().
  int32_t cancelled_code = 105;
  bool cancel_ends_job = true;
  QMap<QString, Drive> drives{{QStringLiteral("A"), Drive{}}, {QStringLiteral("B"), Drive{}}};
  // Labels stored in image files, by path; any other file cannot be opened.
  QMap<QString, QString> image_labels;

  QStringList calls;
  QString label_buffer_received;
  QString last_drive;
  QString last_path;
  QString last_label;

  int32_t getdriveinfo(const QString& drive, int32_t& cylinders, int32_t& tracks_per_cylinder,
                       int32_t& sectors_per_track, int32_t& bytes_per_sector,
                       int32_t& total_size) override {
    calls << QStringLiteral("getdriveinfo");
    last_drive = drive;
    cylinders = tracks_per_cylinder = sectors_per_track = bytes_per_sector = total_size = 0;
    if (!drives.contains(drive)) return 0;
    const Drive& d = drives[drive];
    cylinders = d.values[0];
    tracks_per_cylinder = d.values[1];
    sectors_per_track = d.values[2];
    bytes_per_sector = d.values[3];
    total_size = d.values[4];
    return d.result;
  }

  int32_t getimageinfo(const QString& image_path, QString& label) override {
    calls << QStringLiteral("getimageinfo");
    last_path = image_path;
    label_buffer_received = label;
    if (image_labels.contains(image_path)) {
      const QString stored = image_labels[image_path];
      label.replace(0, stored.size() + 1, stored + QChar(u'\0'));
    }
    return 0;
  }

  int32_t readdisk(const QString& drive, const QString& image_path, const QString& label) override {
    calls << QStringLiteral("readdisk");
    if (busy) return 1;
    last_drive = drive;
    last_path = image_path;
    last_label = label;
    return start();
  }

  int32_t writedisk(const QString& drive, const QString& image_path) override {
    calls << QStringLiteral("writedisk");
    if (busy) return 1;
    last_drive = drive;
    last_path = image_path;
    return start();
  }

  int32_t getporcentage() override {
    calls << QStringLiteral("getporcentage");
    return percentage;
  }

  int32_t intcancel() override {
    calls << QStringLiteral("intcancel");
    if (busy && cancel_ends_job) {
      busy = 0;
      percentage = 100;
      return_value = cancelled_code;
    }
    return 0;
  }

  int32_t retvalue() override {
    calls << QStringLiteral("retvalue");
    return busy;
  }

  int32_t getreturnvalue() override {
    calls << QStringLiteral("getreturnvalue");
    return return_value;
  }

  int32_t getversion() override {
    calls << QStringLiteral("getversion");
    return version;
  }

  // The job started last ends with `code`.
  void finish(int32_t code, int32_t final_percentage = 100) {
    busy = 0;
    return_value = code;
    percentage = final_percentage;
  }

 private:
  int32_t start() {
    if (start_result != 0) return start_result;
    busy = 1;
    percentage = 0;
    return 0;
  }
};
