#include "spirometry/calc/dialogs/flow_cal_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "spirometry/calc/dialogs/dialog_support.h"
#include "spirometry/support/unit_prefix.h"

namespace Spirometry {

namespace {
constexpr double kVolumeMin = 0.01, kVolumeMax = 9.99;  // litres
constexpr double kScaleMin = 0.01, kScaleMax = 99.9;    // L/s per V
constexpr int kGraphWidth = 360, kGraphHeight = 160;

QLabel* Label(const QString& text, const char* id) {
  auto* label = new QLabel(text);
  if (id) label->setObjectName(QString::fromLatin1(id));
  return label;
}

// The finite range of a series, widened when flat; false when nothing is finite.
bool SeriesRange(const std::vector<float>& v, double* low, double* high) {
  bool any = false;
  for (float x : v) {
    if (!std::isfinite(x)) continue;
    *low = any ? std::min(*low, double{x}) : x;
    *high = any ? std::max(*high, double{x}) : x;
    any = true;
  }
  if (any && *high - *low < 1e-12) {
    *low -= 1.0;
    *high += 1.0;
  }
  return any;
}
}  // namespace

FlowCalGraph::FlowCalGraph(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("104"));
  setMinimumSize(kGraphWidth, kGraphHeight);
}

void FlowCalGraph::SetData(std::vector<float> samples, std::vector<float> running) {
  mSamples = std::move(samples);
  mRunning = std::move(running);
  update();
}

void FlowCalGraph::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRectF frame = QRectF(rect()).adjusted(4, 4, -5, -5);
  p.fillRect(frame, palette().base());
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(frame);
  // Each series on its own scale; the zero line of the samples as the axis.
  auto draw = [&](const std::vector<float>& v, const QColor& colour, bool axis) {
    double low = 0, high = 0;
    if (v.size() < 2 || !SeriesRange(v, &low, &high)) return;
    const double dx = frame.width() / static_cast<double>(v.size() - 1);
    auto y = [&](double value) { return frame.bottom() - (value - low) / (high - low) * frame.height(); };
    if (axis && low < 0.0 && high > 0.0) {
      p.setPen(QPen(palette().color(QPalette::Mid), 0, Qt::DashLine));
      p.drawLine(QPointF(frame.left(), y(0.0)), QPointF(frame.right(), y(0.0)));
    }
    QPainterPath path;
    bool drawing = false;
    // One point per pixel column is plenty: keep every n-th sample.
    const std::size_t step = std::max<std::size_t>(1, v.size() / static_cast<std::size_t>(frame.width() * 2));
    for (std::size_t i = 0; i < v.size(); i += step) {
      if (!std::isfinite(v[i])) {
        drawing = false;
        continue;
      }
      const QPointF point(frame.left() + dx * static_cast<double>(i), y(v[i]));
      if (drawing)
        path.lineTo(point);
      else
        path.moveTo(point);
      drawing = true;
    }
    p.setPen(QPen(colour, 1.2));
    p.drawPath(path);
  };
  p.setRenderHint(QPainter::Antialiasing);
  draw(mSamples, QColor(0, 90, 200), true);
  draw(mRunning, QColor(200, 60, 0), false);
}

FlowCalDlg::FlowCalDlg(IHostDocument* host, std::int32_t channel, std::int32_t ownChannel, double* headScale,
                       std::int32_t prefixCode, QWidget* parent)
    : QDialog(parent),
      mHost(host),
      mData(Dialogs::ChannelDataOf(host)),
      mReader(mData.Get(), mData.Get()),
      mHeadScale(headScale),
      mPrefixCode(prefixCode),
      mVolume(new QLineEdit),
      mScale(new QLineEdit),
      mFormula(Label(QStringLiteral("Flow (L/s) = "), "109")),
      mStatus(Label(QStringLiteral("Calibration status message"), "107")),
      mGraph(new FlowCalGraph) {
  setWindowTitle(QStringLiteral("Flow Head Calibration"));
  setObjectName(QStringLiteral("FLOWHEADCALIBRATION"));
  mFactor = prefixCode >= 1 && prefixCode <= 14 ? UnitPrefixFactor(prefixCode) : 1.0;
  mVolume->setObjectName(QStringLiteral("102"));
  mScale->setObjectName(QStringLiteral("106"));
  mStatus->setWordWrap(true);

  auto* grid = new QGridLayout;
  auto* volumeLabel = Label(QStringLiteral("Injected &volume:"), "101");
  volumeLabel->setBuddy(mVolume);
  grid->addWidget(volumeLabel, 0, 0);
  grid->addWidget(mVolume, 0, 1);
  grid->addWidget(Label(QString::fromStdWString(UnitPrefixText(prefixCode)) + QStringLiteral("L"), "103"), 0, 2);
  grid->addWidget(mGraph, 1, 0, 1, 3);
  auto* formulaLabel = Label(QStringLiteral("&Final formula:"), "105");
  formulaLabel->setBuddy(mScale);
  grid->addWidget(formulaLabel, 2, 0);
  auto* formulaRow = new QHBoxLayout;
  formulaRow->addWidget(mFormula);
  formulaRow->addWidget(mScale);
  formulaRow->addWidget(Label(QStringLiteral("x voltage"), "108"));
  grid->addLayout(formulaRow, 2, 1, 1, 2);
  grid->addWidget(mStatus, 3, 0, 1, 3);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(Dialogs::StandardButtons(this, host, L"Spiro_FlowHeadCalib"));

  mReader.SetChannel(channel, ownChannel);
  SetUp();
  connect(mVolume, &QLineEdit::textChanged, this, [this] { VolumeChanged(); });
  connect(mScale, &QLineEdit::textChanged, this, [this] { HeadScaleChanged(); });
}

void FlowCalDlg::Write(QLineEdit* edit, double value) {
  mUpdating = true;
  edit->setText(Dialogs::FormatNumber("%.5g", value));
  mUpdating = false;
}

void FlowCalDlg::SetUp() {
  std::wstring message;
  mValid = mReader.Validate(&message) && mReader.Read();
  mFormula->setText(QStringLiteral("Flow (") + QString::fromStdWString(UnitPrefixText(mPrefixCode)) +
                    QStringLiteral("L/s) ="));
  if (!mValid) {
    mVolume->setEnabled(false);
    mVolume->clear();
    mStatus->setText(QString::fromStdWString(message));
    Write(mScale, *mHeadScale * mFactor);
    return;
  }
  mStatus->clear();
  mReader.Integrate();
  Write(mScale, *mHeadScale * mFactor);
  Write(mVolume, std::fabs(static_cast<float>(mReader.Integral() * *mHeadScale)) * mFactor);
  mGraph->SetData(mReader.Samples(), mReader.RunningIntegral());
}

void FlowCalDlg::VolumeChanged() {
  if (mUpdating) return;
  double v = 0.0;
  const bool read = Dialogs::ReadNumber(mVolume, &v);
  if (!read) v = 0.0;
  // The range is the syringe's in litres, whatever units the edit shows.
  const double litres = v / mFactor;
  Dialogs::MarkInvalid(mVolume, !read || litres < kVolumeMin || litres > kVolumeMax);
  const double m = mValid ? mReader.Integral() : 0.0;
  *mHeadScale = m == 0.0 ? 0.0 : std::fabs(litres / m);
  Write(mScale, *mHeadScale * mFactor);
}

void FlowCalDlg::HeadScaleChanged() {
  if (mUpdating) return;
  double s = 0.0;
  const bool read = Dialogs::ReadNumber(mScale, &s);
  if (!read) s = 0.0;
  *mHeadScale = s / mFactor;
  Dialogs::MarkInvalid(mScale, !read || *mHeadScale < kScaleMin || *mHeadScale > kScaleMax);
  if (!mValid) return;
  const float volume = std::fabs(static_cast<float>(mReader.Integral() * *mHeadScale));
  Write(mVolume, volume * mFactor);
}

}  // namespace Spirometry
