// The main window: the operator's front panel of the controller.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "link/commands.h"
#include "link/link.h"
#include "link/listener.h"
#include "pidstore/pidstore.h"
#include "platform/platform.h"
#include "protocol/settings.h"
#include "record/events.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QMenu;
class QAction;
class QKeyEvent;

namespace ovx {

class Operations;

inline constexpr const char* kApplicationTitle = "KALVEN OVX 7316";

// The report of leftovers found in the receive buffer, as the debug box
// shows it.
QString LeftoverReport(const QByteArray& leftover);
// Centres a window on the screen by its client size (without the frame,
// caption and menu bar), placing its outer top left corner.
void CenterForm(Platform& platform, QWidget* window);

// The main window listens to the link: it shows the trace, the status line
// texts of the block reads, the fields after each read and write, and the
// leftover box. It listens to the operations' events for the watch's alarms:
// a red band across the window, until the operator acknowledges them.
class frmOVX : public QMainWindow, public LinkListener, public OperationListener {
  Q_OBJECT
 public:
  frmOVX(Platform& platform, const Settings& settings, Link& link, Commands& commands,
         PidStore& pidStore, Recorder& recorder);
  ~frmOVX() override;

  // The controller operations behind the window's menus and fields.
  Operations& ops() { return *ops_; }

  // Set by the program that composes the windows.
  std::function<void()> onTemperatureRun;      // "Temperature Run"
  std::function<void()> onTrend;               // "Trend"
  std::function<void()> onWatch;               // "Watch…"
  std::function<void()> onAcknowledge;         // the alarm band's "Acknowledge"
  std::function<void(bool& Cancel)> onUnload;  // closing the window

  bool CancelFlag = false;  // set by BtnCancel
  bool OKFlag = false;      // set by BtnOK
  bool HoldFlag = false;    // set by BtnHold: hold the dwell, or let it go on

  // Controls, named as on the form. Positions are fixed (twips / 15).
  QLabel* lblW = nullptr;
  QLineEdit* W = nullptr;
  QLabel* lblP = nullptr;
  QLineEdit* P = nullptr;
  QLabel* lblI = nullptr;
  QLineEdit* I = nullptr;
  QLabel* lblD = nullptr;
  QLineEdit* D = nullptr;
  QPushButton* BtnCancel = nullptr;
  QPushButton* BtnOK = nullptr;
  // Beside OK during a run's dwell: "Hold", and "Continue" while held.
  QPushButton* BtnHold = nullptr;
  QPlainTextEdit* StatusText = nullptr;
  QLineEdit* StatusLine = nullptr;
  QLineEdit* HeaterStatus = nullptr;
  // Shown, in red, while a run's log is not kept whole; no operation writes
  // over it, unlike the status line.
  QLabel* lblRunLog = nullptr;
  // Above the controls, shown while alarms wait to be acknowledged: each
  // with its time, and the button.
  QWidget* alarmBand = nullptr;
  QLabel* alarmText = nullptr;
  QPushButton* btnAcknowledge = nullptr;

  QMenu* menuFile = nullptr;
  QAction* menuLoadPID = nullptr;
  QAction* menuFileSavePID = nullptr;
  QAction* menuFileExit = nullptr;
  QMenu* menuTemperature = nullptr;
  QAction* menuTemperatureRun = nullptr;
  QAction* menuTemperatureWatch = nullptr;
  QMenu* menuOVX = nullptr;
  QAction* menuOVXHeaterOutputOFF = nullptr;
  QAction* menuHeaterOutputON = nullptr;
  QAction* menuOVXSelfOptimizing = nullptr;
  QAction* menuOVXSendDefault = nullptr;
  QAction* menuOVXStatus = nullptr;
  QMenu* MenuInfo = nullptr;
  // "Trend", Ctrl+T: also while long operations have the menus disabled.
  QAction* menuInfoTrend = nullptr;

  // The trace area's text exactly as written (CR LF line breaks); the widget
  // shows it and keeps its newest line in view.
  QString statusText() const { return statusText_; }
  void setStatusText(const QString& text);
  void appendStatusText(const QString& text);

  QString statusLine() const;
  void setStatusLine(const QString& text);

  // The state of the connection to the MQTT broker, in a bar of its own
  // below the window's controls, which appears with the first text.
  void showBrokerStatus(const QString& text);
  // That bar's text; empty while there is none.
  QString brokerStatus() const;

  // W, P, I, D from data block words 1, 14, 16, 17, in plain form.
  void ShowParameters();
  // "ON" on red when word 37 is 1, else "OFF" on grey.
  void ShowHeaterStatus();

  // The four top-level menus together, for long operations.
  void setMenusEnabled(bool enabled);

  // The run's log has trouble (`notice` says which): the mark shows it until
  // the run ends; `keptOn` tells whether the rows still go into a file.
  void showRunLogMark(const QString& notice, bool keptOn);
  // A run whose log had trouble has ended: the mark goes, and `report` is
  // shown in a box once no operation holds the window, so that no run ever
  // waits for the operator's click.
  void runLogLost(const QString& report);

 public slots:
  void BtnOK_Click();
  void BtnCancel_Click();
  void BtnHold_Click();
  void HeaterStatus_DblClick();
  void menuLoadPID_Click();
  void menuFileSavePID_Click();
  void menuFileExit_Click();
  void menuTemperatureRun_Click();
  void menuTemperatureWatch_Click();
  void menuOVXHeaterOutputOFF_Click();
  void menuHeaterOutputON_Click();
  void menuOVXSelfOptimizing_Click();
  void menuOVXSendDefault_Click();
  void menuOVXStatus_Click();
  void menuInfoTrend_Click();

  // Keys typed into the four parameter fields (13 Enter, 27 Escape, ...).
  void W_KeyPress(int KeyAscii);
  void P_KeyPress(int KeyAscii);
  void I_KeyPress(int KeyAscii);
  void D_KeyPress(int KeyAscii);

  // LinkListener
  void exchangeStarted(BlockKind kind) override;
  void exchangeEnded(BlockKind kind) override;
  void leftoversDiscarded(const QString& label, const QByteArray& bytes) override;
  void frameSent(const QByteArray& frame) override;
  void responseReceived(const QByteArray& response) override;
  void readingTaken(const Reading& reading) override;
  void answerRuleLearned(BlockKind kind, const AnswerRule::Learned& news) override;
  void retryPauseStarted() override;
  void retryPauseEnded() override;
  void dataBlockSent(const DataBlockWords& words, bool fromMemory) override;

  // OperationListener: the alarms
  void eventPosted(const OperationEvent& event) override;

 protected:
  void closeEvent(class QCloseEvent* event) override;
  bool eventFilter(QObject* watched, class QEvent* event) override;

 private:
  // Shows statusText_ in the trace area: the whole of it, or only the
  // appended part.
  void writeStatusText(const QString* appended);
  // After every change of the trace: caret to the end, newest line in view.
  void StatusText_Change();
  // The key is the shortcut of a menu entry.
  bool isMenuShortcut(const QKeyEvent* key) const;
  // Shows the reports of lost run logs, or tries again a little later while
  // an operation holds the window.
  void showLostReports();

  Platform& platform_;
  const Settings& settings_;
  Commands& commands_;
  std::unique_ptr<Operations> ops_;
  // The status line texts that the block reads in progress put back at their
  // end; reads nest when an operation starts from a read's retry pause.
  std::vector<QString> remembered_;
  QString statusText_;
  bool writingStatusText_ = false;    // the trace area changes by program, not by typing
  std::vector<QString> lostReports_;  // not shown yet
  std::unique_ptr<Timer> lostReportTimer_;
  // The band's lines, and which alarm each tells.
  struct AlarmLine {
    Alarm alarm;
    QString text;
  };
  std::vector<AlarmLine> alarms_;
  void showAlarms();
  QLabel* brokerStatus_ = nullptr;
};

}  // namespace ovx
