#include "modal_script.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

constexpr int poll_ms = 20;

}  // namespace

ModalScript::ModalScript(QList<Answer> answers, int timeout_ms)
    : answers_(std::move(answers)), poll_timer_(new QTimer(this)), timeout_ms_(timeout_ms) {
  connect(poll_timer_, &QTimer::timeout, this, &ModalScript::poll);
  poll_timer_->start(poll_ms);
}

ModalScript::~ModalScript() {
  rejectAllModals();
}

QString ModalScript::report() const {
  QStringList all = failures_;
  if (!answers_.isEmpty())
    all << QStringLiteral("%1 expected dialog(s) never showed").arg(answers_.size());
  return all.join(QStringLiteral("; "));
}

void ModalScript::rejectAllModals() {
  for (int guard = 0; guard < 10; ++guard) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
    QCoreApplication::processEvents();
  }
}

void ModalScript::poll() {
  elapsed_ms_ += poll_ms;
  QWidget* modal = QApplication::activeModalWidget();
  if (elapsed_ms_ > timeout_ms_) {
    failures_ << QStringLiteral("timed out");
    poll_timer_->stop();
    rejectAllModals();
    return;
  }
  if (!modal) {
    answering_ = nullptr;
    return;
  }
  if (modal == answering_) return;
  answering_ = modal;
  ++seen_;
  if (answers_.isEmpty()) {
    failures_ << QStringLiteral("unexpected modal \"%1\"").arg(modal->windowTitle());
    rejectAllModals();
    return;
  }
  const Answer answer = answers_.takeFirst();
  // Answered from a fresh event, so that a modal the answer opens in turn
  // (the question before a file is replaced) is polled for too.
  QTimer::singleShot(0, this, [this, answer, modal] {
    const QString failure = answer(modal);
    if (!failure.isEmpty()) {
      failures_ << failure;
      rejectAllModals();
    }
  });
}

ModalScript::Answer ModalScript::acceptFile(const QString& path, const QString& expected_title) {
  return [path, expected_title](QWidget* modal) -> QString {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog)
      return QStringLiteral("expected a file dialog, got \"%1\"").arg(modal->windowTitle());
    if (!expected_title.isNull() && dialog->windowTitle() != expected_title)
      return QStringLiteral("dialog title \"%1\"").arg(dialog->windowTitle());
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit) return QStringLiteral("no fileNameEdit");
    edit->setText(path);
    QTest::keyClick(edit, Qt::Key_Return);
    return {};
  };
}

ModalScript::Answer ModalScript::rejectDialog(const QString& expected_title) {
  return [expected_title](QWidget* modal) -> QString {
    const QString title = modal->windowTitle();
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    if (!expected_title.isNull() && title != expected_title)
      return QStringLiteral("dialog title \"%1\"").arg(title);
    return {};
  };
}

ModalScript::Answer ModalScript::answerQuestion(bool yes) {
  return [yes](QWidget* modal) -> QString {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) return QStringLiteral("expected a question, got \"%1\"").arg(modal->windowTitle());
    QAbstractButton* button = box->button(yes ? QMessageBox::Yes : QMessageBox::No);
    if (!button) return QStringLiteral("question without yes and no");
    button->click();
    return {};
  };
}

ModalScript::Answer ModalScript::acceptBox(const QString& object_name, QStringList* texts) {
  return [object_name, texts](QWidget* modal) -> QString {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box || box->objectName() != object_name)
      return QStringLiteral("expected %1, got \"%2\"").arg(object_name, modal->objectName());
    if (texts) *texts = {box->text(), box->informativeText()};
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    if (!ok) return QStringLiteral("%1 without OK").arg(object_name);
    ok->click();
    return {};
  };
}
