# The Linux platform layer's sources, relative to library/.
set(tessil_platform_sources
  platform/linux/debug_channel.cpp
  platform/linux/device_map.cpp
  platform/linux/linux_drive.cpp
  platform/linux/linux_image_file.cpp
  platform/linux/linux_platform.cpp
  platform/linux/load_notices.cpp
  platform/linux/medium_cache.cpp
  platform/linux/medium_geometry.cpp
  platform/linux/system_platform.cpp
)
