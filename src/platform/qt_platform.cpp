#include "platform/qt_platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "platform/mosquitto_client.h"
#include "platform/qt_serial_port.h"

namespace ovx {
namespace {

// A box without a title of its own carries the application title.
QString boxTitle(const QString& title) {
  return title.isEmpty() ? QStringLiteral("KALVEN OVX 7316") : title;
}

// The visible window that has the focus, as the parent of a box; none while
// the main window is still hidden.
QWidget* activeParent() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  QWidget* window = QApplication::activeWindow();
  return window && window->isVisible() ? window : nullptr;
}

// A message box as wide as its longest line, so that every line (at most
// kBoxLineLimit characters) shows on one line and the text is the message's
// own characters only. QMessageBox on its own wraps a text wider than half
// the screen, a line without blanks (a path) anywhere, and sizes itself for
// the unwrapped text, so that the lines after such a line were cut off.
class OneLineBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  // QMessageBox sizes itself when shown and on every layout request.
  bool event(QEvent* event) override {
    const bool handled = QMessageBox::event(event);
    if (event->type() == QEvent::LayoutRequest) fit();
    return handled;
  }
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    fit();
  }

 private:
  void fit() {
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label || !layout()) return;
    const bool wrapped = label->wordWrap();
    label->setWordWrap(false);
    layout()->activate();
    const QSize needed = layout()->totalMinimumSize();
    const QRect screenArea = screen() ? screen()->availableGeometry() : QRect();
    if (screenArea.isValid() && needed.width() > screenArea.width()) {
      label->setWordWrap(wrapped);  // wider than the screen: wrapped after all
    } else {
      setFixedSize(std::max(width(), needed.width()), needed.height());
    }
    // The label's changes asked for a layout again, which would size anew.
    QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
  }
};

bool haveGui() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// The signal caught, and a pipe that wakes the event loop for it.
volatile std::sig_atomic_t caughtSignal = 0;
int signalPipe[2] = {-1, -1};

// Only notes the signal: the port and the locks are released by Qt code,
// which a signal handler must not run. The program honours the note from
// the event loop (the pipe's notifier, also inside a box) and from every
// sleep, as its busy waits run no event loop.
extern "C" void noteSignal(int signal) {
  caughtSignal = signal;
  const int saved = errno;
  const char byte = 0;
  (void)!::write(signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

QtPlatform::QtPlatform() = default;
QtPlatform::~QtPlatform() = default;

void QtPlatform::endOnSignals() {
  if (signalNotifier_ || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  signalNotifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [this] { honourSignal(); });
  struct sigaction action {};
  action.sa_handler = noteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void QtPlatform::honourSignal() {
  const int signal = caughtSignal;
  if (signal == 0) return;
  release();
  std::fflush(nullptr);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}

void QtPlatform::release() {
  for (const QPointer<QtSerialPort>& port : ports_)
    if (port) port->close();
  // The broker hears "offline" from the program itself, not only as the will.
  for (const QPointer<MosquittoClient>& client : clients_)
    if (client) client->close(1);
  if (lock_) lock_->unlock();
}

double QtPlatform::now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

QDateTime QtPlatform::wallClock() {
  return QDateTime::currentDateTime();
}

void QtPlatform::sleep(double seconds) {
  honourSignal();
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  honourSignal();
}

void QtPlatform::processEvents() {
  ++yields_;
  QCoreApplication::processEvents();
  --yields_;
}

void QtPlatform::beep() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

void QtPlatform::setBusyCursor(bool busy) {
  if (!haveGui()) return;
  if (busy)
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QGuiApplication::restoreOverrideCursor();
}

void QtPlatform::writeStandardError(const QString& text) {
  std::cerr << text.toLocal8Bit().constData() << std::flush;
}

MsgAnswer QtPlatform::showMessageBox(const MessageBoxRequest& request) {
  OneLineBox box(activeParent());
  box.setWindowTitle(boxTitle(request.title));
  box.setTextFormat(Qt::PlainText);
  box.setText(request.text);
  switch (request.icon) {
    case MsgIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MsgIcon::Critical:
      box.setIcon(QMessageBox::Critical);
      break;
    case MsgIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    case MsgIcon::Exclamation:
      box.setIcon(QMessageBox::Warning);
      break;
  }

  QPushButton* ok = nullptr;
  QPushButton* retry = nullptr;
  QPushButton* cancel = nullptr;
  std::vector<QPushButton*> custom;
  switch (request.buttons) {
    case MsgButtons::Ok:
      ok = box.addButton(QMessageBox::Ok);
      break;
    case MsgButtons::OkCancel:
      ok = box.addButton(QMessageBox::Ok);
      cancel = box.addButton(QMessageBox::Cancel);
      break;
    case MsgButtons::RetryCancel:
      retry = box.addButton(QMessageBox::Retry);
      cancel = box.addButton(QMessageBox::Cancel);
      break;
    case MsgButtons::Custom:
      // In the order given, left to right: the roles keep them so.
      for (const QString& text : request.buttonTexts.mid(0, 3))
        custom.push_back(box.addButton(text, QMessageBox::ActionRole));
      break;
  }
  if (!custom.empty()) {
    const auto index = static_cast<size_t>(int(request.defaultButton) - int(MsgAnswer::First));
    box.setDefaultButton(index < custom.size() ? custom[index] : custom.back());
    box.setEscapeButton(custom.back());
    box.exec();
    const auto clicked = std::find(custom.begin(), custom.end(), box.clickedButton());
    const auto answered =
        clicked == custom.end() ? custom.size() - 1 : size_t(clicked - custom.begin());
    return static_cast<MsgAnswer>(int(MsgAnswer::First) + int(answered));
  }
  QPushButton* preferred = request.defaultButton == MsgAnswer::Cancel  ? cancel
                           : request.defaultButton == MsgAnswer::Retry ? retry
                                                                       : ok;
  box.setDefaultButton(preferred ? preferred : (ok ? ok : retry));
  // Escape (and the close box) answers Cancel when there is one, else OK.
  box.setEscapeButton(cancel ? cancel : ok);

  box.exec();
  const QAbstractButton* clicked = box.clickedButton();
  if (clicked && clicked == retry) return MsgAnswer::Retry;
  if (clicked && clicked == ok) return MsgAnswer::Ok;
  return cancel ? MsgAnswer::Cancel : MsgAnswer::Ok;
}

std::optional<QString> QtPlatform::inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) {
  bool accepted = false;
  const QString text = QInputDialog::getText(activeParent(), boxTitle(title), prompt,
                                             QLineEdit::Normal, defaultText, &accepted);
  if (!accepted) return std::nullopt;
  return text;
}

QSize QtPlatform::screenSizeTwips() {
  const QScreen* screen = haveGui() ? QGuiApplication::primaryScreen() : nullptr;
  const QSize pixels = screen ? screen->size() : QSize(1024, 768);
  return pixels * 15;
}

QString QtPlatform::systemDirectory() {
  return QStringLiteral("/usr/lib");
}

QString QtPlatform::settingsFolder() {
  // A relative $XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base))
    base = QDir::homePath() + QStringLiteral("/.config");
  return QDir::cleanPath(base + QStringLiteral("/ovx"));
}

QString QtPlatform::windowsDirectory() {
  const QString folder = settingsFolder();
  QDir().mkpath(folder);
  return folder;
}

bool QtPlatform::anotherInstanceRunning() {
  if (lock_ && lock_->isLocked()) return false;
  lock_ = std::make_unique<QLockFile>(windowsDirectory() + QStringLiteral("/ovx.lock"));
  // No age limit: a lock is stale only when its process has gone.
  lock_->setStaleLockTime(0);
  if (lock_->tryLock(0)) return false;
  if (lock_->error() != QLockFile::LockFailedError) return false;  // cannot tell: run
  qint64 pid = 0;
  QString host, application;
  if (!lock_->getLockInfo(&pid, &host, &application)) {
    // A lock file without readable contents (its writer died half-way) is
    // removed, unless a live holder still has it locked.
    if (lock_->removeStaleLockFile() && lock_->tryLock(0)) return false;
  }
  return true;
}

std::unique_ptr<SerialPort> QtPlatform::createSerialPort() {
  auto port = std::make_unique<QtSerialPort>(windowsDirectory());
  ports_.emplace_back(port.get());
  return port;
}

std::unique_ptr<MessageClient> QtPlatform::createMessageClient() {
  auto client = std::make_unique<MosquittoClient>();
  clients_.emplace_back(client.get());
  return client;
}

QString QtPlatform::hostName() {
  return QSysInfo::machineHostName();
}

void QtPlatform::endProgram(int status) {
  // The process ends without unwinding (the call may come from deep inside
  // an event handler), so nothing is released unless it is done here.
  release();
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::_Exit(status);
}

namespace {

class QtTimer : public Timer {
 public:
  explicit QtTimer(std::function<void()> handler) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, std::move(handler));
  }
  void start(double seconds) override {
    timer_.start(static_cast<int>(std::ceil(std::max(0.0, seconds) * 1000)));
  }
  void stop() override { timer_.stop(); }
  bool active() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace

std::unique_ptr<Timer> QtPlatform::createTimer(std::function<void()> handler) {
  return std::make_unique<QtTimer>(std::move(handler));
}

bool QtPlatform::insideHandler() {
  // The application's own event loop is level 1 (0 before it runs).
  return yields_ > 0 || QThread::currentThread()->loopLevel() > 1;
}

std::optional<QString> QtPlatform::saveFileName(const QString& title, const QString& suggestion,
                                                const QString& filter) {
  const QString name = QFileDialog::getSaveFileName(activeParent(), title, suggestion, filter);
  if (name.isEmpty()) return std::nullopt;
  return name;
}

}  // namespace ovx
