// The byte link to the controller: one command out, whatever came back in.
#pragma once

#include <QByteArray>
#include <QString>

namespace ovx {

class Program;

class Link {
 public:
  explicit Link(Program& program) : p_(program) {}

  // Writes command + CR LF, then waits TxDelay.
  void SendCommand(const QByteArray& command);
  // Waits RxDelay, then returns everything received so far.
  QByteArray ReceiveResponse();
  // Throws away what is in the receive buffer; with Debug on, reports it in
  // a box titled with the caller's label.
  void ClearReceiveBuffer(const QString& label);

  // The leftover report of ClearReceiveBuffer.
  static QString LeftoverReport(const QByteArray& leftover);

 private:
  Program& p_;
};

}  // namespace ovx
