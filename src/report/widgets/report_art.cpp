#include "report/widgets/report_art.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "wizard/paint/wizard_art.h"

namespace velmar {

namespace {

const QColor kInk(30, 30, 20);
const QColor kPaper(240, 231, 198);
const QColor kDown(40, 120, 200);
const QColor kUp(230, 140, 40);
const QColor kGreen(0, 220, 0);

void Sheet(QPainter& p, QRectF r) {
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(kPaper);
  QPainterPath path;
  const double fold = r.width() * 0.25;
  path.moveTo(r.topLeft());
  path.lineTo(r.right() - fold, r.top());
  path.lineTo(r.right(), r.top() + fold);
  path.lineTo(r.bottomRight());
  path.lineTo(r.bottomLeft());
  path.closeSubpath();
  p.drawPath(path);
}

void Bars(QPainter& p, QRectF r, const std::initializer_list<double>& heights) {
  const double slot = r.width() / static_cast<double>(heights.size());
  int i = 0;
  for (const double h : heights) {
    p.setPen(Qt::NoPen);
    p.setBrush(kDown);
    p.drawRect(QRectF(r.left() + slot * i + slot * 0.15, r.bottom() - r.height() * h, slot * 0.7,
                      r.height() * h * 0.65));
    p.setBrush(kUp);
    p.drawRect(QRectF(r.left() + slot * i + slot * 0.15, r.bottom() - r.height() * h * 0.35,
                      slot * 0.7, r.height() * h * 0.35));
    ++i;
  }
}

// The report profile wizard's pages, one drawing each.

void DrawProfilePage(QPainter& p, double w, double h) {
  // A folder with a report sticking out of it.
  Sheet(p, QRectF(w * 0.3, h * 0.14, w * 0.42, h * 0.4));
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(QColor(200, 170, 60));
  QPainterPath folder;
  folder.moveTo(w * 0.14, h * 0.34);
  folder.lineTo(w * 0.38, h * 0.34);
  folder.lineTo(w * 0.44, h * 0.4);
  folder.lineTo(w * 0.86, h * 0.4);
  folder.lineTo(w * 0.86, h * 0.72);
  folder.lineTo(w * 0.14, h * 0.72);
  folder.closeSubpath();
  p.drawPath(folder);
}

void DrawPeriodPage(QPainter& p, double w, double h) {
  // A calendar leaf with a span of days marked.
  const QRectF leaf(w * 0.15, h * 0.14, w * 0.7, h * 0.58);
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(kPaper);
  p.drawRoundedRect(leaf, 3, 3);
  p.setBrush(QColor(200, 30, 30));
  p.drawRect(QRectF(leaf.left(), leaf.top(), leaf.width(), leaf.height() * 0.18));
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 5; ++col) {
      const bool marked = row == 1 || (row == 2 && col < 3);
      p.setPen(Qt::NoPen);
      p.setBrush(marked ? kDown : QColor(150, 150, 130));
      p.drawRect(QRectF(leaf.left() + leaf.width() * (0.08 + 0.18 * col),
                        leaf.top() + leaf.height() * (0.28 + 0.18 * row), leaf.width() * 0.12,
                        leaf.height() * 0.1));
    }
  }
}

void DrawGroupingPage(QPainter& p, double w, double h) {
  Bars(p, QRectF(w * 0.12, h * 0.14, w * 0.76, h * 0.58), {0.4, 0.7, 0.55, 0.9, 0.3});
}

void DrawValuesPage(QPainter& p, double w, double h) {
  // A sum sign over a small table.
  p.setPen(QPen(kGreen, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPolygonF sigma;
  sigma << QPointF(w * 0.7, h * 0.16) << QPointF(w * 0.3, h * 0.16) << QPointF(w * 0.52, h * 0.34)
        << QPointF(w * 0.3, h * 0.52) << QPointF(w * 0.7, h * 0.52);
  p.drawPolyline(sigma);
  p.setPen(QPen(kPaper, 1.5));
  for (int i = 0; i < 3; ++i) {
    p.drawLine(QPointF(w * 0.2, h * (0.6 + 0.06 * i)), QPointF(w * 0.8, h * (0.6 + 0.06 * i)));
  }
}

void DrawQuotaPage(QPainter& p, double w, double h) {
  // A gauge of used against the allowance, its end in red.
  const QRectF track(w * 0.14, h * 0.36, w * 0.72, h * 0.12);
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(kPaper);
  p.drawRect(track);
  p.setBrush(kDown);
  p.drawRect(QRectF(track.left(), track.top(), track.width() * 0.62, track.height()));
  p.setPen(QPen(QColor(220, 30, 30), 3));
  p.drawLine(QPointF(track.left() + track.width() * 0.85, track.top() - h * 0.08),
             QPointF(track.left() + track.width() * 0.85, track.bottom() + h * 0.08));
  WizardArt::Caption(p, QRectF(0, h * 0.56, w, h * 0.14), QStringLiteral("per month"));
}

void DrawFormatsPage(QPainter& p, double w, double h) {
  Sheet(p, QRectF(w * 0.14, h * 0.22, w * 0.36, h * 0.44));
  Sheet(p, QRectF(w * 0.32, h * 0.18, w * 0.36, h * 0.44));
  Sheet(p, QRectF(w * 0.5, h * 0.14, w * 0.36, h * 0.44));
  Bars(p, QRectF(w * 0.54, h * 0.3, w * 0.28, h * 0.22), {0.5, 0.9, 0.7});
}

void DrawReadyPage(QPainter& p, double w, double h) {
  const QPointF c(w * 0.5, h * 0.42);
  const double r = std::min(w, h) * 0.26;
  WizardArt::Badge(p, c, r);
  WizardArt::Tick(p, c, r, kGreen);
}

// In page order; the last picture also stands for any page not listed.
const WizardPage kReportPages[] = {
    {DrawProfilePage, "Profile"}, {DrawPeriodPage, "Period"}, {DrawGroupingPage, "Grouping"},
    {DrawValuesPage, "Values"},   {DrawQuotaPage, "Quota"},   {DrawFormatsPage, "Formats"},
    {DrawReadyPage, "Ready"},
};
constexpr int kReadyPage = 6;

}  // namespace

QImage ReportArt::WizardPicture(int page, QSize size, qreal ratio) {
  return WizardArt::PagePicture(kReportPages, page, kReadyPage, size, ratio);
}

}  // namespace velmar
