// Form2, the about window: product name and version, the web and mail
// links, a description and "Exit". It does no disk work.
#pragma once

#include <QWidget>
#include <memory>

class LinkOpener;

namespace Ui {
class Form2;
}

class Form2 : public QWidget {
  Q_OBJECT

 public:
  // The description, ending in a carriage return and a line feed.
  static const QString description;

  explicit Form2(LinkOpener& links, QWidget* parent = nullptr);
  ~Form2() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void openLink(const QString& target);

  std::unique_ptr<Ui::Form2> ui_;
  LinkOpener& links_;
};
