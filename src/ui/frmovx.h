// The main window: the operator's front panel of the controller.
#pragma once

#include <QMainWindow>
#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QMenu;
class QAction;
class QKeyEvent;

namespace ovx {

class Program;

class frmOVX : public QMainWindow {
  Q_OBJECT
 public:
  explicit frmOVX(Program& program);
  ~frmOVX() override;

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
  QPlainTextEdit* StatusText = nullptr;
  QLineEdit* StatusLine = nullptr;
  QLineEdit* HeaterStatus = nullptr;

  QMenu* menuFile = nullptr;
  QAction* menuLoadPID = nullptr;
  QAction* menuFileSavePID = nullptr;
  QAction* menuFileExit = nullptr;
  QMenu* menuTemperature = nullptr;
  QAction* menuTemperatureRun = nullptr;
  QMenu* menuOVX = nullptr;
  QAction* menuOVXHeaterOutputOFF = nullptr;
  QAction* menuHeaterOutputON = nullptr;
  QAction* menuOVXSelfOptimizing = nullptr;
  QAction* menuOVXSendDefault = nullptr;
  QAction* menuOVXStatus = nullptr;
  QMenu* MenuInfo = nullptr;

  // The trace area's text exactly as written (CR LF line breaks); the widget
  // shows it and keeps its newest line in view.
  QString statusText() const { return statusText_; }
  void setStatusText(const QString& text);
  void appendStatusText(const QString& text);

  QString statusLine() const;
  void setStatusLine(const QString& text);

  // W, P, I, D from data block words 1, 14, 16, 17, in plain form.
  void ShowParameters();
  // "ON" on red when word 37 is 1, else "OFF" on grey.
  void ShowHeaterStatus();

  // The four top-level menus together, for long operations.
  void setMenusEnabled(bool enabled);

 public slots:
  void BtnOK_Click();
  void BtnCancel_Click();
  void HeaterStatus_DblClick();
  void menuLoadPID_Click();
  void menuFileSavePID_Click();
  void menuFileExit_Click();
  void menuTemperatureRun_Click();
  void menuOVXHeaterOutputOFF_Click();
  void menuHeaterOutputON_Click();
  void menuOVXSelfOptimizing_Click();
  void menuOVXSendDefault_Click();
  void menuOVXStatus_Click();

 protected:
  void closeEvent(class QCloseEvent* event) override;
  bool eventFilter(QObject* watched, class QEvent* event) override;

 private:
  // Enter (13) or Escape (27) typed into one of the four parameter fields,
  // while the OK and Cancel buttons are hidden.
  void fieldKeyPress(QLineEdit* field, int key);

  // Shows statusText_ in the trace area: the whole of it, or only the
  // appended part.
  void writeStatusText(const QString* appended);
  // After every change of the trace: caret to the end, newest line in view.
  void StatusText_Change();
  // The key is the shortcut of a menu entry.
  bool isMenuShortcut(const QKeyEvent* key) const;

  Program& p_;
  QString statusText_;
  bool writingStatusText_ = false;  // the trace area changes by program, not by typing
};

}  // namespace ovx
