#pragma once
// Qt's messages, held back while the application object is built. Without a usable display
// Qt would end the program there with English lines and an abort; instead the program says
// in German on standard error that no graphical desktop was found, follows that line with
// Qt's own reason (the held messages and Qt's last one), and exits with status 1.
// Once the application stands, release() passes the held messages on as Qt would have.
//
// One instance at a time, from the start of main: Qt's message handler is a plain function
// and reaches the instance through one static pointer, set by the constructor and cleared by
// release().

#include <QString>
#include <QtGlobal>
#include <string>
#include <vector>

namespace taktovi {

inline constexpr const char* kNoDesktopText =
    "KEIN GRAFISCHER DESKTOP GEFUNDEN. DAS PROGRAMM LÄUFT NUR AUF EINEM DESKTOP (X11 ODER WAYLAND).";

class StartMessages {
 public:
  // `program` begins the German line, as a terminal program's messages do.
  explicit StartMessages(std::string program);
  ~StartMessages() { release(); }
  StartMessages(const StartMessages&) = delete;
  StartMessages& operator=(const StartMessages&) = delete;

  // The application stands: Qt's own handling from here on, the held messages first.
  void release();

 private:
  struct Held {
    QtMsgType type;
    std::string file, function, category;
    int line;
    QString text;
  };
  static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text);

  std::string program_;
  QtMessageHandler previous_ = nullptr;
  std::vector<Held> held_;
};

}  // namespace taktovi
