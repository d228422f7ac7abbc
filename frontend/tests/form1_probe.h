// The main window as the tests see it: its controls found by their names.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

#include "form1.h"

class Form1Probe {
 protected:
  std::unique_ptr<Form1> form;

  // A main window over `backend`, as the program opens it: the drive list
  // filled and the window shown. False when it never showed.
  bool openForm(
      ImagingBackend& backend, LinkOpener& links, std::function<void()> beep = [] {}) {
    form = std::make_unique<Form1>(backend, links, std::move(beep));
    form->fillDriveBox();
    form->show();
    return QTest::qWaitForWindowExposed(form.get());
  }

  template <typename T>
  T* child(const QString& name) const {
    return form->findChild<T*>(name);
  }
  // The lines of the message list, in order.
  QStringList lines() const {
    auto* list = child<QListWidget>(QStringLiteral("List1"));
    QStringList all;
    for (int i = 0; i < list->count(); ++i) all << list->item(i)->text();
    return all;
  }
  QStringList geometryLabels() const {
    QStringList texts;
    for (const char* name : {"Label3", "Label4", "Label5", "Label6", "Label7"})
      texts << child<QLabel>(QLatin1String(name))->text();
    return texts;
  }
  void press(const QString& button) const {
    QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
  }
  void setDrive(const QString& text) const {
    child<QComboBox>(QStringLiteral("Combo1"))->setEditText(text);
  }
  QLineEdit* labelBox() const { return child<QLineEdit>(QStringLiteral("Text1")); }
};
