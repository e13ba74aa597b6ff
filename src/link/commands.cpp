#include "link/commands.h"

#include "link/tools.h"

namespace ovx {

QByteArray Commands::GetDataBlock(bool retry) {
  return getBlock(retry, BlockKind::Data);
}

QByteArray Commands::GetValueBlock(bool retry) {
  return getBlock(retry, BlockKind::Value);
}

QByteArray Commands::getBlock(bool retry, BlockKind kind) {
  Platform& platform = link_.platform();
  const Settings& settings = link_.settings();
  const bool data = kind == BlockKind::Data;
  const QString label = data ? QStringLiteral("GetDataBlock") : QStringLiteral("GetValueBlock");
  const int loop = settings.ControlLoopNumber;
  const Link::Exchange exchange(link_);
  link_.notify([&](LinkListener& l) { l.exchangeStarted(kind); });
  QByteArray response;
  for (;;) {
    link_.ClearReceiveBuffer(label);
    link_.SendCommand(data ? DataBlockRequest(loop) : ValueBlockRequest(loop));
    response = link_.ReceiveResponse();
    lastOutcome_ = take(kind, response);
    if (lastOutcome_ == Outcome::Answered) break;
    link_.notify([&](LinkListener& l) { l.retryPauseStarted(); });
    platform.processEvents();
    Delay(platform, 1);
    link_.notify([&](LinkListener& l) { l.retryPauseEnded(); });
    if (!retry) break;
    BeepIfSound(platform, settings);
  }
  link_.notify([&](LinkListener& l) { l.exchangeEnded(kind); });
  return response;
}

Outcome Commands::take(BlockKind kind, const QByteArray& response) {
  const Outcome outcome = CheckResponse(response, kind, rule_);
  Reading reading{link_.platform().now(), kind, outcome, {}, {}};
  if (outcome == Outcome::Answered) {
    if (const AnswerRule::Learned news = rule_.learn(response, kind); news.trailer || news.header)
      link_.notify([&](LinkListener& l) { l.answerRuleLearned(kind, news); });
    const QByteArray field = DataField(response);
    if (kind == BlockKind::Data) {
      reading.words = DataBlock = DecodeDataBlock(field);
      raw_ = UndecodableWords(field);
    } else {
      reading.values = Values = DecodeValueBlock(field);
    }
  }
  link_.notify([&](LinkListener& l) { l.readingTaken(reading); });
  return outcome;
}

void Commands::beginValueBlockRead() {
  const QByteArray request = ValueBlockRequest(link_.settings().ControlLoopNumber);
  link_.beginRead(request,
                  [this](const QByteArray& response) { take(BlockKind::Value, response); });
}

bool Commands::SendDataBlock() {
  const Link::Exchange exchange(link_);
  link_.SendCommand(WriteFrame(link_.settings().ControlLoopNumber, DataBlock, raw_));
  link_.notify([&](LinkListener& l) { l.dataBlockSent(DataBlock, true); });
  return true;
}

void Commands::SendDefaultParameterSet() {
  const DataBlockWords defaults = DefaultParameterSet();
  const Link::Exchange exchange(link_);
  link_.SendCommand(WriteFrame(link_.settings().ControlLoopNumber, defaults));
  link_.notify([&](LinkListener& l) { l.dataBlockSent(defaults, false); });
}

}  // namespace ovx
