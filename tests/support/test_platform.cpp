#include "support/test_platform.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "platform/mosquitto_client.h"

namespace ovx::test {

QDateTime TestPlatform::wallClock() {
  if (!wallAt1000.isValid()) wallAt1000 = {QDate(2026, 12, 6), QTime(14, 3, 27), QTimeZone(-12600)};
  return wallAt1000.addMSecs(std::llround((t - 1000.0) * 1000));
}

// --- TestSerialPort ---

bool TestSerialPort::setSettings(const QString& text) {
  settings = text;
  return !rejectSettings;
}

bool TestSerialPort::open(int portNumber) {
  if (failOpen) return false;
  openedPort = portNumber;
  return true;
}

bool TestSerialPort::write(const QByteArray& data) {
  written.push_back({data, platform_.t});
  if (onWrite) onWrite(data, platform_.t);
  return true;
}

QByteArray TestSerialPort::readAll() {
  QByteArray out;
  while (!pending_.empty() && pending_.front().at <= platform_.t) {
    out += pending_.front().c;
    pending_.pop_front();
  }
  return out;
}

void TestSerialPort::deliver(const QByteArray& bytes, double at, double charSeconds) {
  // Characters follow each other on the line: a new answer queues behind
  // whatever is still arriving.
  if (!pending_.empty()) at = std::max(at, pending_.back().at + charSeconds);
  for (qsizetype i = 0; i < bytes.size(); ++i)
    pending_.push_back({bytes[i], at + static_cast<double>(i + 1) * charSeconds});
}

// --- TestPlatform ---

void TestPlatform::at(double time, std::function<void()> action) {
  actions_.push_back({time, std::move(action)});
}

void TestPlatform::sleep(double seconds) {
  if (seconds > 0) t += seconds;
}

// A timer on the virtual clock: each start schedules an action, which only
// the latest start of a running timer may fire.
class TestTimer : public Timer {
 public:
  TestTimer(TestPlatform& platform, std::function<void()> handler)
      : platform_(platform), state_(std::make_shared<State>(State{std::move(handler)})) {}
  void start(double seconds) override {
    const int run = ++state_->runs;
    state_->active = true;
    platform_.at(platform_.t + std::max(0.0, seconds), [state = std::weak_ptr(state_), run] {
      const auto s = state.lock();
      if (!s || s->runs != run || !s->active) return;
      s->active = false;
      s->handler();
    });
  }
  void stop() override { state_->active = false; }
  bool active() const override { return state_->active; }

 private:
  struct State {
    std::function<void()> handler;
    int runs = 0;
    bool active = false;
  };
  TestPlatform& platform_;
  std::shared_ptr<State> state_;
};

std::unique_ptr<Timer> TestPlatform::createTimer(std::function<void()> handler) {
  return std::make_unique<TestTimer>(*this, std::move(handler));
}

// The next scripted reply; a dialog without one fails the test.
template <typename Reply>
Reply Next(std::deque<Reply>& replies, const QString& dialog) {
  if (replies.empty()) throw UnexpectedDialog("unexpected " + dialog.toStdString());
  Reply reply = replies.front();
  replies.pop_front();
  return reply;
}

std::optional<QString> TestPlatform::saveFileName(const QString& title, const QString&,
                                                  const QString&) {
  return Next(saveNames, "save dialog \"" + title + "\"");
}

void TestPlatform::idle(double seconds) {
  const double end = t + seconds;
  for (;;) {
    double next = end;
    for (const Action& a : actions_) next = std::min(next, a.time);
    t = std::max(t, next);
    dispatch();
    if (next >= end) return;
  }
}

void TestPlatform::processEvents() {
  ++yields;
  ++inYield_;
  dispatch();
  --inYield_;
}

void TestPlatform::dispatch() {
  std::vector<Action> due;
  auto split = std::stable_partition(actions_.begin(), actions_.end(),
                                     [this](const Action& a) { return a.time > t; });
  std::move(split, actions_.end(), std::back_inserter(due));
  actions_.erase(split, actions_.end());
  std::stable_sort(due.begin(), due.end(),
                   [](const Action& a, const Action& b) { return a.time < b.time; });
  for (Action& action : due) action.run();
}

void TestPlatform::waitInBox() {
  if (boxSeconds <= 0) return;
  ++inYield_;
  idle(boxSeconds);
  --inYield_;
}

MsgAnswer TestPlatform::showMessageBox(const MessageBoxRequest& request) {
  waitInBox();
  const MsgAnswer answer = Next(answers, "message box \"" + request.title + "\": " + request.text);
  boxes.push_back(request);
  return answer;
}

std::optional<QString> TestPlatform::inputBox(const QString& prompt, const QString& title,
                                              const QString& defaultText) {
  waitInBox();
  const auto answer = Next(inputs, "input box \"" + title + "\"");
  inputBoxes.push_back({title, prompt, defaultText});
  return answer;
}

std::unique_ptr<SerialPort> TestPlatform::createSerialPort() {
  auto created = std::make_unique<TestSerialPort>(*this);
  port = created.get();
  if (onCreatePort) onCreatePort(*port);
  return created;
}

std::unique_ptr<MessageClient> TestPlatform::createMessageClient() {
  if (realBroker) return std::make_unique<MosquittoClient>();
  auto created = std::make_unique<TestMessageClient>(t);
  messageClient = created.get();
  return created;
}

FileError TestPlatform::writeFileDurably(const QString& path, const QByteArray& data) {
  const FileError error = failWrite ? failWrite(path) : FileError();
  return error.isEmpty() ? DiskPlatform::writeFileDurably(path, data) : error;
}

FileError TestPlatform::createFile(const QString& path, const QByteArray& data) {
  const FileError error = failWrite ? failWrite(path) : FileError();
  return error.isEmpty() ? DiskPlatform::createFile(path, data) : error;
}

FileError TestPlatform::createFolder(const QString& path) {
  const FileError error = failWrite ? failWrite(path) : FileError();
  return error.isEmpty() ? DiskPlatform::createFolder(path) : error;
}

files::Sync TestPlatform::appendSync() {
  // Appended with O_APPEND, the file's offset is its size.
  return [this](int fd) { return syncs.push_back(::lseek(fd, 0, SEEK_CUR)), ::fdatasync(fd); };
}

void TestPlatform::writeIni(const QByteArray& content) {
  QFile file(QDir(dir()).filePath(QStringLiteral("ovx.ini")));
  if (file.open(QIODevice::WriteOnly)) file.write(content);
}

QByteArray TestPlatform::readIni() const {
  QFile file(QDir(dir()).filePath(QStringLiteral("ovx.ini")));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace ovx::test
