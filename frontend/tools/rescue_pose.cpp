// The rescue window as a user sees it once a damaged disk has been rescued,
// for the README's screenshot: a 1.44 MB FAT volume in memory with a
// scratched track and two weak sectors, the main window beside it. The
// library's jobs are a fake; the rescue is the real one. Run by
// rescue_screenshot.sh under Xvfb.
//
//   rescue_pose FAT_IMAGE WORK_DIR
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <cstring>

#include "app/rescue_plan.h"
#include "fake_backend.h"
#include "fake_link_opener.h"
#include "fake_platform.h"
#include "form1.h"
#include "rescue/disk_menu.h"
#include "rescue/rescue_window.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 3) return 2;
  QFile fat(QString::fromLocal8Bit(argv[1]));
  if (!fat.open(QIODevice::ReadOnly)) return 1;
  const QByteArray volume = fat.readAll();

  tessil::testing::FakePlatform drives;
  tessil::testing::FakeMedium medium = tessil::testing::make_medium(80, 2, 18);
  std::memcpy(medium.data.data(), volume.constData(),
              std::min(medium.data.size(), std::size_t(volume.size())));
  // A scratch across cylinders 30 to 33, head 1, sectors 4 to 9, and two
  // sectors that never read.
  for (std::size_t cylinder = 30; cylinder <= 33; ++cylinder)
    for (std::size_t sector = 3; sector < 9; ++sector)
      medium.bad_blocks.insert((cylinder * 2 + 1) * 18 + sector);
  medium.bad_blocks.insert(77);
  medium.bad_blocks.insert(2011);
  drives.insert("A", medium);

  FakeBackend backend;
  FakeLinkOpener links;
  Form1 window(backend, links, [] {});
  window.fillDriveBox();
  window.show();
  window.move(10, 10);
  tessil::app::DiskRescueRequest request;
  request.letter = 'A';
  request.image = std::string(argv[2]) + "/family-letters.tsl";
  RescueWindow* rescue = window.diskMenu().startRescue(request);
  if (!rescue) return 1;
  rescue->resize(660, 700);
  rescue->move(350, 30);
  return application.exec();
}
