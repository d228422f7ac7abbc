# The Linux platform layer's sources, relative to library/.
set(tessil_platform_sources
  platform/linux/controller_format.cpp
  platform/linux/debug_channel.cpp
  platform/linux/dense_probe.cpp
  platform/linux/device_map.cpp
  platform/linux/device_node.cpp
  platform/linux/device_overlap.cpp
  platform/linux/direct_reads.cpp
  platform/linux/direct_writes.cpp
  platform/linux/drive_formatting.cpp
  platform/linux/floppy_params.cpp
  platform/linux/linux_drive.cpp
  platform/linux/linux_image_file.cpp
  platform/linux/linux_platform.cpp
  platform/linux/load_notices.cpp
  platform/linux/medium_cache.cpp
  platform/linux/medium_geometry.cpp
  platform/linux/file_names.cpp
  platform/linux/process_facts.cpp
  platform/linux/scsi_transport.cpp
  platform/linux/standard_streams.cpp
  platform/linux/system_platform.cpp
  platform/linux/termination_watch.cpp
  platform/linux/udisks_hold.cpp
  platform/linux/udisks_opener.cpp
  platform/linux/ufi_commands.cpp
  platform/linux/ufi_format.cpp
  platform/linux/usb_identity.cpp
)

# udisks2 is reached over the system bus with sd-bus.
find_package(PkgConfig REQUIRED)
pkg_check_modules(tessil_libsystemd REQUIRED IMPORTED_TARGET libsystemd)
set(tessil_platform_libraries PkgConfig::tessil_libsystemd)
