// The OVX 7316 controller as seen from its serial line, with a furnace model.
// It answers read requests with 116-character block responses, applies valid
// write frames, and regulates the furnace with its own PID loop. Time is
// given by the caller in simulated seconds, so the same model runs on the
// tests' virtual clock and in ovx-sim on the wall clock.
#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "model/line_buffer.h"
#include "model/regulation.h"
#include "protocol/blocks.h"

namespace ovx::sim {

enum class Fault {
  None,
  Silent,    // never answers
  Echo,      // sends the request back instead of an answer
  CutShort,  // sends only the first part of each response
  Nul,       // sends NUL characters instead of the response
  Late,      // answers after `lateSeconds`
  Corrupt,   // each response is corrupted with probability `corruptProbability`
};

// What follows the data field of an answer: its checksum and "Q" as the
// program writes it, or what another controller may put there instead.
enum class Trailer { Checksum, Zero /* "0000Q" */, Blank /* five blanks */ };

struct ModelOptions {
  int loop = 1;
  double ambient = 25;        // °C
  double start = 25;          // furnace temperature at t = 0, °C
  double noise = 0.2;         // standard deviation of the measurement noise, °C
  double answerDelay = 0.02;  // seconds from the end of a request to the answer
  Fault fault = Fault::None;
  double lateSeconds = 3;
  double corruptProbability = 0.2;
  unsigned seed = 1;
  // Faults of the furnace, for the watch, each on its own or with a fault
  // of the line:
  bool heaterOn = false;    // word 37 at t = 0
  bool stuckRelay = false;  // the heater heats at full power whatever word 37 says
  double silentAfter = -1;  // from then on (s) the controller neither answers nor takes writes
  double jumpAfter = -1;    // from then on (s) the sensor reads `jump` °C off (a broken sensor)
  double jump = 400;
  Trailer trailer = Trailer::Checksum;
  bool namedHeaders = true;  // headers name their block ("NT", "NF"); else neither
  // Data word 5 (reserved) and the value block's Value8 hold "@  ", which
  // the encoding cannot carry; word 5 then keeps what a write brings.
  bool reservedWord = false;
};

// One answer that the model sends: its bytes, and when they start (simulated
// seconds). The transport paces the characters at the line's speed.
struct Answer {
  QByteArray bytes;
  double at;
};

class ControllerModel {
 public:
  explicit ControllerModel(ModelOptions options = {});

  // Bytes received from the line at time t (any chunking; a frame ends with
  // CR LF or LF). Returns the answers to send, if any.
  std::vector<Answer> receive(const QByteArray& bytes, double t);
  // Runs the furnace and the regulation up to time t.
  void advanceTo(double t);

  // Direct access for tests and the simulator's log.
  DataBlockWords& dataBlock() { return data_; }
  ValueBlock valueBlock() const;
  double temperature() const { return temperature_; }
  void setTemperature(double celsius) { temperature_ = celsius; }
  bool optimizing() const;
  ModelOptions& options() { return options_; }
  int framesReceived() const { return framesReceived_; }
  int writesApplied() const { return writesApplied_; }
  int faultsInjected() const { return faultsInjected_; }

 private:
  // Implementation details are free; what is above is what others use.
  static constexpr int kDeadTimeSteps = 8;  // sensor dead time in integration steps

  void step();
  double heaterOutput(double measured);
  void updateMode();
  void handleLine(const QByteArray& line, double t, std::vector<Answer>& answers);
  bool applyWrite(const QByteArray& line);
  void answer(const QByteArray& request, QByteArray response, double t,
              std::vector<Answer>& answers);
  QByteArray corrupted(QByteArray bytes);

  ModelOptions options_;
  DataBlockWords data_;
  RawWords raw_;  // the characters of the words that do not decode, as written
  double temperature_ = 25;
  long long steps_ = 0;  // integration steps done; model time = steps_ * step
  LineBuffer lines_;
  int framesReceived_ = 0;
  int writesApplied_ = 0;
  int faultsInjected_ = 0;
  std::mt19937 random_;       // measurement noise
  std::mt19937 faultRandom_;  // apart, so that faults leave the furnace run unchanged
  std::normal_distribution<double> noise_{0, 1};
  std::array<double, kDeadTimeSteps> history_{};  // ring of past temperatures
  int historyNext_ = 0;
  double lastStepTemperature_ = 25;  // tells a setTemperature() from the integration
  double measured_ = 25;             // sensor value of the last step, noise included
  double output_ = 0;                // heater output, %
  Pid pid_;
  RelayTuner tuner_;
};

}  // namespace ovx::sim
