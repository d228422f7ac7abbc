#include "raw_image.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "data_digest.h"
#include "geometry.h"
#include "platform/platform.h"

namespace tessil {

namespace {

constexpr std::size_t chunk = 64 * 1024;

// Reads the rest of `file` into `digest` (when given) and `out` (when
// given); false when the file failed or ended short of `expected` bytes.
bool stream_data(platform::ImageFile& file, uint64_t expected, DataDigest* digest,
                 platform::ImageFile* out, platform::Error& error, bool& write_failed) {
  std::array<std::byte, chunk> buffer;
  uint64_t done = 0;
  while (done < expected) {
    const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(chunk, expected - done));
    const platform::ReadResult got = file.read(std::span(buffer).first(want));
    if (got.count > 0) {
      const std::span<const std::byte> data = std::span(buffer).first(got.count);
      if (digest) digest->update(data);
      if (out) {
        if ((error = out->write(data)) != platform::Error::none) {
          write_failed = true;
          return false;
        }
      }
      done += got.count;
    }
    if (got.count < want) {
      error = got.failed() ? got.error : platform::Error::io;
      return false;
    }
  }
  return true;
}

bool geometry_fits(const ImageHeader& header, uint64_t data_size) {
  const uint64_t described = plausible_data_size(header.cylinders, header.tracks_per_cylinder,
                                                 header.sectors_per_track, header.bytes_per_sector);
  return described > 0 && described == data_size;
}

}  // namespace

ImageHeader header_of(const StandardFormat& format, std::string_view label) {
  ImageHeader header{};
  header.cylinders = format.cylinders;
  header.tracks_per_cylinder = format.heads;
  header.sectors_per_track = format.sectors_per_track;
  header.bytes_per_sector = standard_sector_size;
  set_label(header, label);
  return header;
}

InspectResult inspect_image(const std::string& path, bool checksums, ImageFileInfo& info,
                            platform::Error& error, platform::Platform& os) {
  info = {};
  const std::unique_ptr<platform::ImageFile> file =
      os.open_image(path.c_str(), platform::ImageMode::read, error);
  if (!file) return InspectResult::open_failed;
  const std::optional<uint64_t> size = file->size();
  if (!size) {
    error = platform::Error::other;
    return InspectResult::open_failed;
  }
  info.file_size = *size;
  // A block device's size is the device's, and is judged like a file's.
  HeaderBytes bytes{};
  const platform::ReadResult got =
      standard_format_of(*size) ? platform::ReadResult{} : file->read(bytes);
  if (got.failed()) {
    error = got.error;
    return InspectResult::read_failed;
  }
  const ImageHeader header = decode_header(std::span(bytes).first(got.count));
  const uint64_t described =
      got.count == bytes.size()
          ? plausible_data_size(header.cylinders, header.tracks_per_cylinder,
                                header.sectors_per_track, header.bytes_per_sector)
          : 0;
  info.kind = image_kind_of(*size, described);
  if (info.kind == ImageKind::neither) return InspectResult::ok;
  if (info.kind == ImageKind::raw) {
    info.header = header_of(*standard_format_of(*size));
    info.data_size = *size;
  } else {
    info.header = header;
    info.data_size = *size - image_header_size;
  }
  info.geometry_fits = geometry_fits(info.header, info.data_size);
  if (!checksums) return InspectResult::ok;
  DataDigest digest;
  bool write_failed = false;
  if (!stream_data(*file, info.data_size, &digest, nullptr, error, write_failed))
    return InspectResult::read_failed;
  info.checksums = digest.finish();
  return InspectResult::ok;
}

namespace {

bool write_zeros(uint64_t count, DataDigest& digest, platform::ImageFile& out,
                 platform::Error& error) {
  const std::array<std::byte, chunk> zeros{};
  for (uint64_t done = 0; done < count;) {
    const std::span<const std::byte> data =
        std::span(zeros).first(static_cast<std::size_t>(std::min<uint64_t>(chunk, count - done)));
    digest.update(data);
    if ((error = out.write(data)) != platform::Error::none) return false;
    done += data.size();
  }
  return true;
}

}  // namespace

ConvertOutcome convert_image(const ConvertRequest& request) {
  ConvertOutcome outcome;
  ImageFileInfo info;
  platform::Error error = platform::Error::none;
  platform::Platform& os = request.platform ? *request.platform : platform::current();
  if (inspect_image(request.input, false, info, error, os) != InspectResult::ok) {
    return {ConvertResult::input_unreadable, ImageKind::neither, error, {}};
  }
  // A short raw image is the start of a disk of its format.
  const StandardFormat* padded = request.short_raw_format;
  if (info.kind == ImageKind::neither && padded && info.file_size > 0 &&
      info.file_size < padded->size) {
    info.kind = ImageKind::raw;
    info.data_size = info.file_size;
  } else {
    padded = nullptr;
  }
  outcome.from = info.kind;
  if (info.kind == ImageKind::neither) {
    outcome.result = ConvertResult::not_an_image;
    return outcome;
  }
  // A raw image is only its sectors: a header that does not describe them
  // exactly would make one that no size names.
  if (info.kind == ImageKind::tessil &&
      (!info.geometry_fits ||
       !standard_format_of(info.header.cylinders, info.header.tracks_per_cylinder,
                           info.header.sectors_per_track, info.header.bytes_per_sector))) {
    outcome.result = ConvertResult::no_raw_format;
    return outcome;
  }

  if (platform::same_file(request.input, request.output)) {
    outcome.result = ConvertResult::same_file;
    return outcome;
  }
  namespace fs = std::filesystem;
  std::error_code ignored;
  const fs::file_status name = fs::symlink_status(request.output, ignored);
  if (fs::exists(name) && !request.replace) {
    outcome.result = ConvertResult::output_exists;
    return outcome;
  }
  // Only ever a plain file: never a device, nor a disk that a drive or a
  // loop device stands on, which a convert would overwrite unasked.
  if (fs::exists(name) && !fs::is_symlink(name) && !fs::is_regular_file(name)) {
    outcome.result = ConvertResult::output_not_a_file;
    return outcome;
  }
  const fs::file_status target = fs::status(request.output, ignored);
  if (fs::exists(target) && !fs::is_regular_file(target)) {
    outcome.result = ConvertResult::output_not_a_file;
    return outcome;
  }
  bool a_disk = os.backs_a_device(request.output.c_str());
  for (const platform::DriveEntry& drive : os.list_drives())
    a_disk = a_disk || os.is_drive(device_path_of(std::string(1, drive.letter).c_str()),
                                   request.output.c_str());
  if (a_disk) {
    outcome.result = ConvertResult::output_is_a_disk;
    return outcome;
  }

  const std::unique_ptr<platform::ImageFile> in =
      os.open_image(request.input.c_str(), platform::ImageMode::read, error);
  if (!in) return {ConvertResult::input_unreadable, info.kind, error, {}};
  // Made whole under a name of its own, then put in place in one step.
  const std::string temporary = os.temporary_name_beside(request.output.c_str());
  std::unique_ptr<platform::ImageFile> out =
      temporary.empty() ? nullptr
                        : os.open_image(temporary.c_str(),
                                        request.private_output ? platform::ImageMode::create_private
                                                               : platform::ImageMode::create_new,
                                        error);
  if (!out) return {ConvertResult::output_failed, info.kind, error, {}};

  bool write_failed = false;
  bool ok = true;
  if (info.kind == ImageKind::tessil) {
    HeaderBytes skipped{};
    const platform::ReadResult got = in->read(skipped);
    ok = got.count == skipped.size();
    if (!ok) error = got.failed() ? got.error : platform::Error::io;
  } else {
    const HeaderBytes bytes = encode_header(header_of(
        padded ? *padded : *standard_format_of(info.file_size), request.label.value_or("")));
    error = out->write(bytes);
    ok = error == platform::Error::none;
    write_failed = !ok;
  }
  DataDigest digest;
  if (ok) ok = stream_data(*in, info.data_size, &digest, out.get(), error, write_failed);
  if (ok && padded) {
    ok = write_zeros(padded->size - info.data_size, digest, *out, error);
    write_failed = !ok;
  }
  if (ok) {
    error = out->finish();
    ok = error == platform::Error::none;
    write_failed = !ok;
  }
  out.reset();
  if (ok) {
    error = os.publish(temporary.c_str(), request.output.c_str(), request.replace);
    ok = error == platform::Error::none;
    write_failed = !ok;
  }
  if (!ok) {
    // Half an image is worse than none: it would pass for a whole one.
    os.remove_file(temporary.c_str());
    return {write_failed ? ConvertResult::output_failed : ConvertResult::input_unreadable,
            info.kind,
            error,
            {}};
  }
  outcome.checksums = digest.finish();
  return outcome;
}

}  // namespace tessil
