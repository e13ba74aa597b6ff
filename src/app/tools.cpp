#include "app/tools.h"

#include <QMainWindow>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "app/program.h"

namespace ovx {

QString TrimBlanks(const QString& text) {
  qsizetype first = 0, last = text.size();
  while (first < last && text[first] == QLatin1Char(' ')) ++first;
  while (last > first && text[last - 1] == QLatin1Char(' ')) --last;
  return text.mid(first, last - first);
}

double RoundDigits(double value, int digits) {
  // Worked in double precision throughout, so values beyond the 32-bit
  // range round correctly too.
  const double scale = std::pow(10.0, digits);
  return std::nearbyint(value * scale) / scale;
}

void Tools::Delay(float seconds) {
  Platform& platform = p_.platform;
  const double start = platform.now();
  for (;;) {
    const float elapsed = static_cast<float>(platform.now() - start);
    if (elapsed >= seconds) return;
    // Short slices keep the wait accurate without keeping a core busy.
    platform.sleep(std::min(0.01, static_cast<double>(seconds - elapsed)));
  }
}

bool Tools::FileExists(const QString& path) {
  return p_.platform.fileExists(path);
}

void Tools::BeepIfSound() {
  if (p_.g.Sound) p_.platform.beep();
}

void Tools::CenterForm(QWidget* window) {
  // The client area: a main window's menu bar belongs to its frame, like the
  // caption, so the window sits lower by half of them.
  const auto* main = qobject_cast<QMainWindow*>(window);
  const QSize client =
      main && main->centralWidget() ? main->centralWidget()->size() : window->size();
  const QSize screen = p_.platform.screenSizeTwips();
  const double left = (screen.width() - client.width() * 15.0) / 2;
  const double top = (screen.height() - client.height() * 15.0) / 2;
  window->move(static_cast<int>(left / 15), static_cast<int>(top / 15));
}

double Tools::Timer() {
  return p_.platform.now();
}

}  // namespace ovx
