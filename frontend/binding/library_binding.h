// The imaging library reached at run time. Nothing is loaded until the first
// call of an entry point; each entry point is looked up by name on its own
// first call and kept. The library then stays loaded for the life of the
// process, since a job may still run on its worker thread at exit.
#pragma once

#include <QByteArray>
#include <QLibrary>
#include <QString>
#include <functional>

#include "imaging_backend.h"
#include "tessil.h"

class LibraryBinding final : public ImagingBackend {
 public:
  // Gets the loader's own error text when the library or an entry point
  // cannot be found. If it returns, the call that failed reports what changes
  // nothing: a start request 1 (not started), every other call 0.
  using FailureHandler = std::function<void(const QString& loader_text)>;

  static constexpr const char* library_file_name = "libtessil.so";

  // Takes the library from `directory` when the file is there, otherwise
  // through the loader's standard search.
  LibraryBinding(QString directory, FailureHandler on_failure,
                 QByteArray file_name = library_file_name);
  LibraryBinding(const LibraryBinding&) = delete;
  LibraryBinding& operator=(const LibraryBinding&) = delete;

  bool isLoaded() const { return loaded_; }

  int32_t getdriveinfo(const QString& drive, int32_t& cylinders, int32_t& tracks_per_cylinder,
                       int32_t& sectors_per_track, int32_t& bytes_per_sector,
                       int32_t& total_size) override;
  int32_t getimageinfo(const QString& image_path, QString& label) override;
  int32_t readdisk(const QString& drive, const QString& image_path, const QString& label) override;
  int32_t writedisk(const QString& drive, const QString& image_path) override;
  int32_t getporcentage() override;
  int32_t intcancel() override;
  int32_t retvalue() override;
  int32_t getreturnvalue() override;
  int32_t getversion() override;

 private:
  bool load();
  QFunctionPointer lookUp(const char* name);
  template <typename Function>
  Function bind(Function& slot, const char* name);

  QString directory_;
  FailureHandler on_failure_;
  QByteArray file_name_;
  QLibrary library_;
  bool loaded_ = false;

  decltype(&::getdriveinfo) getdriveinfo_ = nullptr;
  decltype(&::getimageinfo) getimageinfo_ = nullptr;
  decltype(&::readdisk) readdisk_ = nullptr;
  decltype(&::writedisk) writedisk_ = nullptr;
  decltype(&::getporcentage) getporcentage_ = nullptr;
  decltype(&::intcancel) intcancel_ = nullptr;
  decltype(&::retvalue) retvalue_ = nullptr;
  decltype(&::getreturnvalue) getreturnvalue_ = nullptr;
  decltype(&::getversion) getversion_ = nullptr;
};
