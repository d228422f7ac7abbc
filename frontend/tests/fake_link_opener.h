#pragma once

#include <QList>

#include "link_opener.h"

// Keeps every request instead of opening anything.
class FakeLinkOpener final : public LinkOpener {
 public:
  struct Request {
    WId window;
    QString operation;
    QString file;
    QString parameters;
    QString directory;
    int32_t show_command;
  };

  QList<Request> requests;

  int32_t shellExecute(WId window, const QString& operation, const QString& file,
                       const QString& parameters, const QString& directory,
                       int32_t show_command) override {
    requests.append({window, operation, file, parameters, directory, show_command});
    return 42;
  }
};
