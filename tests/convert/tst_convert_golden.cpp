// Golden files: each raw stream of tests/data/convert converted into an empty
// grid and exported must equal its expected data file byte for byte. The
// expected files come from tests/data/convert/make_golden.py, an independent
// reference written from the documented rules (exact rational arithmetic); a
// few lines are also checked here against the documented examples.

#include "fake_target.h"

#include "conversion.h"
#include "datafile.h"
#include "errors.h"
#include "numberformat.h"

#include <QFile>
#include <QTest>

using namespace dz;

class TestConvertGolden : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void golden_data();
  void golden();
  void lineEndsDoNotMatter();
  void handCheckedLines();
};

namespace {

const QString kDir = QStringLiteral(DZ_TEST_DATA "/convert/");

QByteArray ReadFile(const QString& name)
{
  QFile f(kDir + name);
  if (!f.open(QIODevice::ReadOnly))
    qFatal("cannot open %s", qPrintable(f.fileName()));
  return f.readAll();
}

std::string Convert(int model, const QByteArray& raw, const std::string& offset, const std::string& constant)
{
  LineBuffer buffer;
  buffer.Append(std::string_view(raw.constData(), static_cast<std::size_t>(raw.size())));
  FakeTarget t;
  t.offset = offset;
  t.constant = constant;
  RunConversion(model, buffer, t);
  return DataFileContents(model, *t.grid);
}

// The n-th line (from 1) of a data file, without CR LF.
QByteArray FileLine(const QByteArray& file, int n)
{
  return file.split('\n').value(n - 1).chopped(1);
}

} // namespace

void TestConvertGolden::initTestCase()
{
  ProgramNumberFormat().DecimalSeparator = ',';
}

void TestConvertGolden::golden_data()
{
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("input");
  QTest::addColumn<QString>("offset");
  QTest::addColumn<QString>("constant");
  QTest::addColumn<QString>("expected");
  const QList<QByteArray> lines = ReadFile("cases.txt").split('\n');
  int cases = 0;
  for (const QByteArray& line : lines) {
    if (line.isEmpty() || line.startsWith('#'))
      continue;
    const QList<QByteArray> f = line.split(' ');
    QCOMPARE(f.size(), 6);
    const QString constant = f[4] == "-" ? QString() : QString::fromLatin1(f[4]);
    QTest::newRow(f[0].constData()) << f[1].toInt() << QString::fromLatin1(f[2]) << QString::fromLatin1(f[3])
                                    << constant << QString::fromLatin1(f[5]);
    ++cases;
  }
  QVERIFY(cases >= 9);
}

void TestConvertGolden::golden()
{
  QFETCH(int, model);
  QFETCH(QString, input);
  QFETCH(QString, offset);
  QFETCH(QString, constant);
  QFETCH(QString, expected);
  const std::string actual = Convert(model, ReadFile(input), offset.toStdString(), constant.toStdString());
  const QByteArray want = ReadFile(expected);
  if (actual != want.toStdString()) {
    const QList<QByteArray> a = QByteArray::fromStdString(actual).split('\n');
    const QList<QByteArray> b = want.split('\n');
    for (int i = 0; i < std::max(a.size(), b.size()); ++i)
      if (a.value(i) != b.value(i))
        QFAIL(qPrintable(QString("line %1: got '%2', expected '%3'")
                           .arg(i + 1)
                           .arg(QString::fromLatin1(a.value(i)).trimmed(), QString::fromLatin1(b.value(i)).trimmed())));
    QFAIL("outputs differ");
  }
}

void TestConvertGolden::lineEndsDoNotMatter()
{
  // The same two-channel stream with CR, LF and CR LF, and split oddly into chunks.
  const QByteArray crlf = ReadFile("twochannel.raw");
  QByteArray lf = crlf;
  lf.replace("\r\n", "\n");
  QByteArray cr = crlf;
  cr.replace("\r\n", "\r");
  const std::string expected = ReadFile("model0.expected").toStdString();
  QCOMPARE(Convert(0, lf, "0", ""), expected);
  QCOMPARE(Convert(0, cr, "0", ""), expected);
  LineBuffer chunked;
  for (qsizetype i = 0; i < crlf.size(); i += 7)
    chunked.Append(std::string_view(crlf.constData() + i, static_cast<std::size_t>(std::min<qsizetype>(7, crlf.size() - i))));
  FakeTarget t;
  RunConversion(0, chunked, t);
  QCOMPARE(DataFileContents(0, *t.grid), expected);
}

void TestConvertGolden::handCheckedLines()
{
  // Documented examples placed at the start of the streams.
  const QByteArray m0 = ReadFile("model0.expected");
  QCOMPARE(FileLine(m0, 1), QByteArray("0,0 -24,0"));
  QCOMPARE(FileLine(m0, 2), QByteArray("1,6 0,0"));
  QCOMPARE(FileLine(m0, 8), QByteArray("78,3 78,3"));
  QCOMPARE(FileLine(m0, 11), QByteArray("23,3 20,8")); // W = 473 and 448, worked by hand
  const QByteArray m1 = ReadFile("model1.expected");
  QCOMPARE(FileLine(m1, 7), QByteArray("-22,8 87,5"));
  QCOMPARE(FileLine(m1, 8), QByteArray("295,4 295,4"));
  QCOMPARE(FileLine(m1, 11), QByteArray("71,6 61,5"));
  const QByteArray m2 = ReadFile("model2.expected");
  QCOMPARE(FileLine(m2, 1), QByteArray("50,0 50,0 50,0 50,0 50,0 50,0 50,0"));
  QCOMPARE(FileLine(m2, 2), QByteArray("50,0 0,0 49,9 50,0 50,1 75,0 102,0"));
  QCOMPARE(FileLine(m2, 3), QByteArray("0,2 -49,8 0,1 0,2 -49,8 0,1 0,2"));
  QCOMPARE(FileLine(m2, 13), QByteArray("26,6 30,7 41,3 46,6 58,3 15,7 45,4"));
  const QByteArray m3 = ReadFile("model3.expected");
  QCOMPARE(FileLine(m3, 1), QByteArray("0,0 25,0 25,0 25,0 25,0 25,0 25,0"));
  QCOMPARE(FileLine(m3, 2), FileLine(m3, 1));
  QCOMPARE(FileLine(m3, 3), QByteArray("-273,0 -0,1 0,0 0,1 25,0 100,0 101,0"));
  QCOMPARE(FileLine(ReadFile("model4_o6_k10.expected"), 22), QByteArray("500,0"));
  QCOMPARE(FileLine(ReadFile("model4_o0_k1_3.expected"), 24), QByteArray("1538,0"));
  QCOMPARE(FileLine(ReadFile("model5.expected"), 13), QByteArray("50,0"));
  QCOMPARE(FileLine(ReadFile("model6.expected"), 18), QByteArray("35,2"));
  const QByteArray m7 = ReadFile("model7.expected");
  QCOMPARE(FileLine(m7, 19), QByteArray("9999"));
  QCOMPARE(FileLine(m7, 20), QByteArray("1E4"));
  QCOMPARE(FileLine(m7, 21), QByteArray("1,024E4"));
  QCOMPARE(FileLine(ReadFile("model8.expected"), 6), QByteArray("78,3"));
}

QTEST_APPLESS_MAIN(TestConvertGolden)
#include "tst_convert_golden.moc"
