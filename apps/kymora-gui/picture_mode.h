#pragma once
// Pictures without a person at the window (--screenshot): open a file, select a stretch, run a menu
// command, wait until everything is drawn, save a picture of the window (with the dialog the command
// opened, if any) and leave. Message boxes go to standard error instead of waiting for an answer.
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>

namespace kymora::gui {

class MainWindow;

struct PictureRequest {
  QString file;                                     // opened first when given
  QString output;                                   // the PNG to write
  std::optional<std::pair<double, double>> select;  // seconds on the chart's time axis
  QStringList commands;                             // "Menu>Item", run in order; the last may open the dialog
  int channel = 0;                                  // the current channel (for the Channel menu), from 0
  // The dialog to picture, counting from 1 the dialogs the command opens; those before it are confirmed
  // as they are, or, when one holds a button named press (a control id), by clicking that button.
  int dialog = 1;
  QString press;
  QSize size{1280, 800};
};

// "FROM-TO" in seconds, two non-negative numbers with FROM below TO.
std::optional<std::pair<double, double>> ParseSecondsRange(const QString& text);
// "WIDTHxHEIGHT", each 200 to 8000.
std::optional<QSize> ParseWindowSize(const QString& text);

// Processes events until ready() or the time runs out; false when it ran out.
bool WaitUntil(const std::function<bool()>& ready, int timeoutMs);

// Returns the process's exit status: 0 written, 1 a failure (said on standard error), 2 a wrong command.
int TakePicture(MainWindow& window, const PictureRequest& request);

}  // namespace kymora::gui
