// "Write a report beside each image": a checkable entry in the Options
// menu, off by default and remembered between runs. When it is on, every
// read and rescue from the window leaves the archival report IMAGE.json
// beside its image, as the command line does.
#pragma once

class QAction;
class QMenu;

class ReportOption {
 public:
  // Adds the entry to `options`.
  explicit ReportOption(QMenu& options);

  bool enabled() const;
  QAction& action() { return *action_; }

 private:
  QAction* action_;
};
