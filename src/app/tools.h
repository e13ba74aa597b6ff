// Small routines that the whole program shares.
#pragma once

#include <QString>

class QWidget;

namespace ovx {

class Program;

// The text without leading and trailing blanks (code 32 only).
QString TrimBlanks(const QString& text);
// The value rounded to `digits` decimals, an exact half to the even neighbour.
double RoundDigits(double value, int digits);

class Tools {
 public:
  explicit Tools(Program& program) : p_(program) {}

  // Waits the given seconds on the program's clock without handling events,
  // sleeping in short slices instead of spinning.
  void Delay(float seconds);
  bool FileExists(const QString& path);
  void BeepIfSound();
  // Centres a window on the screen by its client size (without the frame,
  // caption and menu bar), placing its outer top left corner.
  void CenterForm(QWidget* window);
  // Seconds on the program's one clock (monotonic).
  double Timer();

 private:
  Program& p_;
};

}  // namespace ovx
