#include "kit/start_messages.h"

#include <unistd.h>

#include <cstdlib>

namespace taktovi {

namespace {
StartMessages* active = nullptr;  // the one instance while it holds; see the header
const char* orNull(const std::string& s) {
  return s.empty() ? nullptr : s.c_str();
}
}  // namespace

StartMessages::StartMessages(std::string program) : program_(std::move(program)) {
  if (active != nullptr) return;
  active = this;
  previous_ = qInstallMessageHandler(&StartMessages::handle);
}

void StartMessages::release() {
  if (active != this) return;
  qInstallMessageHandler(previous_);
  active = nullptr;
  for (const Held& m : held_) {
    const QMessageLogContext context(orNull(m.file), m.line, orNull(m.function), orNull(m.category));
    previous_(m.type, context, m.text);
  }
  held_.clear();
}

void StartMessages::handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    const auto copy = [](const char* s) { return std::string(s != nullptr ? s : ""); };
    active->held_.push_back(
        {type, copy(context.file), copy(context.function), copy(context.category), context.line, text});
    return;
  }
  // Qt cannot go on (no platform plugin could be loaded), and would abort after this handler.
  // The German line first; then Qt's own reason, the held lines and this one, as Qt words them.
  std::string out = active->program_ + ": " + kNoDesktopText + "\n";
  for (const Held& m : active->held_) {
    const QMessageLogContext held(orNull(m.file), m.line, orNull(m.function), orNull(m.category));
    out += qFormatLogMessage(m.type, held, m.text).toStdString() + "\n";
  }
  out += qFormatLogMessage(type, context, text).toStdString() + "\n";
  for (size_t done = 0; done < out.size();) {
    const ssize_t n = ::write(STDERR_FILENO, out.data() + done, out.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  std::_Exit(1);
}

}  // namespace taktovi
