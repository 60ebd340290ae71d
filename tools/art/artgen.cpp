// Draws every picture the program shows: the equipment pictures, their button
// icons and the main window's art. Run at build time, so the repository holds
// only this code and the pictures are always ours.
//
//   dz-artgen pictures DIR   ten equipment bitmaps (.bmp)
//   dz-artgen icons DIR      ten 50x50 button icons (.png)
//   dz-artgen main DIR       background, banner, button pictures, program icon

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>

namespace {

// Same output on every build: a small fixed-seed generator instead of rand().
struct Lcg {
  std::uint32_t s;
  explicit Lcg(std::uint32_t seed) : s(seed) {}
  double next()
  {
    s = s * 1664525u + 1013904223u;
    return (s >> 8) / double(1u << 24);
  }
};

QFont Sans(int px, bool bold = true)
{
  QFont f(QStringLiteral("Liberation Sans"));
  f.setPixelSize(px);
  f.setBold(bold);
  return f;
}

// Every picture is drawn at twice its size on screen, so that it stays sharp
// on screens at up to 200 %; at smaller scales it is shrunk smoothly. Drawing
// code works in on-screen pixels.
constexpr int kScale = 2;

QImage Canvas(int width, int height, QImage::Format format)
{
  return QImage(width * kScale, height * kScale, format);
}

// ---- equipment drawings on a 259x311 canvas --------------------------------

constexpr int kPicW = 259;
constexpr int kPicH = 311;

void Backdrop(QPainter& p)
{
  QLinearGradient g(0, 0, 0, kPicH);
  g.setColorAt(0, QColor(236, 240, 244));
  g.setColorAt(1, QColor(196, 204, 212));
  p.fillRect(0, 0, kPicW, kPicH, g);
  // a table edge to stand things on
  p.fillRect(0, 250, kPicW, kPicH - 250, QColor(160, 130, 100));
  p.fillRect(0, 250, kPicW, 4, QColor(120, 95, 70));
}

void Caption(QPainter& p, const QString& text)
{
  p.setFont(Sans(18));
  p.setPen(QColor(20, 40, 120));
  p.drawText(QRect(0, 268, kPicW, 36), Qt::AlignCenter, text);
}

// A logger: grey box, lid line, name plate, LED and the card slot.
void LoggerBox(QPainter& p, const QRect& r, const QString& name, const QColor& plate)
{
  p.setPen(QPen(QColor(60, 60, 60), 2));
  QLinearGradient g(r.topLeft(), r.bottomRight());
  g.setColorAt(0, QColor(215, 215, 210));
  g.setColorAt(1, QColor(150, 150, 145));
  p.setBrush(g);
  p.drawRoundedRect(r, 10, 10);
  p.drawLine(r.left() + 6, r.top() + 28, r.right() - 6, r.top() + 28);
  // screws
  p.setBrush(QColor(90, 90, 90));
  for (QPoint c : {r.topLeft() + QPoint(12, 12), r.topRight() + QPoint(-12, 12)})
    p.drawEllipse(c, 4, 4);
  QRect plateRect(r.left() + 18, r.top() + 42, r.width() - 36, 34);
  p.setBrush(plate);
  p.drawRect(plateRect);
  p.setFont(Sans(18));
  p.setPen(Qt::white);
  p.drawText(plateRect, Qt::AlignCenter, name);
  p.setFont(Sans(9, false));
  p.setPen(QColor(40, 40, 40));
  p.drawText(QRect(r.left(), plateRect.bottom() + 4, r.width(), 14), Qt::AlignCenter,
             QStringLiteral("VEXA-LOGGER"));
  // LED pair
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(40, 200, 60));
  p.drawEllipse(QPoint(r.left() + 28, r.bottom() - 24), 6, 6);
  p.setBrush(QColor(210, 40, 40));
  p.drawEllipse(QPoint(r.left() + 48, r.bottom() - 24), 6, 6);
  // card slot with the card half in
  p.setBrush(QColor(30, 30, 30));
  QRect slot(r.right() - 70, r.bottom() - 30, 50, 8);
  p.drawRect(slot);
  p.setBrush(QColor(40, 90, 170));
  p.drawRect(slot.left() + 6, slot.top() - 14, 38, 14);
}

void Cable(QPainter& p, QPointF from, QPointF to, const QColor& c, qreal width = 4)
{
  QPainterPath path(from);
  path.cubicTo(from + QPointF(0, 40), to + QPointF(0, -40), to);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(path);
}

void SteelProbe(QPainter& p, QPointF tip, qreal len)
{
  QLinearGradient g(tip.x() - 5, 0, tip.x() + 5, 0);
  g.setColorAt(0, QColor(130, 130, 130));
  g.setColorAt(0.5, QColor(240, 240, 240));
  g.setColorAt(1, QColor(120, 120, 120));
  p.setPen(QPen(QColor(70, 70, 70), 1));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(tip.x() - 5, tip.y() - len, 10, len), 4, 4);
}

void DrawOstrel(QPainter& p)
{
  Backdrop(p);
  LoggerBox(p, QRect(40, 40, 180, 150), QStringLiteral("OSTREL"), QColor(30, 110, 60));
  Cable(p, {90, 190}, {60, 235}, QColor(30, 30, 30));
  Cable(p, {170, 190}, {200, 235}, QColor(30, 30, 30));
  SteelProbe(p, {60, 262}, 30);
  SteelProbe(p, {200, 262}, 30);
  Caption(p, QStringLiteral("Ostrel - 2 canales"));
}

void DrawSolmet(QPainter& p)
{
  Backdrop(p);
  LoggerBox(p, QRect(20, 60, 150, 140), QStringLiteral("SOLMET"), QColor(200, 130, 20));
  // BNC connector on the side
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(200, 200, 205));
  p.drawRect(170, 150, 14, 16);
  Cable(p, {184, 158}, {215, 120}, QColor(20, 20, 20));
  // the sensor barrel with its white diffuser
  p.setBrush(QColor(190, 195, 200));
  p.drawRoundedRect(QRect(200, 60, 30, 60), 4, 4);
  p.setBrush(Qt::white);
  p.drawEllipse(QRect(198, 50, 34, 16));
  // a sun overhead
  p.setBrush(QColor(255, 210, 40));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPoint(60, 30), 16, 16);
  Caption(p, QStringLiteral("Solmet - radiación"));
}

void DrawBrumel(QPainter& p)
{
  Backdrop(p);
  LoggerBox(p, QRect(40, 40, 180, 150), QStringLiteral("BRUMEL"), QColor(30, 90, 180));
  Cable(p, {130, 190}, {130, 222}, QColor(30, 30, 30));
  // humidity probe with a slotted cap
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(235, 235, 235));
  p.drawRoundedRect(QRect(112, 222, 36, 36), 5, 5);
  p.setBrush(QColor(120, 120, 120));
  for (int i = 0; i < 4; ++i)
    p.drawRect(118 + i * 7, 230, 3, 20);
  Caption(p, QStringLiteral("Brumel - humedad"));
}

void DrawDownloader(QPainter& p)
{
  Backdrop(p);
  // the unit
  p.setPen(QPen(QColor(40, 40, 40), 2));
  QLinearGradient g(0, 90, 0, 180);
  g.setColorAt(0, QColor(70, 70, 80));
  g.setColorAt(1, QColor(30, 30, 40));
  p.setBrush(g);
  p.drawRoundedRect(QRect(70, 90, 120, 90), 8, 8);
  p.setFont(Sans(12));
  p.setPen(Qt::white);
  p.drawText(QRect(70, 96, 120, 20), Qt::AlignCenter, QStringLiteral("DOWNLOADER"));
  // the download button
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(220, 40, 40));
  p.drawEllipse(QPoint(130, 145), 16, 16);
  // serial plug and cable to the computer
  Cable(p, {70, 135}, {20, 60}, QColor(150, 150, 160), 6);
  p.setBrush(QColor(170, 170, 180));
  QPolygon db9;
  db9 << QPoint(6, 40) << QPoint(40, 40) << QPoint(36, 58) << QPoint(10, 58);
  p.drawPolygon(db9);
  // cable to the logger
  Cable(p, {190, 135}, {230, 240}, QColor(150, 150, 160), 6);
  Caption(p, QStringLiteral("Vexa-Downloader"));
}

void DrawHeptel(QPainter& p)
{
  Backdrop(p);
  LoggerBox(p, QRect(20, 30, 220, 150), QStringLiteral("HEPTEL"), QColor(150, 30, 30));
  // terminal block with six sensor leads
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(30, 120, 40));
  p.drawRect(40, 180, 180, 16);
  for (int i = 0; i < 6; ++i) {
    int x = 55 + i * 30;
    p.setBrush(QColor(200, 200, 200));
    p.drawEllipse(QPoint(x, 188), 4, 4);
    Cable(p, {qreal(x), 196}, {qreal(x - 10 + (i % 2) * 20), 250}, i % 2 ? QColor(200, 30, 30)
                                                                            : QColor(230, 230, 230),
          3);
  }
  Caption(p, QStringLiteral("Heptel - 7 canales"));
}

void DrawNtc(QPainter& p)
{
  Backdrop(p);
  // epoxy bead and two leads
  Cable(p, {110, 60}, {100, 240}, QColor(200, 40, 40), 3);
  Cable(p, {150, 60}, {160, 240}, QColor(40, 40, 40), 3);
  p.setPen(QPen(Qt::black, 1));
  QRadialGradient g(QPointF(125, 50), 30, QPointF(115, 40));
  g.setColorAt(0, QColor(250, 200, 120));
  g.setColorAt(1, QColor(150, 80, 20));
  p.setBrush(g);
  p.drawEllipse(QPointF(130, 50), 30, 24);
  p.setFont(Sans(16));
  p.setPen(QColor(60, 60, 60));
  p.drawText(QRect(150, 120, 100, 30), Qt::AlignCenter, QStringLiteral("NTC"));
  Caption(p, QStringLiteral("Sensor NTC"));
}

void DrawThermocouple(QPainter& p)
{
  Backdrop(p);
  // two twisted wires ending in a welded junction
  QPainterPath a, b;
  a.moveTo(60, 40);
  b.moveTo(60, 40);
  for (int i = 0; i <= 20; ++i) {
    qreal y = 40 + i * 9;
    qreal dx = 6 * std::sin(i * 1.2);
    a.lineTo(60 + i * 5 + dx, y);
    b.lineTo(60 + i * 5 - dx, y);
  }
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(210, 30, 30), 3));
  p.drawPath(a);
  p.setPen(QPen(QColor(240, 240, 240), 3));
  p.drawPath(b);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(120, 110, 100));
  p.drawEllipse(QPoint(60, 40), 6, 6);
  // miniature connector at the other end
  p.setBrush(QColor(250, 250, 250));
  p.drawRect(150, 220, 70, 26);
  p.setBrush(QColor(200, 170, 60));
  p.drawRect(220, 226, 16, 4);
  p.drawRect(220, 236, 16, 4);
  p.setFont(Sans(14));
  p.setPen(Qt::black);
  p.drawText(QRect(150, 220, 70, 26), Qt::AlignCenter, QStringLiteral("J"));
  Caption(p, QStringLiteral("Termocupla tipo J"));
}

void DrawLm35(QPainter& p)
{
  Backdrop(p);
  // TO-92 package with three legs inside a sleeve
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(25, 25, 25));
  QPainterPath body;
  body.moveTo(100, 120);
  body.lineTo(160, 120);
  body.lineTo(160, 80);
  body.arcTo(QRectF(100, 50, 60, 60), 0, 180);
  body.closeSubpath();
  p.drawPath(body);
  p.setFont(Sans(11));
  p.setPen(Qt::white);
  p.drawText(QRect(100, 86, 60, 20), Qt::AlignCenter, QStringLiteral("LM35"));
  p.setPen(QPen(QColor(190, 190, 190), 3));
  for (int x : {110, 130, 150})
    p.drawLine(x, 120, x, 160);
  // the sleeve, cut away
  p.setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRect(88, 40, 84, 135), 10, 10);
  Cable(p, {130, 175}, {130, 245}, QColor(40, 40, 40), 6);
  Caption(p, QStringLiteral("Sensor LM35Z"));
}

void DrawHumiditySensor(QPainter& p)
{
  Backdrop(p);
  // small capacitive chip on a board
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(20, 110, 50));
  p.drawRect(60, 90, 140, 100);
  p.setBrush(QColor(230, 200, 90));
  p.drawRect(100, 110, 60, 54);
  p.setPen(QPen(QColor(150, 120, 40), 2));
  for (int i = 0; i < 6; ++i)
    p.drawLine(106 + i * 9, 116, 106 + i * 9, 158);
  p.setPen(QPen(QColor(200, 200, 200), 3));
  for (int x : {100, 130, 160})
    p.drawLine(x, 190, x, 240);
  Caption(p, QStringLiteral("Sensor de humedad"));
}

void DrawRadiationSensor(QPainter& p)
{
  Backdrop(p);
  QLinearGradient g(95, 0, 165, 0);
  g.setColorAt(0, QColor(140, 145, 150));
  g.setColorAt(0.45, QColor(235, 238, 240));
  g.setColorAt(1, QColor(120, 125, 130));
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(g);
  p.drawRect(95, 70, 70, 130);
  p.setBrush(Qt::white);
  p.drawEllipse(QRect(92, 56, 76, 28));
  Cable(p, {130, 200}, {200, 245}, QColor(20, 20, 20), 6);
  p.setBrush(QColor(200, 200, 205));
  p.drawRect(196, 238, 26, 14);
  Caption(p, QStringLiteral("Sensor PAR"));
}

struct Equipment {
  const char* file;
  std::function<void(QPainter&)> draw;
};

// In the order of the button icons (icon 0 .. 9).
const Equipment kEquipment[] = {
  {"ostrel.bmp", DrawOstrel},     {"heptel.bmp", DrawHeptel},
  {"brumel.bmp", DrawBrumel},     {"solmet.bmp", DrawSolmet},
  {"bajadat.bmp", DrawDownloader}, {"LM35.bmp", DrawLm35},
  {"NTC2.bmp", DrawNtc},          {"TERMOCUPLA.bmp", DrawThermocouple},
  {"SENSHUMI.bmp", DrawHumiditySensor}, {"SENSORAD.bmp", DrawRadiationSensor},
};

QImage Equip(const Equipment& e)
{
  QImage img = Canvas(kPicW, kPicH, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(kScale, kScale);
  e.draw(p);
  return img;
}

bool Save(const QImage& img, const QString& path, const char* format, int quality = -1)
{
  if (!img.save(path, format, quality)) {
    std::fprintf(stderr, "dz-artgen: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

bool WritePictures(const QDir& dir)
{
  // 8-bit with a palette: a third of the size, and flat drawings lose nothing.
  for (const Equipment& e : kEquipment)
    if (!Save(Equip(e).convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither),
              dir.filePath(QString::fromLatin1(e.file)), "BMP"))
      return false;
  return true;
}

bool WriteIcons(const QDir& dir)
{
  int i = 0;
  for (const Equipment& e : kEquipment) {
    QImage icon = Canvas(50, 50, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    // crop off the caption strip, then fit the drawing into the square
    QImage drawing = Equip(e).copy(0, 0, kPicW * kScale, 250 * kScale)
                       .scaled(icon.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter p(&icon);
    p.drawImage((icon.width() - drawing.width()) / 2, (icon.height() - drawing.height()) / 2, drawing);
    p.end();
    if (!Save(icon, dir.filePath(QStringLiteral("icon%1.png").arg(i++)), "PNG"))
      return false;
  }
  return true;
}

// ---- main window art --------------------------------------------------------

QImage Background()
{
  const int w = 639, h = 412;
  QImage img = Canvas(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(kScale, kScale);
  QLinearGradient sky(0, 0, 0, h * 0.6);
  sky.setColorAt(0, QColor(60, 120, 200));
  sky.setColorAt(1, QColor(200, 225, 245));
  p.fillRect(0, 0, w, h, sky);
  // sun and a few clouds
  QRadialGradient sun(QPointF(520, 70), 60);
  sun.setColorAt(0, QColor(255, 250, 220));
  sun.setColorAt(0.3, QColor(255, 240, 170, 220));
  sun.setColorAt(1, QColor(255, 240, 170, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(sun);
  p.drawEllipse(QPointF(520, 70), 60, 60);
  Lcg rnd(7);
  p.setBrush(QColor(255, 255, 255, 170));
  for (int c = 0; c < 4; ++c) {
    qreal cx = 60 + c * 140 + rnd.next() * 40, cy = 40 + rnd.next() * 60;
    for (int k = 0; k < 6; ++k)
      p.drawEllipse(QPointF(cx + k * 14 - 35, cy + rnd.next() * 10 - 5), 22, 12 + rnd.next() * 6);
  }
  // three ranges of hills, far to near
  const QColor hill[] = {QColor(110, 140, 160), QColor(70, 130, 70), QColor(50, 110, 40)};
  for (int layer = 0; layer < 3; ++layer) {
    QPainterPath path;
    qreal base = h * (0.45 + layer * 0.08);
    path.moveTo(0, h);
    for (int x = 0; x <= w + 8; x += 8)
      path.lineTo(x, base - 30 * std::sin(x / (70.0 + layer * 40) + layer * 2) -
                         12 * std::sin(x / 23.0 + layer));
    path.lineTo(w, h);
    path.closeSubpath();
    p.setBrush(hill[layer]);
    p.drawPath(path);
  }
  // the field with furrows running to the horizon
  QPainterPath field;
  field.moveTo(0, h);
  field.lineTo(0, h * 0.72);
  field.cubicTo(w * 0.3, h * 0.68, w * 0.7, h * 0.74, w, h * 0.70);
  field.lineTo(w, h);
  field.closeSubpath();
  QLinearGradient fg(0, h * 0.7, 0, h);
  fg.setColorAt(0, QColor(170, 160, 70));
  fg.setColorAt(1, QColor(120, 100, 40));
  p.setBrush(fg);
  p.drawPath(field);
  p.setClipPath(field);
  p.setPen(QPen(QColor(95, 80, 35, 150), 2));
  for (int i = -20; i <= 20; ++i)
    p.drawLine(QPointF(w / 2.0 + i * 8, h * 0.70), QPointF(w / 2.0 + i * 70, h));
  p.setClipping(false);
  // a row of trees on the near hill
  for (int t = 0; t < 7; ++t) {
    qreal x = 40 + t * 28 + rnd.next() * 10, y = h * 0.66;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 55, 30));
    p.drawRect(QRectF(x - 2, y - 6, 4, 12));
    p.setBrush(QColor(30, 80 + int(rnd.next() * 30), 30));
    p.drawEllipse(QPointF(x, y - 14), 10, 14);
  }
  p.end();
  // grain, so it reads as a photograph
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      int n = int(rnd.next() * 13) - 6;
      QRgb c = line[x];
      line[x] = qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255),
                     qBound(0, qBlue(c) + n, 255));
    }
  }
  return img;
}

QImage Banner()
{
  QImage img = Canvas(201, 36, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(kScale, kScale);
  QLinearGradient g(0, 0, 0, 36);
  g.setColorAt(0, QColor(40, 80, 170));
  g.setColorAt(1, QColor(15, 35, 100));
  p.setPen(QPen(QColor(230, 230, 240), 1.5));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(1, 1, 199, 34), 8, 8);
  p.setFont(Sans(22));
  p.setPen(QColor(255, 210, 60));
  p.drawText(QRect(0, 0, 201, 36), Qt::AlignCenter, QStringLiteral("Vexa-Logger"));
  return img;
}

QImage Small(const std::function<void(QPainter&)>& draw)
{
  QImage img = Canvas(24, 24, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(kScale, kScale);
  draw(p);
  return img;
}

void DrawOpen(QPainter& p)
{
  // a download arrow into a tray
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(20, 140, 40));
  QPolygonF arrow;
  arrow << QPointF(9, 2) << QPointF(15, 2) << QPointF(15, 10) << QPointF(20, 10)
        << QPointF(12, 18) << QPointF(4, 10) << QPointF(9, 10);
  p.drawPolygon(arrow);
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF() << QPointF(2, 16) << QPointF(2, 22) << QPointF(22, 22)
                             << QPointF(22, 16));
}

void DrawLimpiar(QPainter& p)
{
  // a broom
  p.setPen(QPen(QColor(130, 80, 30), 2.5));
  p.drawLine(QPointF(20, 2), QPointF(10, 14));
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(230, 190, 60));
  QPolygonF head;
  head << QPointF(9, 12) << QPointF(13, 16) << QPointF(8, 23) << QPointF(1, 18);
  p.drawPolygon(head);
  p.setPen(QPen(QColor(160, 120, 20), 1));
  for (int i = 0; i < 4; ++i)
    p.drawLine(QPointF(8 - i * 1.5, 14 + i * 1.2), QPointF(3 + i * 1.5, 20 + i));
}

void DrawGrafico(QPainter& p)
{
  p.setPen(QPen(Qt::black, 1.5));
  p.drawLine(3, 2, 3, 21);
  p.drawLine(3, 21, 22, 21);
  p.setPen(QPen(QColor(210, 30, 30), 2));
  p.drawPolyline(QPolygonF() << QPointF(4, 17) << QPointF(9, 10) << QPointF(13, 14)
                             << QPointF(17, 5) << QPointF(22, 8));
  p.setPen(QPen(QColor(30, 60, 200), 2));
  p.drawPolyline(QPolygonF() << QPointF(4, 19) << QPointF(10, 16) << QPointF(15, 18)
                             << QPointF(22, 13));
}

QImage ProgramIcon()
{
  QImage img(256, 256, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 256, 256);
  g.setColorAt(0, QColor(215, 215, 210));
  g.setColorAt(1, QColor(140, 140, 135));
  p.setPen(QPen(QColor(50, 50, 50), 6));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(16, 24, 224, 208), 28, 28);
  // screen with a reading curve
  p.setPen(QPen(QColor(30, 30, 30), 4));
  p.setBrush(QColor(20, 60, 40));
  p.drawRoundedRect(QRectF(40, 48, 176, 110), 10, 10);
  p.setPen(QPen(QColor(90, 240, 110), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath curve;
  curve.moveTo(52, 130);
  for (int x = 52; x <= 204; x += 4)
    curve.lineTo(x, 103 - 32 * std::sin((x - 52) / 26.0) * std::exp(-(x - 52) / 300.0));
  p.setBrush(Qt::NoBrush);
  p.drawPath(curve);
  p.setFont(Sans(40));
  p.setPen(QColor(20, 40, 120));
  p.drawText(QRectF(16, 160, 224, 60), Qt::AlignCenter, QStringLiteral("DZ"));
  p.setPen(QPen(Qt::black, 2));
  p.setBrush(QColor(40, 200, 60));
  p.drawEllipse(QPointF(200, 190), 10, 10);
  return img;
}

void DrawEraserShape(QPainter& p, QPointF at, qreal angle)
{
  p.save();
  p.translate(at);
  p.rotate(angle);
  p.setPen(QPen(QColor(60, 40, 40), 1.5));
  p.setBrush(QColor(240, 120, 140));
  p.drawRoundedRect(QRectF(-26, -13, 34, 26), 4, 4);
  p.setBrush(QColor(60, 110, 200));
  p.drawRoundedRect(QRectF(8, -13, 20, 26), 4, 4);
  p.restore();
}

QImage Eraser(bool crossed)
{
  QImage img = Canvas(105, 105, QImage::Format_ARGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(kScale, kScale);
  if (!crossed) {
    // pencil scribble, its right half already rubbed out
    p.setPen(QPen(QColor(60, 60, 60), 2));
    QPainterPath scribble;
    scribble.moveTo(8, 70);
    for (int x = 8; x <= 52; x += 4)
      scribble.lineTo(x, 70 - 14 * std::sin(x / 5.0));
    p.drawPath(scribble);
    p.setPen(QPen(QColor(180, 180, 180), 1, Qt::DotLine));
    p.drawLine(54, 70, 90, 70);
    // crumbs
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 140, 150));
    for (QPointF c : {QPointF(60, 84), QPointF(68, 90), QPointF(76, 82), QPointF(83, 92)})
      p.drawEllipse(c, 2, 1.5);
    DrawEraserShape(p, {68, 52}, -25);
  } else {
    DrawEraserShape(p, {52, 52}, -25);
    p.setPen(QPen(QColor(220, 20, 20), 7, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(52.5, 52.5), 44, 44);
    p.drawLine(QPointF(21, 21), QPointF(84, 84));
  }
  return img;
}

bool WriteMain(const QDir& dir)
{
  return Save(Background(), dir.filePath(QStringLiteral("background.jpg")), "JPEG", 85) &&
         Save(Banner(), dir.filePath(QStringLiteral("banner.png")), "PNG") &&
         Save(Small(DrawOpen), dir.filePath(QStringLiteral("open.png")), "PNG") &&
         Save(Small(DrawLimpiar), dir.filePath(QStringLiteral("limpiar.png")), "PNG") &&
         Save(Small(DrawGrafico), dir.filePath(QStringLiteral("grafico.png")), "PNG") &&
         Save(ProgramIcon(), dir.filePath(QStringLiteral("dedizivi.png")), "PNG") &&
         Save(Eraser(false), dir.filePath(QStringLiteral("eraser.png")), "PNG") &&
         Save(Eraser(true), dir.filePath(QStringLiteral("eraser-crossed.png")), "PNG");
}

} // namespace

int main(int argc, char** argv)
{
  // Text needs the font database, hence a GUI application; no display is used.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: dz-artgen pictures|icons|main DIR\n");
    return 2;
  }
  const QString what = QString::fromLocal8Bit(argv[1]);
  QDir dir(QString::fromLocal8Bit(argv[2]));
  if (!dir.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "dz-artgen: cannot create %s\n", argv[2]);
    return 1;
  }
  bool ok = false;
  if (what == QLatin1String("pictures"))
    ok = WritePictures(dir);
  else if (what == QLatin1String("icons"))
    ok = WriteIcons(dir);
  else if (what == QLatin1String("main"))
    ok = WriteMain(dir);
  else
    std::fprintf(stderr, "dz-artgen: unknown set %s\n", argv[1]);
  return ok ? 0 : 1;
}
