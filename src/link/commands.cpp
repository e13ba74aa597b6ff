#include "link/commands.h"

#include "app/program.h"
#include "link/codec.h"
#include "ui/frmovx.h"

namespace ovx {

QByteArray Commands::GetDataBlock(bool retry) {
  return getBlock(retry, true);
}

QByteArray Commands::GetValueBlock(bool retry) {
  return getBlock(retry, false);
}

QByteArray Commands::getBlock(bool retry, bool dataBlock) {
  frmOVX& form = p_.form();
  const QString remembered = form.statusLine();
  form.setStatusLine(dataBlock ? QStringLiteral("Parameter query in progress...")
                               : QStringLiteral("Status query in progress..."));
  const QString label =
      dataBlock ? QStringLiteral("GetDataBlock") : QStringLiteral("GetValueBlock");
  const int loop = p_.g.ControlLoopNumber;
  QByteArray response;
  for (;;) {
    p_.link.ClearReceiveBuffer(label);
    p_.link.SendCommand(dataBlock ? DataBlockRequest(loop) : ValueBlockRequest(loop));
    response = p_.link.ReceiveResponse();
    if (ValidResponse(response)) break;
    form.setStatusLine(QStringLiteral("Invalid response"));
    p_.platform.processEvents();
    p_.tools.Delay(1);
    form.setStatusLine(remembered);
    if (!retry) return response;
    p_.tools.BeepIfSound();
  }
  if (dataBlock) {
    p_.g.DataBlock = DecodeDataBlock(DataField(response));
    form.ShowParameters();
  } else {
    p_.g.Values = DecodeValueBlock(DataField(response));
  }
  form.setStatusLine(remembered);
  return response;
}

bool Commands::SendDataBlock() {
  p_.link.SendCommand(WriteFrame(p_.g.ControlLoopNumber, p_.g.DataBlock));
  p_.form().ShowParameters();
  return true;
}

void Commands::SendDefaultParameterSet() {
  p_.link.SendCommand(WriteFrame(p_.g.ControlLoopNumber, DefaultParameterSet()));
}

}  // namespace ovx
