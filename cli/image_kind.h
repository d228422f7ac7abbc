// The kind of a new image follows its name: .img, .ima, .vfd and .flp are
// raw images, which other programs and the kernel take for the disk itself;
// .tsl and every other name a tessil image. --raw and --tessil decide
// explicitly.
#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

namespace tessil::cli {

struct KindFlags {
  bool raw = false;
  bool tessil = false;
};

// --raw and --tessil, each excluding the other.
void add_kind_flags(CLI::App& command, KindFlags& flags, const std::string& what);

// True when `name` ends in one of a raw image's extensions, in either case.
bool raw_by_name(const std::string& name);

// True when `name` ends in ".tsl", in either case.
bool tessil_by_name(const std::string& name);

// Whether a new image called `path` is raw.
inline bool new_image_is_raw(const std::string& path, const KindFlags& flags) {
  return flags.raw || (!flags.tessil && raw_by_name(path));
}

// Why `label` cannot go with the raw image `image`, or nothing.
std::optional<std::string> raw_label_refusal(const std::string& image, bool raw,
                                             const KindFlags& flags, const std::string& label);

}  // namespace tessil::cli
