#include "support/harness.h"

namespace ovx::test {

QByteArray BlockResponse(const QByteArray& dataField) {
  return QByteArray("A001NT 0000000000").left(17) + dataField + QByteArray("0000Q\r\n");
}

Harness::Harness(const char* ini, sim::ModelOptions options) : model(options), t0_(platform.t) {
  if (ini) platform.writeIni(ini);
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

}  // namespace ovx::test
