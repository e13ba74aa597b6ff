#include "trun/frmtrun.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <cmath>
#include <limits>

#include "link/tools.h"
#include "protocol/numtext.h"
#include "ui/accessible_names.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

namespace ovx {

namespace {

constexpr int kTwipsPerPixel = 15;
// Longest sleep of one countdown pass: the display follows the clock closely
// without keeping a core busy.
constexpr double kCountDownSlice = 0.02;
constexpr double kCountDownMinimum = 0.001;

void PlaceTwips(QWidget* control, int left, int top, int width, int height) {
  auto px = [](int twips) { return qRound(twips / double(kTwipsPerPixel)); };
  control->setGeometry(px(left), px(top), px(width), px(height));
}

double FieldNumber(const QLineEdit* field) {
  return LeadingNumber(field->text());
}

// The nearest whole number, a half to the even neighbour; values beyond the
// 16-bit range give its nearest end, so no entry can overflow.
int16_t Whole16(double value) {
  if (std::isnan(value)) return 0;
  value = std::clamp(value, double(std::numeric_limits<int16_t>::min()),
                     double(std::numeric_limits<int16_t>::max()));
  return ToInt16(value).value_or(0);
}

bool IsEnter(const QKeyEvent* key) {
  const Qt::KeyboardModifiers others = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
  return others == Qt::NoModifier && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
}

}  // namespace

frmTRun::frmTRun(Platform& platform, const Settings& settings, Commands& commands,
                 PidStore& pidStore, frmOVX& form)
    : platform_(platform),
      settings_(settings),
      commands_(commands),
      pidStore_(pidStore),
      form_(form) {
  setObjectName(QStringLiteral("frmTRun"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("Temperature Run"));
  // The client area: 2355 x 1770 twips.
  setFixedSize(2355 / kTwipsPerPixel, 1770 / kTwipsPerPixel);
  // The design's sizes suit an 8-point font.
  QFont small = font();
  small.setPointSizeF(8.25);
  setFont(small);

  auto label = [this](const char* name, const QString& caption, Qt::Alignment alignment, int left,
                      int top, int width, int height) {
    auto* control = new QLabel(caption, this);
    if (name) control->setObjectName(QString::fromLatin1(name));
    control->setAlignment(alignment | Qt::AlignTop);
    PlaceTwips(control, left, top, width, height);
    return control;
  };
  auto field = [this](const char* name, int left, int top) {
    auto* control = new QLineEdit(this);
    control->setObjectName(QString::fromLatin1(name));
    PlaceTwips(control, left, top, 800, 285);
    control->installEventFilter(this);
    return control;
  };
  auto button = [this](const char* name, const char* caption, int left) {
    auto* control = new QPushButton(QString::fromLatin1(caption), this);
    control->setObjectName(QString::fromLatin1(name));
    // Enter on the focused button presses it, as Space does.
    control->setAutoDefault(true);
    PlaceTwips(control, left, 1395, 1005, 330);
    return control;
  };

  const int rowTops[] = {90, 405, 720, 1035};
  const int fieldTops[] = {45, 360, 675, 990};
  const int unitTops[] = {60, 375, 690, 1005};
  lblStart =
      label("lblStart", QStringLiteral("T-Start:"), Qt::AlignRight, 0, rowTops[0], 1005, 240);
  TStart = field("TStart", 1080, fieldTops[0]);
  lblStop = label("lblStop", QStringLiteral("T-Stop:"), Qt::AlignRight, 0, rowTops[1], 1005, 240);
  TStop = field("TStop", 1080, fieldTops[1]);
  lblIncrement =
      label("lblIncrement", QStringLiteral("Increment:"), Qt::AlignRight, 0, rowTops[2], 1005, 240);
  TStep = field("TStep", 1080, fieldTops[2]);
  lblDwellTime = label("lblDwellTime", QStringLiteral("Dwell time:"), Qt::AlignRight, 0, rowTops[3],
                       1005, 240);
  DwellTime = field("DwellTime", 1080, fieldTops[3]);
  const QString units[] = {QStringLiteral("°C"), QStringLiteral("°C"), QStringLiteral("°C"),
                           QStringLiteral("sec.")};
  QLineEdit* const fields[] = {TStart, TStop, TStep, DwellTime};
  QLabel* const captions[] = {lblStart, lblStop, lblIncrement, lblDwellTime};
  for (int row = 0; row < 4; ++row) {
    label(nullptr, units[row], Qt::AlignLeft, 1920, unitTops[row], 400, 240);
    // For a screen reader: the caption names the field, the unit describes it.
    NameByLabel(captions[row], fields[row]);
    fields[row]->setAccessibleDescription(units[row]);
  }
  btnStart = button("btnStart", "&Start", 45);
  btnCancel = button("btnCancel", "&Cancel", 1305);

  setTabOrder(TStart, TStop);
  setTabOrder(TStop, TStep);
  setTabOrder(TStep, DwellTime);
  setTabOrder(DwellTime, btnStart);
  setTabOrder(btnStart, btnCancel);
  TStart->setFocus();

  connect(btnStart, &QPushButton::clicked, this, &frmTRun::BtnStart_Click);
  connect(btnCancel, &QPushButton::clicked, this, &frmTRun::BtnCancel_Click);
  // Escape closes the dialog as Cancel does, from any of its controls.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, [this] {
    if (!running()) BtnCancel_Click();
  });

  Form_Load();
}

frmTRun::~frmTRun() {
  // The fields outlive this part of the window while it is torn down.
  for (QLineEdit* field : {TStart, TStop, TStep, DwellTime}) field->removeEventFilter(this);
}

void frmTRun::Form_Load() {
  const DataBlockWords& block = commands_.DataBlock;
  // A word that did not decode leaves its field empty, never -32768.
  TStart->setText(PlainWord(block[kSetpoint]));
  TStop->setText(PlainWord(block[kSetpointHigh]));
  TStep->setText(QStringLiteral("1"));
  DwellTime->setText(QStringLiteral("60"));
}

bool frmTRun::running() const {
  return form_.ops().longOperation() == LongOperation::TemperatureRun;
}

void frmTRun::ShowCentered() {
  if (running()) return;
  if (!loaded_) {
    Form_Load();
    TStart->setFocus();
    loaded_ = true;
  }
  CenterForm(platform_, this);
  show();
  raise();
  activateWindow();
}

// --- Normalising the fields ---

namespace {

// A temperature within SP L..SP H, the upper limit applied first.
int16_t WithinLimits(double v, const DataBlockWords& block) {
  if (v > block[kSetpointHigh]) v = block[kSetpointHigh];
  if (v < block[kSetpointLow]) v = block[kSetpointLow];
  return Whole16(v);
}

}  // namespace

int16_t frmTRun::CheckTStart() {
  return WithinLimits(FieldNumber(TStart), commands_.DataBlock);
}

int16_t frmTRun::CheckTStop() {
  return WithinLimits(FieldNumber(TStop), commands_.DataBlock);
}

int16_t frmTRun::CheckTStep() {
  double a = std::fabs(FieldNumber(TStep));
  const double difference = FieldNumber(TStop) - FieldNumber(TStart);
  const double span = std::fabs(difference);
  const double sign = difference > 0 ? 1 : difference < 0 ? -1 : 0;
  if (a < 1) a = 1;
  if (a > span) a = span;
  return sign == 0 ? 0 : Whole16(sign * a);
}

int16_t frmTRun::CheckDwellTime() {
  const double v = FieldNumber(DwellTime);
  if (v > 32000) return 32000;
  if (v < 1) return 1;
  return Whole16(v);
}

void frmTRun::CheckTemperatureParameter() {
  // In this order: the increment sees the normalised start and stop.
  TStart->setText(Plain(CheckTStart()));
  TStop->setText(Plain(CheckTStop()));
  TStep->setText(Plain(CheckTStep()));
  DwellTime->setText(Plain(CheckDwellTime()));
}

// --- Field events ---

bool frmTRun::eventFilter(QObject* watched, QEvent* event) {
  auto* field = qobject_cast<QLineEdit*>(watched);
  if (!field) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::FocusIn:
      // Typing replaces the old value.
      field->selectAll();
      break;
    case QEvent::FocusOut:
      // A context menu of the field is no leaving.
      if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) fieldLeft(field);
      break;
    case QEvent::KeyPress:
      if (IsEnter(static_cast<QKeyEvent*>(event))) {
        fieldEnter(field);
        return true;
      }
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void frmTRun::fieldEnter(QLineEdit* field) {
  QWidget* next = nullptr;
  if (field == TStart) {
    TStart->setText(Plain(CheckTStart()));
    next = TStop;
  } else if (field == TStop) {
    TStop->setText(Plain(CheckTStop()));
    next = TStep;
  } else if (field == TStep) {
    TStep->setText(Plain(CheckTStep()));
    next = DwellTime;
  } else if (field == DwellTime) {
    DwellTime->setText(Plain(CheckDwellTime()));
    next = btnStart;
  }
  if (next) next->setFocus(Qt::TabFocusReason);
}

void frmTRun::fieldLeft(QLineEdit* field) {
  // The dwell time stays as typed until Enter or Start.
  if (field == TStart) TStart->setText(Plain(CheckTStart()));
  if (field == TStop) TStop->setText(Plain(CheckTStop()));
  if (field == TStep) TStep->setText(Plain(CheckTStep()));
}

// --- Buttons and closing ---

void frmTRun::BtnCancel_Click() {
  form_.setStatusLine(QStringLiteral("Ready"));
  close();
}

void frmTRun::closeEvent(QCloseEvent* event) {
  // The window of a run in progress stays loaded; it is shown again when
  // the run ends.
  if (running()) {
    event->ignore();
    return;
  }
  event->accept();
  loaded_ = false;
  emit unloaded();
}

// --- The run ---

void frmTRun::BtnStart_Click() {
  // One long operation at a time: refused before anything is asked or sent.
  const std::optional<LongClaim> claim = form_.ops().beginLong(LongOperation::TemperatureRun);
  if (!claim) return;
  const Operations::Busy busy(form_.ops());
  const QString& nl = CRLF;
  // Every step is kept within SP L..SP H: without them no step can be checked.
  if (commands_.DataBlock[kSetpointLow] == kNoValue ||
      commands_.DataBlock[kSetpointHigh] == kNoValue) {
    BeepIfSound(platform_, settings_);
    MsgBox(platform_,
           QStringLiteral("The controller's setpoint limits (SP L, SP H) could not be decoded.") +
               nl + QStringLiteral("No temperature run can start."),
           MsgButtons::Ok, MsgIcon::None, QStringLiteral("Start Temperature Run"));
    return;
  }
  CheckTemperatureParameter();
  BeepIfSound(platform_, settings_);
  const MsgAnswer answer =
      MsgBox(platform_,
             QStringLiteral("Selected parameter:") + nl + nl + QStringLiteral("T-Start   : ") +
                 TStart->text() + nl + QStringLiteral("T-Stop    : ") + TStop->text() + nl +
                 QStringLiteral("Interval  : ") + TStep->text() + nl +
                 QStringLiteral("Dwell Time: ") + DwellTime->text() + nl,
             MsgButtons::OkCancel, MsgIcon::None, QStringLiteral("Start Temperature Run"));
  // The operator may have been away from the box while an alarm came.
  if (answer != MsgAnswer::Ok || form_.ops().stoppedByAlarm()) return;

  hide();
  Operations& ops = form_.ops();
  OperationEvent run(OperationEvent::Kind::RunStarted);
  run.tStart = Whole16(FieldNumber(TStart));
  run.tStop = Whole16(FieldNumber(TStop));
  run.increment = Whole16(FieldNumber(TStep));
  run.dwell = Whole16(FieldNumber(DwellTime));
  run.words = commands_.DataBlock;
  ops.post(run);
  form_.CancelFlag = false;
  ops.SwitchHeaterOutput(true);
  steps(Whole16(FieldNumber(TStart)), std::nullopt);

  ops.post(ops.runEnded(OperationEvent::Run::Temperature));
  show();
}

void frmTRun::Resume(const RunRecord& record, bool nextStep, double away) {
  if (!record.setpoint) return;
  const std::optional<LongClaim> claim = form_.ops().beginLong(LongOperation::TemperatureRun);
  if (!claim) return;
  const Operations::Busy busy(form_.ops());

  TStart->setText(Plain(record.tStart));
  TStop->setText(Plain(record.tStop));
  TStep->setText(Plain(record.increment));
  DwellTime->setText(Plain(record.dwell));
  // Where the dialog shows when the run ends.
  CenterForm(platform_, this);
  hide();
  Operations& ops = form_.ops();
  const int T = *record.setpoint;
  nextStep = nextStep || record.phase == RunRecord::Phase::Done;
  OperationEvent resumed(OperationEvent::Kind::RunResumed);
  resumed.away = away;
  resumed.step = StepNumber(record.tStart, record.increment, T);
  resumed.setpoint = static_cast<int16_t>(T);
  resumed.nextStep = nextStep;
  resumed.dwell = record.dwell;
  resumed.seconds = nextStep ? 0 : record.dwellDone;
  ops.post(resumed);
  form_.CancelFlag = false;
  if (nextStep) {
    // The next step's own write sets the heater on with its setpoint; a run
    // from a temperature to the same one has no next step.
    if (record.increment != 0) steps(T + record.increment, std::nullopt);
  } else {
    // The controller holds the step's setpoint; the heater goes on only if
    // it is off, as at the start of a run.
    ops.SwitchHeaterOutput(true);
    steps(T, Begun{record.dwellDone, record.held});
  }

  ops.post(ops.runEnded(OperationEvent::Run::Temperature));
  show();
}

void frmTRun::steps(int T, std::optional<Begun> begun) {
  frmOVX& form = form_;
  Operations& ops = form.ops();
  // Worked in 32 bits against the 16-bit T-Stop, so T never wraps: a step
  // beyond the range is past T-Stop and ends the run.
  const int stop = Whole16(FieldNumber(TStop));
  const int step = Whole16(FieldNumber(TStep));
  for (; step < 0 ? T >= stop : T <= stop; T += step, begun.reset()) {
    const auto setpoint = static_cast<int16_t>(T);
    if (ops.stoppedByAlarm()) break;
    if (!begun) {
      commands_.GetDataBlock(true);
      // An alarm that switched the heater off meanwhile ends the run here,
      // before the step would switch it on again.
      if (ops.stoppedByAlarm()) break;
      bool fromFile = false;
      const PidSet set = pidStore_.ReadPIDSet(setpoint, &fromFile);
      DataBlockWords& block = commands_.DataBlock;
      block[kSetpoint] = setpoint;
      block[kPTerm] = set.P;
      block[kITerm] = set.I;
      block[kDTerm] = set.D;
      block[kHeaterOutput] = 1;
      form.W->setText(Plain(setpoint));
      form.P->setText(Plain(set.P));
      form.I->setText(Plain(set.I));
      form.D->setText(Plain(set.D));
      commands_.SendDataBlock();
      OperationEvent started(OperationEvent::Kind::StepStarted);
      started.setpoint = setpoint;
      started.pid = set;
      started.pidFromFile = fromFile;
      ops.post(started);
      BeepIfSound(platform_, settings_);
    }

    form.OKFlag = false;
    ops.WaitForSteadyState(setpoint);
    form.OKFlag = false;
    CountDown(Whole16(FieldNumber(DwellTime)), begun ? begun->done : 0, begun && begun->held);
    // A run from a temperature to the same one has that one step.
    if (form.CancelFlag || step == 0) break;
  }
}

void frmTRun::CountDown(int16_t dwell, double done, bool held) {
  using Kind = OperationEvent::Kind;
  frmOVX& form = form_;
  Operations& ops = form.ops();
  // A Cancel that ended the wait before has been told already.
  const bool cancelledBefore = form.CancelFlag;
  form.setMenusEnabled(false);
  form.BtnCancel->setVisible(true);
  form.BtnOK->setVisible(true);
  form.BtnHold->setVisible(true);
  form.HoldFlag = false;
  auto post = [&](Kind kind, double seconds, double heldFor = 0) {
    OperationEvent e(kind);
    e.seconds = seconds;
    e.dwell = dwell;
    e.held = heldFor;
    ops.post(e);
  };
  auto showHeld = [&] {
    // Not "&Continue": Alt+C is Cancel's.
    form.BtnHold->setText(held ? QStringLiteral("Co&ntinue") : QStringLiteral("&Hold"));
    if (held) post(Kind::DwellHeld, done);
  };
  showHeld();
  // The dwell counted `done` seconds up to `since`; it runs from there, or
  // stands still while held.
  double since = platform_.now();
  double nextMinute = (std::floor(done / 60) + 1) * 60;
  for (;;) {
    platform_.processEvents();
    if (form.HoldFlag) {
      form.HoldFlag = false;
      const double now = platform_.now();
      if (held)
        post(Kind::DwellContinued, done, now - since);
      else
        done += now - since;
      held = !held;
      since = now;
      showHeld();
    }
    const double counted = held ? done : done + (platform_.now() - since);
    const QString left = BlankSigned(RoundDigits(dwell - counted, 0));
    // Held, a shorter text, so that all of it shows in the line.
    const QString text =
        held ? QStringLiteral("Dwell held for ") + Plain(RoundDigits(platform_.now() - since, 0)) +
                   QStringLiteral(" s,") + left + QStringLiteral(" s left")
             : QStringLiteral("Dwell time:") + left + QStringLiteral(" seconds remaining...");
    if (form.statusLine() != text) form.setStatusLine(text);
    if (form.CancelFlag) {
      // Stopped by the alarm, the run's log tells it at its end.
      if (!cancelledBefore && !ops.stoppedByAlarm()) ops.post(OperationEvent(Kind::OperatorCancel));
      break;
    }
    if (form.OKFlag) {
      ops.post(OperationEvent(Kind::OperatorOK));
      break;
    }
    const double elapsed = held ? done : done + (platform_.now() - since);
    if (!held && elapsed >= dwell) {
      ops.post(OperationEvent(Kind::DwellDone));
      break;
    }
    // So that a resume knows the dwell done to the minute.
    if (!held && elapsed >= nextMinute) {
      post(Kind::DwellProgress, nextMinute);
      nextMinute += 60;
    }
    // A last slice ends right at the dwell; a floor keeps it from vanishing.
    platform_.sleep(held ? kCountDownSlice
                         : std::clamp(dwell - elapsed, kCountDownMinimum, kCountDownSlice));
  }
  form.setStatusLine(QStringLiteral("Ready"));
  form.setMenusEnabled(true);
  form.BtnCancel->setVisible(false);
  form.BtnOK->setVisible(false);
  form.BtnHold->setVisible(false);
  form.BtnHold->setText(QStringLiteral("&Hold"));
}

}  // namespace ovx
