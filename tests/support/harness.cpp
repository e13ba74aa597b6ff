#include "support/harness.h"

#include <QDir>
#include <QFile>
#include <QMenu>

#include "platform/files.h"
#include "protocol/codec.h"

namespace ovx::test {

QByteArray BlockResponse(const QByteArray& dataField, BlockKind kind) {
  const QByteArray header = kind == BlockKind::Data ? "A001NT 0000000000" : "A001NF 0000000000";
  return header + dataField + Checksum(dataField) + "Q\r\n";
}

Harness::Harness(const char* ini, sim::ModelOptions options) : model(options), t0_(platform.t) {
  if (ini) platform.writeIni(QByteArray(ini).replace("{dir}", platform.dir().toLocal8Bit()));
  platform.onCreatePort = [this](TestSerialPort& port) {
    port.onWrite = [this, &port](const QByteArray& data, double t) {
      if (script_) {
        const QByteArray frame = data.endsWith("\r\n") ? data.chopped(2) : data;
        const QByteArray reply = script_(frame);
        if (!reply.isEmpty()) port.deliver(reply, t + 0.02);
        return;
      }
      const double simTime = (t - t0_) * speed;
      model.advanceTo(simTime);
      for (const sim::Answer& answer : model.receive(data, simTime))
        port.deliver(answer.bytes, t0_ + answer.at / speed);
    };
  };
  program_ = std::make_unique<Program>(platform);
}

Harness::Harness(ScriptedTag, const DataBlockWords& words, const char* ini) : Harness(ini) {
  EXPECT_TRUE(start()) << "the scripted program did not start";
  controller.words = words;
  script([this](const QByteArray& frame) { return controller.answer(frame); });
  commands().DataBlock = words;
  form().ShowParameters();
  form().ShowHeaterStatus();
  mark();
}

QByteArray ScriptedController::answer(const QByteArray& frame) {
  if (frame == "R001NT?") {
    return BlockResponse(EncodeDataBlock(words));
  }
  if (frame == "R001NF?") {
    if (beforeValueRead) beforeValueRead(valueReads);
    ++valueReads;
    return BlockResponse(EncodeValueBlock(values), BlockKind::Value);
  }
  if (frame.size() == 105 && frame.startsWith("S001  T ")) {
    ++writes;
    words = DecodeDataBlock(frame.mid(8, kDataFieldLength));
  }
  return {};
}

DataBlockWords Block(int W, int P, int I, int D, int out, int low, int high) {
  DataBlockWords words = DefaultParameterSet();
  const std::pair<int, int> set[] = {
      {kSetpoint, W},       {kPTerm, P},         {kITerm, I},          {kDTerm, D},
      {kHeaterOutput, out}, {kSetpointLow, low}, {kSetpointHigh, high}};
  for (auto [word, value] : set) words[word] = static_cast<int16_t>(value);
  return words;
}

void Harness::script(std::function<QByteArray(const QByteArray&)> reply) {
  script_ = std::move(reply);
}

bool Harness::start() {
  try {
    program_->Main();
    return true;
  } catch (const ProgramEnded& ended) {
    endStatus = ended.status;
    return false;
  }
}

std::vector<QByteArray> Harness::frames(size_t from) const {
  std::vector<QByteArray> out;
  if (!platform.port) return out;
  for (size_t i = from; i < platform.port->written.size(); ++i) {
    const QByteArray& data = platform.port->written[i].data;
    out.push_back(data.endsWith("\r\n") ? data.chopped(2) : data);
  }
  return out;
}

void Harness::everyYield(std::function<void()> action) {
  platform.soon([this, action] {
    action();
    everyYield(action);
  });
}

std::vector<Harness::Status>& Harness::recordStatus() {
  QObject::connect(form().StatusLine, &QLineEdit::textChanged, [this](const QString& text) {
    status_.push_back({text, platform.t});
  });
  return status_;
}

QStringList Harness::statusTexts() const {
  QStringList texts;
  for (const Status& s : status_) texts << s.text;
  return texts;
}

QString Harness::par() const {
  return QDir(platform.dir()).filePath(QStringLiteral("pid.par"));
}

void Harness::setPar(const std::optional<QByteArray>& content) {
  QFile::remove(par());
  QFile file(par());
  if (!content) return;
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(*content) >= 0);
}

std::optional<QByteArray> Harness::readPar() const {
  return files::Read(par());
}

testing::AssertionResult OnlyBox(const TestPlatform& platform, const QString& text,
                                 const QString& title, MsgButtons buttons, MsgIcon icon) {
  if (platform.boxes.size() != 1)
    return testing::AssertionFailure() << platform.boxes.size() << " boxes shown";
  const MessageBoxRequest& box = platform.boxes[0];
  if (box.text == text && box.title == title && box.buttons == buttons && box.icon == icon)
    return testing::AssertionSuccess();
  return testing::AssertionFailure()
         << "shown: \"" << box.title.toStdString() << "\" " << int(box.buttons) << "/"
         << int(box.icon) << "\n"
         << box.text.toStdString() << "\nwanted: \"" << title.toStdString() << "\" " << int(buttons)
         << "/" << int(icon) << "\n"
         << text.toStdString();
}

QString Fields(frmOVX& form) {
  return QStringList{form.W->text(), form.P->text(), form.I->text(), form.D->text()}.join(' ');
}

void ShowActive(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

bool AnyMenu(frmOVX& form) {
  for (QMenu* menu : {form.menuFile, form.menuTemperature, form.menuOVX, form.MenuInfo})
    if (menu->menuAction()->isEnabled()) return true;
  return false;
}

bool Idle(frmOVX& form) {
  for (QMenu* menu : {form.menuFile, form.menuTemperature, form.menuOVX, form.MenuInfo})
    if (!menu->menuAction()->isEnabled()) return false;
  return form.BtnOK->isHidden() && form.BtnCancel->isHidden() && form.statusLine() == "Ready";
}

void RealPlatformTest::SetUp() {
  ASSERT_TRUE(temp.isValid());
  saved_ = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.path()));
}

void LimitFileSize(rlim_t bytes) {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = std::min(bytes, limit.rlim_max);
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace ovx::test
