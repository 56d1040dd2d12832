#include "spirometry/views/sp_preview.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>

#include "host/calc/ienum_event_ex.h"
#include "host/expr/iexpression_engine.h"
#include "spirometry/document/breath_analysis.h"

namespace Spirometry {

namespace {
constexpr int kGridColumns = 10, kGridRows = 4;
constexpr int kMargin = 4;
}  // namespace

std::wstring PreviewExpressionText(std::int32_t flowChannel, double height) {
  std::wostringstream text;
  text.imbue(std::locale::classic());
  const std::int64_t flow = std::int64_t{flowChannel} + 1;
  text << L"SPEEVol(" << L"SpVol(Ch" << flow << L", 0, 0, 1), SPEEFlow(Ch" << flow << L", " << height << L"))";
  return text.str();
}

bool DetectBreaths(IChannelData* data, const std::wstring& text, std::int32_t flowChannel, DataPosition start,
                   DataPosition end, std::vector<Breath>* breaths) {
  breaths->clear();
  ComPtr<IExpressionEngine> engine;
  if (!data || Failed(data->QueryInterface(IExpressionEngine::kIid, engine.PutVoid())) || !engine) return false;
  const ChannelBinding bindings[] = {{flowChannel, L"L/s"}};
  ComPtr<IExpression> expression;
  std::wstring error;
  if (Failed(engine->Compile(text.c_str(), 1, bindings, expression.Put(), &error)) || !expression) return false;
  ComPtr<IEnumEventEx> events;
  if (Failed(expression->CreateEventEnum(start.block, start.offset, events.Put())) || !events) return false;
  std::int32_t size = kBreathEventBytes;
  if (Succeeded(events->GetElementSize(&size)) && size != kBreathEventBytes) return false;
  alignas(8) std::uint8_t buffer[kBreathEventBytes * kBreathEventsPerRead];
  for (;;) {
    std::int32_t count = 0, next = 0;
    const HRESULT hr = events->Next(end.offset, buffer, static_cast<std::int32_t>(sizeof buffer), &count, &next);
    if (Failed(hr) || count <= 0) break;
    for (std::int32_t i = 0; i < std::min(count, kBreathEventsPerRead); ++i)
      breaths->push_back(BreathFromEvent(buffer + i * kBreathEventBytes, start.block));
    if (hr == S_FALSE) break;
  }
  return true;
}

SPPreview::SPPreview(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("SPPreview"));
  setMinimumSize(448 * 3 / 2, 116 * 3 / 2);
}

void SPPreview::Show(std::vector<float> flow, std::int32_t startTick, std::vector<Breath> breaths) {
  mFlow = std::move(flow);
  mStartTick = startTick;
  mBreaths = std::move(breaths);
  update();
}

void SPPreview::Clear() { Show({}, 0, {}); }

void SPPreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRectF area = QRectF(rect()).adjusted(kMargin, kMargin, -kMargin - 1, -kMargin - 1);
  p.fillRect(area, Qt::white);
  p.setPen(QPen(QColor(220, 220, 220), 0));
  for (int i = 1; i < kGridColumns; ++i) {
    const double x = area.left() + area.width() * i / kGridColumns;
    p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
  }
  for (int i = 1; i < kGridRows; ++i) {
    const double y = area.top() + area.height() * i / kGridRows;
    p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
  }
  p.setPen(QPen(Qt::gray, 0));
  p.drawRect(area);
  if (mFlow.size() < 2) return;

  double peak = 0.0;
  for (float v : mFlow)
    if (std::isfinite(v)) peak = std::max(peak, std::fabs(double{v}));
  if (peak <= 0.0) peak = 1.0;
  const double n = static_cast<double>(mFlow.size() - 1);
  auto x = [&](double tick) { return area.left() + (tick - mStartTick) / n * area.width(); };
  auto y = [&](double v) { return area.center().y() - v / peak * area.height() * 0.45; };
  p.setPen(QPen(Qt::gray, 0, Qt::DashLine));
  p.drawLine(QPointF(area.left(), y(0)), QPointF(area.right(), y(0)));

  // Each pixel column as the lowest and highest sample under it.
  QPainterPath trace;
  const int columns = std::max(1, static_cast<int>(area.width()));
  for (int c = 0; c < columns; ++c) {
    const auto from = static_cast<std::size_t>(n * c / columns), to = static_cast<std::size_t>(n * (c + 1) / columns);
    float low = INFINITY, high = -INFINITY;
    for (std::size_t i = from; i <= to && i < mFlow.size(); ++i)
      if (std::isfinite(mFlow[i])) low = std::min(low, mFlow[i]), high = std::max(high, mFlow[i]);
    if (!(low <= high)) continue;
    const double px = area.left() + c;
    if (trace.elementCount() == 0) trace.moveTo(px, y(high));
    trace.lineTo(px, y(high));
    trace.lineTo(px, y(low));
  }
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 70, 160), 1));
  p.drawPath(trace);

  // A breath: its span shaded, a green line where it starts, a red one where expiration starts.
  for (const auto& b : mBreaths) {
    const double start = x(b.Start.offset), expiration = x(b.ExpirationStart.offset), end = x(b.End.offset);
    p.fillRect(QRectF(QPointF(start, area.top()), QPointF(end, area.bottom())), QColor(0, 160, 0, 24));
    p.setPen(QPen(QColor(0, 150, 0), 1.5));
    p.drawLine(QPointF(start, area.top()), QPointF(start, area.bottom()));
    p.setPen(QPen(QColor(200, 0, 0), 1.5));
    p.drawLine(QPointF(expiration, area.top()), QPointF(expiration, area.bottom()));
  }
}

}  // namespace Spirometry
