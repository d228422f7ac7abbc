#include "form2.h"

#include <QDir>
#include <QMouseEvent>

#include "app_info.h"
#include "link_opener.h"
#include "ui_form2.h"

const QString Form2::description = QStringLiteral(
    "Application to read data from floppies and save it in image files , it can restore also "
    "the floppies from image files , it can detect the parameters of the floppy and save for "
    "later reconstruction of the floppy , the execution is automatized the only thing that you "
    "need to do is select an image to write the floppy data in the hard disk and an image file "
    "to read and reconstruct the floppy , read the documentation for more information\r\n");

Form2::Form2(LinkOpener& links, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::Form2>()),
      links_(links) {
  ui_->setupUi(this);
  setWindowTitle(app_info::product_name);
  // The title-bar close does what "Exit" does: the window goes, and the next
  // "About" builds a new one.
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(326, 329);

  for (QLabel* label : {ui_->Label2, ui_->Label4}) {
    QFont font = label->font();
    font.setPointSizeF(8.25);
    label->setFont(font);
    label->installEventFilter(this);
  }
  ui_->Label2->setText(app_info::web_address);
  ui_->Label4->setText(app_info::mail_address);
  ui_->Text1->setPlainText(description);
  connect(ui_->Command1, &QPushButton::clicked, this, &QWidget::close);
}

Form2::~Form2() = default;

bool Form2::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == ui_->Label2) openLink(ui_->Label2->text());
    if (watched == ui_->Label4) openLink(QStringLiteral("mailto:") + ui_->Label4->text());
  }
  return QWidget::eventFilter(watched, event);
}

void Form2::openLink(const QString& target) {
  // What the handler makes of the link is the desktop's affair; the window
  // shows nothing either way.
  links_.shellExecute(winId(), QStringLiteral("open"), target, QString(), QDir::rootPath(),
                      LinkOpener::show_normal);
}
