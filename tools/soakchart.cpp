// Draws a soak run's CSV (seconds, UI thread %, process %, resident MB) as a
// PNG: the two CPU shares against the left axis, memory against the right.
//
//   aerlume-soakchart IN.csv OUT.png [TITLE]
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Sample {
  double seconds, uiCpu, processCpu, rssMb;
};

bool Read(const QString& path, std::vector<Sample>* samples) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
  QTextStream in(&file);
  in.readLine();  // heading
  while (!in.atEnd()) {
    const QStringList cells = in.readLine().split(QLatin1Char(','));
    if (cells.size() < 4) continue;
    samples->push_back({cells[0].toDouble(), cells[1].toDouble(), cells[2].toDouble(), cells[3].toDouble()});
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s IN.csv OUT.png [TITLE]\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  std::vector<Sample> samples;
  if (!Read(QString::fromLocal8Bit(argv[1]), &samples) || samples.empty()) {
    std::fprintf(stderr, "%s: no samples\n", argv[1]);
    return 1;
  }
  const QString title = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("Soak run");

  const int width = 1000, height = 500, left = 70, right = 80, top = 50, bottom = 60;
  const QRectF plot(left, top, width - left - right, height - top - bottom);
  double maxSeconds = std::max(10.0, samples.back().seconds);
  double maxCpu = 10.0, maxRss = 10.0;
  for (const Sample& s : samples) {
    maxCpu = std::max({maxCpu, s.uiCpu, s.processCpu});
    maxRss = std::max(maxRss, s.rssMb);
  }
  maxCpu = std::ceil(maxCpu / 10.0) * 10.0;
  maxRss = std::ceil(maxRss * 1.1 / 10.0) * 10.0;

  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
  p.drawText(QRectF(0, 10, width, 24), Qt::AlignCenter, title);

  // Grid and axes: five steps on each axis.
  for (int i = 0; i <= 5; ++i) {
    const double y = plot.bottom() - plot.height() * i / 5;
    p.setPen(QColor(225, 225, 225));
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    p.setPen(Qt::black);
    p.drawText(QRectF(0, y - 8, left - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("%1 %").arg(maxCpu * i / 5, 0, 'f', 0));
    p.drawText(QRectF(plot.right() + 6, y - 8, right - 6, 16), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("%1 MB").arg(maxRss * i / 5, 0, 'f', 0));
    const double x = plot.left() + plot.width() * i / 5;
    p.drawText(QRectF(x - 40, plot.bottom() + 4, 80, 16), Qt::AlignCenter,
               QStringLiteral("%1 min").arg(maxSeconds * i / 5 / 60.0, 0, 'f', 1));
  }
  p.drawRect(plot);

  auto series = [&](auto value, double scale, const QColor& colour) {
    QPolygonF line;
    for (const Sample& s : samples)
      line << QPointF(plot.left() + plot.width() * s.seconds / maxSeconds, plot.bottom() - plot.height() * value(s) / scale);
    p.setPen(QPen(colour, 2));
    p.drawPolyline(line);
  };
  series([](const Sample& s) { return s.processCpu; }, maxCpu, QColor(200, 40, 40));
  series([](const Sample& s) { return s.uiCpu; }, maxCpu, QColor(240, 150, 0));
  series([](const Sample& s) { return s.rssMb; }, maxRss, QColor(30, 90, 200));

  // Legend.
  const struct {
    const char* text;
    QColor colour;
  } legend[] = {{"process CPU (% of one core)", QColor(200, 40, 40)},
                {"UI thread CPU", QColor(240, 150, 0)},
                {"resident memory (right axis)", QColor(30, 90, 200)}};
  double x = plot.left();
  for (const auto& item : legend) {
    p.setPen(QPen(item.colour, 3));
    p.drawLine(QPointF(x, height - 18), QPointF(x + 24, height - 18));
    p.setPen(Qt::black);
    p.drawText(QPointF(x + 30, height - 14), QString::fromLatin1(item.text));
    x += 270;
  }
  p.end();
  return image.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
