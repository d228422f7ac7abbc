// Answers the modal dialogs that a click opens, in order, from inside their
// event loop. Whatever goes wrong, no modal stays open: an unexpected one, or
// one left over when the script ends or times out, is rejected, so a failed
// check never hangs the test.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QTimer;
class QWidget;

class ModalScript : public QObject {
  Q_OBJECT

 public:
  // Looks at a modal and answers it; returns an empty text when all is as
  // expected, otherwise what was wrong.
  using Answer = std::function<QString(QWidget* modal)>;

  explicit ModalScript(QList<Answer> answers = {}, int timeout_ms = 10000);
  ~ModalScript() override;

  // Every answer was given, nothing went wrong and no other modal showed up.
  bool succeeded() const { return answers_.isEmpty() && failures_.isEmpty(); }
  QString report() const;
  int modalsSeen() const { return seen_; }

  // Ready-made answers for Qt's own file dialog.
  static Answer acceptFile(const QString& path, const QString& expected_title = {});
  static Answer rejectDialog(const QString& expected_title = {});
  static Answer answerQuestion(bool yes);
  // Presses OK on the message box named `object_name`, noting its text and
  // informative text.
  static Answer acceptBox(const QString& object_name, QStringList* texts = nullptr);

 private:
  void poll();
  static void rejectAllModals();

  QList<Answer> answers_;
  QStringList failures_;
  QTimer* poll_timer_;
  QWidget* answering_ = nullptr;
  int seen_ = 0;
  int elapsed_ms_ = 0;
  int timeout_ms_;
};
