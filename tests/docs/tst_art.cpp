// The pictures the build draws: present, decodable in their stated formats
// and sizes, and the desktop entry that installs with them.
#include "art.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QSettings>
#include <QtTest>

class TestArt : public QObject {
  Q_OBJECT

private slots:
  // Ten equipment pictures, real Windows bitmaps of a sensible size.
  void equipmentBitmaps()
  {
    const QStringList names = {"ostrel.bmp", "solmet.bmp", "brumel.bmp", "bajadat.bmp",
                               "heptel.bmp", "NTC2.bmp", "TERMOCUPLA.bmp", "LM35.bmp",
                               "SENSHUMI.bmp", "SENSORAD.bmp"};
    const QDir dir(QStringLiteral(DZ_PICTURES_DIR));
    QSet<QByteArray> contents;
    for (const QString& name : names) {
      QFile f(dir.filePath(name));
      QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(name));
      const QByteArray data = f.readAll();
      QVERIFY2(data.startsWith("BM"), qPrintable(name));
      QImage img;
      QVERIFY2(img.loadFromData(data, "BMP"), qPrintable(name));
      // twice the picture area, so that it is sharp on a screen at 200 %
      QCOMPARE(img.size(), QSize(2 * 259, 2 * 311));
      // not a blank page
      QVERIFY2(img.pixelColor(img.width() / 2, img.height() / 3) != img.pixelColor(2, 2) ||
                   img.pixelColor(img.width() / 2, img.height() / 2) != img.pixelColor(2, 2),
               qPrintable(name));
      contents.insert(data);
    }
    QCOMPARE(contents.size(), names.size());
  }

  // The main window's art under ":/art", each decoded by its own format.
  void mainWindowArt()
  {
    const struct {
      const char* path;
      QByteArray format;
      QSize size;
    } items[] = {
      // drawn at twice their size on screen (the program icon is large already)
      {dz::art::kBackground, "jpeg", {1278, 824}}, {dz::art::kBanner, "png", {402, 72}},
      {dz::art::kOpen, "png", {48, 48}},           {dz::art::kLimpiar, "png", {48, 48}},
      {dz::art::kGrafico, "png", {48, 48}},        {dz::art::kProgramIcon, "png", {256, 256}},
      {dz::art::kEraser, "png", {210, 210}},       {dz::art::kEraserCrossed, "png", {210, 210}},
    };
    QCOMPARE(dz::art::AllResources().size(), int(std::size(items)));
    for (const auto& item : items) {
      QImageReader reader(QString::fromLatin1(item.path));
      QCOMPARE(reader.format(), item.format);
      const QImage img = reader.read();
      QVERIFY2(!img.isNull(), qPrintable(reader.errorString()));
      QCOMPARE(img.size(), item.size);
      QVERIFY(dz::art::AllResources().contains(QString::fromLatin1(item.path)));
    }
    // the JPEG decoder is there for the background photograph
    QVERIFY(QImageReader::supportedImageFormats().contains("jpeg"));
  }

  // The ten 50x50 icons of the pictures window live in the docs library,
  // drawn at twice that.
  void buttonIcons()
  {
    for (int i = 0; i < 10; ++i) {
      const QImage img(QStringLiteral(":/docs/icons/icon%1.png").arg(i));
      QCOMPARE(img.size(), QSize(100, 100));
    }
  }

  // The menu entry starts the program where its pictures are.
  void desktopEntry()
  {
    QSettings entry(QStringLiteral(DZ_DESKTOP_FILE), QSettings::IniFormat);
    QVERIFY(QFile::exists(QStringLiteral(DZ_DESKTOP_FILE)));
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    QCOMPARE(entry.value("Name").toString(), QStringLiteral("DEDIZIVI"));
    QCOMPARE(entry.value("Exec").toString(), QStringLiteral("dedizivi"));
    QCOMPARE(entry.value("Icon").toString(), QStringLiteral("dedizivi"));
    QVERIFY(entry.value("Path").toString().endsWith(QStringLiteral("/dedizivi/pictures")));
    QVERIFY(!entry.value("Comment").toString().isEmpty());
  }
};

QTEST_MAIN(TestArt)
#include "tst_art.moc"
