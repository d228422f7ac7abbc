#include "sector_owner.h"

#include "rescue/fat_damage.h"

QString sectorOwner(const std::string& image, uint64_t offset, uint64_t sector_size,
                    uint64_t sector) {
  if (sector == 0) return QStringLiteral("Boot sector");
  // The volume walked as if this one sector were lost names what it holds.
  const tessil::rescue::FatDamage hit = tessil::rescue::fat_damage(
      image, offset, sector_size, [sector](uint64_t at) { return at == sector; });
  if (!hit.examined) return {};
  if (hit.fat) return QStringLiteral("FAT");
  if (hit.root_directory) return QStringLiteral("Root directory");
  if (!hit.files.empty()) {
    const QString path = QString::fromStdString(hit.files.front());
    return (path.endsWith(QLatin1Char('/')) ? QStringLiteral("Directory: ")
                                            : QStringLiteral("File: ")) +
           path;
  }
  if (!hit.not_named.empty()) return QString::fromStdString(hit.not_named.front());
  return QStringLiteral("Free space");
}
