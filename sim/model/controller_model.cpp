#include "model/controller_model.h"

#include <algorithm>
#include <cmath>

#include "protocol/codec.h"

namespace ovx::sim {
namespace {

// The furnace: C dT/dt = Pmax*u - (T - Tamb)/R, integrated exactly over each
// step with the output held.
constexpr double kStep = 0.5;            // s
constexpr double kTimeConstant = 1200;   // R*C, s
constexpr double kFullPowerRise = 1400;  // Pmax*R: rise above ambient at full power, °C
const double kDecay = std::exp(-kStep / kTimeConstant);

constexpr int kCutLength = 60;  // characters of a cut-short response
constexpr int kNulLength = 32;  // NUL characters sent instead of a response

// Response frame: 17 characters of header, the data field, 7 of trailer.
constexpr int kHeaderLength = 17;

constexpr int kReservedWord = 5;            // "Res.:", used by no operation
constexpr int kReservedValuePosition = 34;  // Value8, from 1
const QByteArray kReservedText = "@  ";     // 32768: beyond 16 bits

QByteArray Header(int loop, const char* code, bool named) {
  return ("A" + LoopText(loop) + (named ? code : "  ") + " OVX 7316")
      .leftJustified(kHeaderLength, ' ', true);
}

QByteArray TrailerOf(const QByteArray& field, Trailer kind) {
  switch (kind) {
    case Trailer::Zero:
      return "0000Q\r\n";
    case Trailer::Blank:
      return "     \r\n";
    case Trailer::Checksum:
      break;
  }
  return Checksum(field) + "Q\r\n";
}

int16_t ToWord(double value) {
  return static_cast<int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

}  // namespace

ControllerModel::ControllerModel(ModelOptions options)
    : options_(options),
      data_(DefaultParameterSet()),
      temperature_(options.start),
      random_(options.seed),
      faultRandom_(options.seed + 1),
      lastStepTemperature_(options.start),
      measured_(options.start) {
  // Heater output off (unless asked for) and no optimizing request, as the
  // default set has it.
  data_[kHeaterOutput] = options.heaterOn ? 1 : 0;
  data_[kOptimize1] = data_[kOptimize2] = 0;
  if (options.reservedWord) {
    data_[kReservedWord] = kNoValue;
    raw_[kReservedWord] = kReservedText;
  }
  history_.fill(options.start);
}

bool ControllerModel::optimizing() const {
  return tuner_.running();
}

void ControllerModel::advanceTo(double t) {
  while (static_cast<double>(steps_ + 1) * kStep <= t) step();
}

void ControllerModel::step() {
  if (temperature_ != lastStepTemperature_) {
    // Set from outside: the sensor sees the new temperature at once.
    history_.fill(temperature_);
    pid_.reset();
  }
  // The oldest entry of the ring is the temperature one dead time ago.
  measured_ = history_[historyNext_] + options_.noise * noise_(random_);
  if (options_.jumpAfter >= 0 && static_cast<double>(steps_) * kStep >= options_.jumpAfter)
    measured_ += options_.jump;
  output_ = heaterOutput(measured_);
  // A welded relay heats at full power; the controller does not know.
  const double power = options_.stuckRelay ? 100 : output_;
  const double equilibrium = options_.ambient + kFullPowerRise * power / 100;
  temperature_ = equilibrium + (temperature_ - equilibrium) * kDecay;
  history_[historyNext_] = temperature_;
  historyNext_ = (historyNext_ + 1) % kDeadTimeSteps;
  lastStepTemperature_ = temperature_;
  ++steps_;
}

void ControllerModel::updateMode() {
  const bool heater = data_[kHeaterOutput] == 1;
  const bool requested = data_[kOptimize1] == 1 && data_[kOptimize2] == 1;
  if (tuner_.running() && !(heater && requested)) {
    // Heater switched off or request withdrawn: the run is abandoned.
    tuner_.stop();
    data_[kOptimize1] = data_[kOptimize2] = 0;
    pid_.reset();
  } else if (!tuner_.running() && heater && requested) {
    tuner_.start();
  }
  if (!heater) pid_.reset();
}

double ControllerModel::heaterOutput(double measured) {
  updateMode();
  if (data_[kHeaterOutput] != 1) return 0;
  const double setpoint = data_[kSetpoint];
  if (tuner_.running()) {
    const double hysteresis = std::max(0.5, 3 * options_.noise);
    const double output = tuner_.update(setpoint, measured, hysteresis, kStep);
    if (auto result = tuner_.takeResult()) {
      if (result->tuned) {
        data_[kPTerm] = static_cast<int16_t>(result->band);
        data_[kITerm] = static_cast<int16_t>(result->integralTime);
        data_[kDTerm] = static_cast<int16_t>(result->derivativeTime);
      }
      data_[kOptimize1] = data_[kOptimize2] = 0;
      // Go on from the mean relay output, so that regulation takes over smoothly.
      pid_.reset(result->tuned ? result->bias : 0);
    }
    return output;
  }
  const PidTerms terms{static_cast<double>(data_[kPTerm]), static_cast<double>(data_[kITerm]),
                       static_cast<double>(data_[kDTerm])};
  return pid_.update(setpoint, measured, terms, kStep);
}

ValueBlock ControllerModel::valueBlock() const {
  // Right after a setTemperature() no step has measured yet.
  const double measured = temperature_ != lastStepTemperature_ ? temperature_ : measured_;
  const bool heater = data_[kHeaterOutput] == 1;
  ValueBlock v;
  v.ActualTemperature = ToWord(measured);
  v.Value2 = data_[kSetpoint];
  v.Value3 = ToWord(output_);
  v.Value4 = ToWord(options_.ambient);
  v.Text1 = "OVX 7316 SIM";
  v.Value5 = data_[kPTerm];
  v.Value6 = data_[kITerm];
  v.Value7 = data_[kDTerm];
  v.Text2 = !heater                                      ? "OUTPUT OFF"
            : tuner_.phase() == RelayTuner::kHeating     ? "SELF-OPT HEATING"
            : tuner_.phase() == RelayTuner::kOscillating ? "SELF-OPT OSCILLATING"
                                                         : "CONTROL";
  v.OptimizationStatus = static_cast<int16_t>(tuner_.phase());
  v.OutputStatus = heater ? 1 : 0;
  v.Text3 = "SENSOR TYPE S 0-1600 C";
  return v;
}

std::vector<Answer> ControllerModel::receive(const QByteArray& bytes, double t) {
  advanceTo(t);
  std::vector<Answer> answers;
  for (const QByteArray& line : lines_.add(bytes)) {
    ++framesReceived_;
    handleLine(line, t, answers);
  }
  return answers;
}

void ControllerModel::handleLine(const QByteArray& line, double t, std::vector<Answer>& answers) {
  if (options_.silentAfter >= 0 && t >= options_.silentAfter) {
    ++faultsInjected_;
    return;
  }
  // A frame counts when it ends the line; characters before it are noise.
  const QByteArray dataRequest = DataBlockRequest(options_.loop);
  const QByteArray valueRequest = ValueBlockRequest(options_.loop);
  const bool named = options_.namedHeaders;
  if (line.endsWith(dataRequest)) {
    const QByteArray field = EncodeDataBlock(data_, raw_);
    answer(line, Header(options_.loop, "NT", named) + field + TrailerOf(field, options_.trailer), t,
           answers);
  } else if (line.endsWith(valueRequest)) {
    QByteArray field = EncodeValueBlock(valueBlock());
    if (options_.reservedWord) field.replace(kReservedValuePosition - 1, 3, kReservedText);
    answer(line, Header(options_.loop, "NF", named) + field + TrailerOf(field, options_.trailer), t,
           answers);
  } else if (applyWrite(line)) {
    ++writesApplied_;
  }
}

bool ControllerModel::applyWrite(const QByteArray& line) {
  const QByteArray head = "S" + LoopText(options_.loop) + "  T ";
  const int length = head.size() + kDataFieldLength + 4 + 1;
  if (line.size() < length) return false;
  const QByteArray frame = line.right(length);
  if (!frame.startsWith(head) || !frame.endsWith('Q')) return false;
  const QByteArray field = frame.mid(head.size(), kDataFieldLength);
  if (frame.mid(head.size() + kDataFieldLength, 4) != Checksum(field)) return false;
  data_ = DecodeDataBlock(field);
  raw_ = UndecodableWords(field);
  updateMode();  // an optimizing request or the heater switch takes effect at once
  return true;
}

void ControllerModel::answer(const QByteArray& request, QByteArray response, double t,
                             std::vector<Answer>& answers) {
  Answer a{std::move(response), t + options_.answerDelay};
  switch (options_.fault) {
    case Fault::None:
      break;
    case Fault::Silent:
      ++faultsInjected_;
      return;
    case Fault::Echo:
      a.bytes = request + "\r\n";
      ++faultsInjected_;
      break;
    case Fault::CutShort:
      a.bytes.truncate(kCutLength);
      ++faultsInjected_;
      break;
    case Fault::Nul:
      a.bytes = QByteArray(kNulLength, '\0');
      ++faultsInjected_;
      break;
    case Fault::Late:
      a.at = t + options_.lateSeconds;
      ++faultsInjected_;
      break;
    case Fault::Corrupt: {
      const double p = options_.corruptProbability;
      // The probability is held to 0..1 (NaN counts as 0).
      if (std::bernoulli_distribution(p > 0 ? std::min(p, 1.0) : 0.0)(faultRandom_)) {
        a.bytes = corrupted(a.bytes);
        ++faultsInjected_;
      }
      break;
    }
  }
  answers.push_back(std::move(a));
}

QByteArray ControllerModel::corrupted(QByteArray bytes) {
  const int position = std::uniform_int_distribution<int>(0, bytes.size() - 1)(faultRandom_);
  std::uniform_int_distribution<int> printable(33, 126);
  switch (std::uniform_int_distribution<int>(0, 2)(faultRandom_)) {
    case 0:  // a character lost
      bytes.remove(position, 1);
      break;
    case 1:  // a character too many
      bytes.insert(position, static_cast<char>(printable(faultRandom_)));
      break;
    default: {  // a character changed
      char c;
      do c = static_cast<char>(printable(faultRandom_));
      while (c == bytes[position]);
      bytes[position] = c;
    }
  }
  return bytes;
}

}  // namespace ovx::sim
