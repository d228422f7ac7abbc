// The nine entry points of the imaging library as the window sees them.
// The real binding loads libtessil.so; tests put a fake in its place.
#pragma once

#include <QString>
#include <cstdint>

class ImagingBackend {
 public:
  virtual ~ImagingBackend() = default;

  // The five outputs belong to the caller, who sets them to 0 beforehand.
  // Returns 1 when the geometry was obtained.
  virtual int32_t getdriveinfo(const QString& drive, int32_t& cylinders,
                               int32_t& tracks_per_cylinder, int32_t& sectors_per_track,
                               int32_t& bytes_per_sector, int32_t& total_size) = 0;
  // `label` is handed over as a text buffer and comes back with whatever the
  // library wrote into it, same length, NULs included.
  virtual int32_t getimageinfo(const QString& image_path, QString& label) = 0;
  virtual int32_t readdisk(const QString& drive, const QString& image_path,
                           const QString& label) = 0;
  virtual int32_t writedisk(const QString& drive, const QString& image_path) = 0;
  virtual int32_t getporcentage() = 0;
  virtual int32_t intcancel() = 0;
  virtual int32_t retvalue() = 0;
  virtual int32_t getreturnvalue() = 0;
  virtual int32_t getversion() = 0;
};
