#include "ui/frmovx.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "link/tools.h"
#include "protocol/numtext.h"
#include "ui/accessible_names.h"
#include "ui/operations.h"

// The window's resources sit in a static library; registering them here keeps
// the linker from dropping them.
static void InitWindowResources() {
  Q_INIT_RESOURCE(resources);
}

namespace ovx {

namespace {

constexpr int kTwipsPerPixel = 15;

// Places a control at its design position, given in twips.
void PlaceTwips(QWidget* control, int left, int top, int width, int height) {
  auto px = [](int twips) { return qRound(twips / double(kTwipsPerPixel)); };
  control->setGeometry(px(left), px(top), px(width), px(height));
}

// The indicator's fixed colours, with black text on either.
void SetBackground(QWidget* control, const QColor& background) {
  QPalette palette = control->palette();
  palette.setColor(QPalette::Base, background);
  palette.setColor(QPalette::Text, Qt::black);
  control->setPalette(palette);
}

// The status line on the button face of the colour scheme, under the
// scheme's own text colour, so that a dark scheme keeps it legible.
void OnButtonFace(QWidget* control) {
  QPalette palette = control->palette();
  palette.setColor(QPalette::Base, QApplication::palette(control).color(QPalette::Button));
  control->setPalette(palette);
}

// 13 for Enter (main or keypad), 27 for Escape, else 0.
int EnterOrEscape(const QKeyEvent* key) {
  const Qt::KeyboardModifiers others = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
  if (others != Qt::NoModifier) return 0;
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    default:
      return 0;
  }
}

}  // namespace

frmOVX::frmOVX(Platform& platform, const Settings& settings, Link& link, Commands& commands,
               PidStore& pidStore, Recorder& recorder)
    : platform_(platform),
      settings_(settings),
      commands_(commands),
      ops_(std::make_unique<Operations>(platform, settings, link, commands, pidStore, recorder,
                                        *this)) {
  InitWindowResources();
  setObjectName(QStringLiteral("frmOVX"));
  setWindowTitle(QString::fromLatin1(kApplicationTitle));
  setWindowIcon(QIcon(QStringLiteral(":/icons/ovx.xpm")));

  // The client area: 4050 x 3855 twips, every control at a fixed place.
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(4050 / kTwipsPerPixel, 3855 / kTwipsPerPixel);
  // The places were laid out for 8.25-point text; larger text would not fit
  // them (the label captions would be cut off).
  QFont designFont = client->font();
  designFont.setPointSizeF(8.25);
  client->setFont(designFont);
  // The alarm band goes above the client area, across the window.
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  alarmBand = new QWidget(central);
  alarmBand->setObjectName(QStringLiteral("alarmBand"));
  alarmBand->setAutoFillBackground(true);
  QPalette red = alarmBand->palette();
  red.setColor(QPalette::Window, QColor(200, 0, 0));
  red.setColor(QPalette::WindowText, Qt::white);
  alarmBand->setPalette(red);
  alarmText = new QLabel(alarmBand);
  alarmText->setObjectName(QStringLiteral("alarmText"));
  alarmText->setWordWrap(true);
  alarmText->setTextFormat(Qt::PlainText);
  QFont bold = alarmText->font();
  bold.setBold(true);
  alarmText->setFont(bold);
  btnAcknowledge = new QPushButton(QStringLiteral("&Acknowledge"), alarmBand);
  btnAcknowledge->setObjectName(QStringLiteral("btnAcknowledge"));
  btnAcknowledge->setAutoDefault(false);
  auto* bandColumn = new QVBoxLayout(alarmBand);
  bandColumn->setContentsMargins(6, 4, 6, 4);
  bandColumn->addWidget(alarmText);
  bandColumn->addWidget(btnAcknowledge, 0, Qt::AlignRight);
  alarmBand->setFixedWidth(client->width());
  alarmBand->hide();
  column->addWidget(alarmBand);
  column->addWidget(client);
  setCentralWidget(central);
  connect(btnAcknowledge, &QPushButton::clicked, this, [this] {
    if (onAcknowledge) onAcknowledge();
  });

  auto label = [client](const char* name, const char* caption, int left, int top, int width,
                        int height) {
    auto* control = new QLabel(QString::fromLatin1(caption), client);
    control->setObjectName(QString::fromLatin1(name));
    control->setAlignment(Qt::AlignRight | Qt::AlignTop);
    PlaceTwips(control, left, top, width, height);
    return control;
  };
  auto field = [client](const char* name, int left, int top, int width, int height) {
    auto* control = new QLineEdit(client);
    control->setObjectName(QString::fromLatin1(name));
    PlaceTwips(control, left, top, width, height);
    return control;
  };
  auto button = [client](const char* name, const char* caption, int left, int top, int width,
                         int height) {
    auto* control = new QPushButton(QString::fromLatin1(caption), client);
    control->setObjectName(QString::fromLatin1(name));
    control->setAutoDefault(false);  // Enter is routed by the window itself
    PlaceTwips(control, left, top, width, height);
    control->hide();
    return control;
  };

  lblW = label("lblW", "Setpoint W:", 90, 135, 1005, 240);
  W = field("W", 1170, 90, 1200, 285);
  lblP = label("lblP", "P:", 2475, 135, 285, 240);
  P = field("P", 2835, 90, 1200, 285);
  lblI = label("lblI", "I:", 2475, 450, 285, 240);
  I = field("I", 2835, 405, 1200, 285);
  lblD = label("lblD", "D:", 2475, 765, 285, 240);
  D = field("D", 2835, 720, 1200, 285);
  BtnCancel = button("BtnCancel", "&Cancel", 1190, 415, 1180, 285);
  BtnOK = button("BtnOK", "&OK", 1190, 735, 1180, 285);
  // Left of OK, under the label of W.
  BtnHold = button("BtnHold", "&Hold", 90, 735, 1005, 285);

  StatusText = new QPlainTextEdit(client);
  StatusText->setObjectName(QStringLiteral("StatusText"));
  PlaceTwips(StatusText, 45, 1080, 3975, 2355);
  QFont traceFont = QFontDatabase::families().contains(QStringLiteral("Courier New"))
                        ? QFont(QStringLiteral("Courier New"))
                        : QFontDatabase::systemFont(QFontDatabase::FixedFont);
  traceFont.setPointSizeF(8.25);
  StatusText->setFont(traceFont);
  StatusText->setTabChangesFocus(true);
  // The trace grows for as long as the program runs; an undo history of it
  // would only cost memory.
  StatusText->setUndoRedoEnabled(false);

  StatusLine = field("StatusLine", 45, 3540, 3255, 285);
  OnButtonFace(StatusLine);

  // Left of the OK and Cancel buttons, where nothing else ever stands.
  lblRunLog = label("lblRunLog", "", 90, 450, 1005, 555);
  lblRunLog->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblRunLog->setWordWrap(true);
  QFont markFont = lblRunLog->font();
  markFont.setBold(true);
  lblRunLog->setFont(markFont);
  lblRunLog->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0)"));
  lblRunLog->hide();

  HeaterStatus = field("HeaterStatus", 3360, 3540, 645, 285);
  HeaterStatus->setReadOnly(true);
  HeaterStatus->setAlignment(Qt::AlignCenter);
  SetBackground(HeaterStatus, HeaterStatus->palette().color(QPalette::Button));

  // For a screen reader.
  for (const auto& [caption, control] : {std::pair{lblW, W}, {lblP, P}, {lblI, I}, {lblD, D}})
    NameByLabel(caption, control);
  StatusLine->setAccessibleName(QStringLiteral("Status line"));
  StatusText->setAccessibleName(QStringLiteral("Trace"));
  HeaterStatus->setAccessibleName(QStringLiteral("Heater output"));

  const std::initializer_list<QWidget*> tabOrder = {
      W, P, I, D, StatusLine, HeaterStatus, BtnCancel, BtnOK, BtnHold, StatusText, btnAcknowledge};
  for (auto it = tabOrder.begin(); it + 1 != tabOrder.end(); ++it) setTabOrder(*it, *(it + 1));
  for (QWidget* control : tabOrder)
    if (control != btnAcknowledge) control->installEventFilter(this);
  W->setFocus();

  connect(BtnOK, &QPushButton::clicked, this, &frmOVX::BtnOK_Click);
  connect(BtnCancel, &QPushButton::clicked, this, &frmOVX::BtnCancel_Click);
  connect(BtnHold, &QPushButton::clicked, this, &frmOVX::BtnHold_Click);
  connect(StatusText, &QPlainTextEdit::textChanged, this, [this] {
    // Typed by the operator: the trace text is what the field now holds.
    if (writingStatusText_) return;
    statusText_ = StatusText->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    StatusText_Change();
  });

  // Menus. A disabled menu also silences the shortcuts of its entries.
  auto menu = [this](const char* name, const char* caption) {
    QMenu* m = menuBar()->addMenu(QString::fromLatin1(caption));
    m->setObjectName(QString::fromLatin1(name));
    return m;
  };
  auto entry = [this](QMenu* m, const char* name, const char* caption, QKeySequence shortcut,
                      void (frmOVX::*slot)()) {
    QAction* action = m->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  auto separator = [](QMenu* m, const char* name) {
    m->addSeparator()->setObjectName(QString::fromLatin1(name));
  };

  menuFile = menu("menuFile", "&File");
  menuLoadPID = entry(menuFile, "menuLoadPID", "&Load PID's", {}, &frmOVX::menuLoadPID_Click);
  menuFileSavePID =
      entry(menuFile, "menuFileSavePID", "&Save PID's", {}, &frmOVX::menuFileSavePID_Click);
  separator(menuFile, "menuFileBar0");
  menuFileExit = entry(menuFile, "menuFileExit", "&Exit", QKeySequence(Qt::CTRL | Qt::Key_X),
                       &frmOVX::menuFileExit_Click);

  menuTemperature = menu("menuTemperature", "&Temperature");
  menuTemperatureRun = entry(menuTemperature, "menuTemperatureRun", "&Temperature Run",
                             QKeySequence(Qt::CTRL | Qt::Key_R), &frmOVX::menuTemperatureRun_Click);
  menuTemperatureWatch = entry(menuTemperature, "menuTemperatureWatch", "&Watch…", {},
                               &frmOVX::menuTemperatureWatch_Click);

  menuOVX = menu("menuOVX", "&OVX");
  menuOVXHeaterOutputOFF = entry(menuOVX, "menuOVXHeaterOutputOFF", "Heater Output &OFF",
                                 QKeySequence(Qt::Key_F7), &frmOVX::menuOVXHeaterOutputOFF_Click);
  menuHeaterOutputON = entry(menuOVX, "menuHeaterOutputON", "&Heater Output ON",
                             QKeySequence(Qt::Key_F8), &frmOVX::menuHeaterOutputON_Click);
  separator(menuOVX, "menuOVXBar1");
  menuOVXSelfOptimizing = entry(menuOVX, "menuOVXSelfOptimizing", "Start Self-&Optimizing", {},
                                &frmOVX::menuOVXSelfOptimizing_Click);
  separator(menuOVX, "menuOVXBar2");
  menuOVXSendDefault = entry(menuOVX, "menuOVXSendDefault", "Send &Default Parameter Set",
                             QKeySequence(Qt::Key_F12), &frmOVX::menuOVXSendDefault_Click);
  separator(menuOVX, "menuOVXBar3");
  menuOVXStatus =
      entry(menuOVX, "menuOVXStatus", "Query &Status", {}, &frmOVX::menuOVXStatus_Click);

  MenuInfo = menu("MenuInfo", "&?");
  menuInfoTrend = entry(MenuInfo, "menuInfoTrend", "&Trend", QKeySequence(Qt::CTRL | Qt::Key_T),
                        &frmOVX::menuInfoTrend_Click);
  // Held by the window as well, the shortcut stays live while the menus are
  // disabled: a long operation is when the operator wants the curve most.
  menuInfoTrend->setShortcutContext(Qt::ApplicationShortcut);
  addAction(menuInfoTrend);

  // Fixed size: the window is exactly its menu bar over the client area.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  layout()->activate();

  lostReportTimer_ = platform_.createTimer([this] { showLostReports(); });
}

frmOVX::~frmOVX() = default;

// --- Trace area and status line ---

void frmOVX::setStatusText(const QString& text) {
  statusText_ = text;
  writeStatusText(nullptr);
}

void frmOVX::appendStatusText(const QString& text) {
  // A CR LF split over two appends must still show as one line break.
  const bool splitLineBreak =
      statusText_.endsWith(QLatin1Char('\r')) && text.startsWith(QLatin1Char('\n'));
  statusText_ += text;
  writeStatusText(splitLineBreak ? nullptr : &text);
}

void frmOVX::writeStatusText(const QString* appended) {
  writingStatusText_ = true;
  if (appended) {
    QTextCursor end(StatusText->document());
    end.movePosition(QTextCursor::End);
    end.insertText(*appended);
  } else {
    StatusText->setPlainText(statusText_);
  }
  writingStatusText_ = false;
  StatusText_Change();
}

void frmOVX::StatusText_Change() {
  // The caret goes to the end, so that the newest lines are in view.
  QTextCursor caret = StatusText->textCursor();
  caret.movePosition(QTextCursor::End);
  StatusText->setTextCursor(caret);
  StatusText->ensureCursorVisible();
}

QString frmOVX::statusLine() const {
  return StatusLine->text();
}

void frmOVX::setStatusLine(const QString& text) {
  StatusLine->setText(text);
  StatusLine->setCursorPosition(0);
  // Progress texts are set right before busy waits that run no event loop.
  StatusLine->repaint();
}

void frmOVX::showBrokerStatus(const QString& text) {
  if (!brokerStatus_) {
    brokerStatus_ = new QLabel(this);
    brokerStatus_->setObjectName(QStringLiteral("BrokerStatus"));
    // Two lines, always: a long text wraps instead of widening the window,
    // and the window does not change its height with the text.
    brokerStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    brokerStatus_->setFont(centralWidget()->font());
    brokerStatus_->setWordWrap(true);
    brokerStatus_->setFixedHeight(2 * brokerStatus_->fontMetrics().lineSpacing());
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(brokerStatus_, 1);
  }
  brokerStatus_->setText(text);
}

QString frmOVX::brokerStatus() const {
  return brokerStatus_ ? brokerStatus_->text() : QString();
}

// --- Display ---

void frmOVX::ShowParameters() {
  // A word that did not decode shows as an empty field: no value to offer.
  const DataBlockWords& block = commands_.DataBlock;
  W->setText(PlainWord(block[kSetpoint]));
  P->setText(PlainWord(block[kPTerm]));
  I->setText(PlainWord(block[kITerm]));
  D->setText(PlainWord(block[kDTerm]));
}

void frmOVX::ShowHeaterStatus() {
  const bool on = commands_.DataBlock[kHeaterOutput] == 1;
  HeaterStatus->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
  HeaterStatus->setAccessibleName(QStringLiteral("Heater output: ") + HeaterStatus->text());
  SetBackground(HeaterStatus, on ? QColor(255, 0, 0) : QColor(192, 192, 192));
}

void frmOVX::setMenusEnabled(bool enabled) {
  for (QMenu* m : {menuFile, menuTemperature, menuOVX, MenuInfo})
    m->menuAction()->setEnabled(enabled);
}

// --- The run log's trouble ---

void frmOVX::showRunLogMark(const QString& notice, bool keptOn) {
  lblRunLog->setText(keptOn ? QStringLiteral("Run log incomplete")
                            : QStringLiteral("Run log not kept"));
  lblRunLog->setToolTip(notice);
  lblRunLog->show();
}

void frmOVX::runLogLost(const QString& report) {
  lblRunLog->hide();
  lostReports_.push_back(report);
  lostReportTimer_->start(0);
}

void frmOVX::showLostReports() {
  // In the middle of an operation (a yield, a box, a long operation) the
  // box would hold it up.
  if (platform_.insideHandler() || ops_->longOperation() != LongOperation::None) {
    lostReportTimer_->start(0.5);
    return;
  }
  const std::vector<QString> reports = std::exchange(lostReports_, {});
  for (const QString& report : reports) {
    BeepIfSound(platform_, settings_);
    MsgBox(platform_, report, MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Run log"));
  }
}

// --- Buttons, indicator and menu entries ---

void frmOVX::BtnOK_Click() {
  OKFlag = true;
}

void frmOVX::BtnCancel_Click() {
  CancelFlag = true;
}

void frmOVX::BtnHold_Click() {
  HoldFlag = true;
}

void frmOVX::HeaterStatus_DblClick() {
  ops_->HeaterStatus_DblClick();
}

void frmOVX::menuLoadPID_Click() {
  ops_->menuLoadPID_Click();
}

void frmOVX::menuFileSavePID_Click() {
  ops_->menuFileSavePID_Click();
}

void frmOVX::menuFileExit_Click() {
  close();
}

void frmOVX::menuTemperatureRun_Click() {
  if (onTemperatureRun) onTemperatureRun();
}

void frmOVX::menuTemperatureWatch_Click() {
  if (onWatch) onWatch();
}

void frmOVX::menuOVXHeaterOutputOFF_Click() {
  ops_->SwitchHeaterOutput(false);
}

void frmOVX::menuHeaterOutputON_Click() {
  ops_->SwitchHeaterOutput(true);
}

void frmOVX::menuOVXSelfOptimizing_Click() {
  ops_->menuOVXSelfOptimizing_Click();
}

void frmOVX::menuOVXSendDefault_Click() {
  commands_.SendDefaultParameterSet();
  ShowHeaterStatus();
  setStatusLine(QStringLiteral("Ready"));
}

void frmOVX::menuOVXStatus_Click() {
  ops_->menuOVXStatus_Click();
}

void frmOVX::menuInfoTrend_Click() {
  if (onTrend) onTrend();
}

// --- Events ---

void frmOVX::closeEvent(QCloseEvent* event) {
  bool Cancel = false;
  if (onUnload) onUnload(Cancel);
  if (Cancel) {
    event->ignore();
  } else {
    event->accept();
  }
}

bool frmOVX::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonDblClick:
      if (watched != HeaterStatus) break;
      HeaterStatus_DblClick();
      return true;  // no word selection over the indicator's colour

    case QEvent::PaletteChange:
      // The colour scheme changed while the program runs (the face set here
      // changes nothing the second time round).
      if (watched == StatusLine) OnButtonFace(StatusLine);
      break;

    case QEvent::ShortcutOverride:
      // Text controls claim some keys of the menus for themselves (Ctrl+X
      // is Cut); the menu entry wins. Leaving the override unaccepted lets
      // the shortcut fire; while the menus are disabled the key then goes
      // on to the control as usual.
      return isMenuShortcut(static_cast<QKeyEvent*>(event));

    case QEvent::KeyPress: {
      const int key = EnterOrEscape(static_cast<QKeyEvent*>(event));
      // While shown, OK and Cancel take Enter and Escape from every control.
      if (key == 13 && !BtnOK->isHidden()) {
        BtnOK->click();
        return true;
      }
      if (key == 27 && !BtnCancel->isHidden()) {
        BtnCancel->click();
        return true;
      }
      if (key == 0) break;
      if (watched == W) W_KeyPress(key);
      if (watched == P) P_KeyPress(key);
      if (watched == I) I_KeyPress(key);
      if (watched == D) D_KeyPress(key);
      break;  // the key goes on to the control
    }

    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool frmOVX::isMenuShortcut(const QKeyEvent* key) const {
  const QKeySequence typed(key->keyCombination());
  for (const QMenu* m : {menuFile, menuTemperature, menuOVX, MenuInfo}) {
    for (const QAction* action : m->actions()) {
      if (!action->shortcut().isEmpty() && action->shortcut() == typed) return true;
    }
  }
  return false;
}

void frmOVX::W_KeyPress(int KeyAscii) {
  ops_->parameterKeyPress(W, KeyAscii);
}

void frmOVX::P_KeyPress(int KeyAscii) {
  ops_->parameterKeyPress(P, KeyAscii);
}

void frmOVX::I_KeyPress(int KeyAscii) {
  ops_->parameterKeyPress(I, KeyAscii);
}

void frmOVX::D_KeyPress(int KeyAscii) {
  ops_->parameterKeyPress(D, KeyAscii);
}

// --- What the link reports ---

void frmOVX::exchangeStarted(BlockKind kind) {
  remembered_.push_back(statusLine());
  setStatusLine(kind == BlockKind::Data ? QStringLiteral("Parameter query in progress...")
                                        : QStringLiteral("Status query in progress..."));
}

void frmOVX::retryPauseStarted() {
  setStatusLine(QStringLiteral("Invalid response"));
}

void frmOVX::retryPauseEnded() {
  if (!remembered_.empty()) setStatusLine(remembered_.back());
}

void frmOVX::exchangeEnded(BlockKind) {
  if (remembered_.empty()) return;
  const QString text = remembered_.back();
  remembered_.pop_back();
  if (statusLine() != text) setStatusLine(text);
}

void frmOVX::frameSent(const QByteArray& frame) {
  if (!settings_.Debug) return;
  if (statusText().size() > 500) setStatusText(QString());
  appendStatusText(QStringLiteral("[CMD>] ") + QString::fromLatin1(frame) + CRLF);
}

void frmOVX::responseReceived(const QByteArray& response) {
  if (!settings_.Debug) return;
  appendStatusText(QStringLiteral("[") + QString::number(response.size()) +
                   QStringLiteral(" char's from OVX>] ") + QString::fromLatin1(response) + CRLF);
}

void frmOVX::leftoversDiscarded(const QString& label, const QByteArray& bytes) {
  if (settings_.Debug)
    MsgBox(platform_, LeftoverReport(bytes), MsgButtons::Ok, MsgIcon::None, label);
}

void frmOVX::readingTaken(const Reading& reading) {
  if (reading.block == BlockKind::Data && reading.outcome == Outcome::Answered) ShowParameters();
}

void frmOVX::answerRuleLearned(BlockKind kind, const AnswerRule::Learned& news) {
  if (!settings_.Debug) return;
  const QString block =
      kind == BlockKind::Data ? QStringLiteral("Data block") : QStringLiteral("Value block");
  if (news.trailer)
    appendStatusText(block + QStringLiteral(" trailer is the checksum: verified from now on") +
                     CRLF);
  if (news.header)
    appendStatusText(block + QStringLiteral(" header names its block: checked from now on") + CRLF);
}

void frmOVX::dataBlockSent(const DataBlockWords&, bool fromMemory) {
  if (fromMemory) ShowParameters();
}

// --- The watch's alarms ---

void frmOVX::eventPosted(const OperationEvent& event) {
  using Kind = OperationEvent::Kind;
  const auto time = [this] { return platform_.wallClock().toString(QStringLiteral("HH:mm:ss")); };
  switch (event.kind) {
    case Kind::AlarmRaised:
      alarms_.push_back({event.alarm, time() + QLatin1Char(' ') + Describe(event)});
      break;
    case Kind::AlarmCleared:
      for (auto it = alarms_.rbegin(); it != alarms_.rend(); ++it)
        if (it->alarm == event.alarm) {
          it->text += QStringLiteral(" (cleared ") + time() + QLatin1Char(')');
          break;
        }
      break;
    case Kind::AlarmAcknowledged:
      alarms_.clear();
      break;
    default:
      return;
  }
  showAlarms();
}

void frmOVX::showAlarms() {
  const QString title = QString::fromLatin1(kApplicationTitle);
  QStringList lines;
  for (const AlarmLine& line : alarms_) lines << line.text;
  alarmText->setText(lines.join(QLatin1Char('\n')));
  alarmBand->setVisible(!alarms_.empty());
  setWindowTitle(alarms_.empty() ? title : QStringLiteral("ALARM — ") + title);
}

QString LeftoverReport(const QByteArray& r) {
  QString text = QStringLiteral("Receive buffer contained  ") + QString::number(r.size()) +
                 QStringLiteral(" Zeichen:") + CRLF + CRLF;
  for (qsizetype i = 0; i < r.size(); ++i) {
    const auto code = static_cast<unsigned char>(r[i]);
    text += QLatin1Char(' ') + QString::number(code);
    if (code == 13 || code == 10 || code == 38)
      text += QStringLiteral("[-]");
    else
      text += QLatin1Char('[') + QChar(code) + QLatin1Char(']');
    if ((i + 1) % 10 == 0) text += CRLF;
  }
  return text + CRLF + CRLF + QStringLiteral("Receive buffer cleared...");
}

void CenterForm(Platform& platform, QWidget* window) {
  // The client area: a main window's menu bar belongs to its frame, like the
  // caption, so the window sits lower by half of them.
  const auto* main = qobject_cast<QMainWindow*>(window);
  const QSize client =
      main && main->centralWidget() ? main->centralWidget()->size() : window->size();
  const QSize screen = platform.screenSizeTwips();
  const double left = (screen.width() - client.width() * 15.0) / 2;
  const double top = (screen.height() - client.height() * 15.0) / 2;
  window->move(static_cast<int>(left / 15), static_cast<int>(top / 15));
}

}  // namespace ovx
