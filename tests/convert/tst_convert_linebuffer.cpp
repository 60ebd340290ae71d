// The raw line buffer: CR, LF and CR LF, chunk boundaries, the
// empty last line, past-the-end reads, and linear appending.

#include "linebuffer.h"

#include <QTest>

using dz::LineBuffer;
using namespace std::string_literals;

class TestConvertLineBuffer : public QObject {
  Q_OBJECT

private slots:
  void splitting_data();
  void splitting();
  void chunkSplitCrLf();
  void crAtChunkEndThenText();
  void everySplitPointGivesTheSameLines();
  void pastTheEnd();
  void textIsKeptUnchanged();
  void clear();
  void oneMegabyteInSmallChunksIsLinear();
};

namespace {
QStringList Lines(const LineBuffer& b)
{
  QStringList out;
  for (int i = 0; i < b.LineCount(); ++i)
    out << QString::fromStdString(std::string(b.Line(i)));
  return out;
}
} // namespace

void TestConvertLineBuffer::splitting_data()
{
  QTest::addColumn<QByteArray>("text");
  QTest::addColumn<QStringList>("lines");
  QTest::newRow("empty") << QByteArray("") << QStringList{};
  QTest::newRow("one line, no break") << QByteArray("12") << QStringList{"12"};
  QTest::newRow("CR LF") << QByteArray("1\r\n2\r\n") << QStringList{"1", "2"};
  QTest::newRow("LF") << QByteArray("1\n2\n") << QStringList{"1", "2"};
  QTest::newRow("CR") << QByteArray("1\r2\r") << QStringList{"1", "2"};
  QTest::newRow("no final break") << QByteArray("1\r\n2") << QStringList{"1", "2"};
  QTest::newRow("mixed") << QByteArray("1\r2\n3\r\n4") << QStringList{"1", "2", "3", "4"};
  QTest::newRow("break only") << QByteArray("\r\n") << QStringList{""};
  QTest::newRow("empty lines inside") << QByteArray("1\r\n\r\n2\r\n") << QStringList{"1", "", "2"};
  QTest::newRow("one empty last line not counted") << QByteArray("1\r\n\r\n") << QStringList{"1", ""};
  QTest::newRow("LF CR is two breaks") << QByteArray("1\n\r2") << QStringList{"1", "", "2"};
  QTest::newRow("CR CR LF") << QByteArray("1\r\r\n2") << QStringList{"1", "", "2"};
  QTest::newRow("blanks kept") << QByteArray(" 1 \r\n") << QStringList{" 1 "};
}

void TestConvertLineBuffer::splitting()
{
  QFETCH(QByteArray, text);
  QFETCH(QStringList, lines);
  LineBuffer b;
  b.Append(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
  QCOMPARE(b.LineCount(), lines.size());
  QCOMPARE(Lines(b), lines);
}

void TestConvertLineBuffer::chunkSplitCrLf()
{
  LineBuffer b;
  b.Append("1\r");
  QCOMPARE(b.LineCount(), 1);
  QCOMPARE(b.Line(0), std::string_view("1"));
  b.Append("\n2");
  QCOMPARE(b.LineCount(), 2); // one break, not two
  QCOMPARE(b.Line(0), std::string_view("1"));
  QCOMPARE(b.Line(1), std::string_view("2"));
  b.Append("\r");
  b.Append("\n");
  b.Append("\r");
  b.Append("\n");
  QCOMPARE(b.LineCount(), 3);
  QCOMPARE(b.Line(2), std::string_view(""));
}

void TestConvertLineBuffer::crAtChunkEndThenText()
{
  LineBuffer b;
  b.Append("1\r");
  b.Append("2\r");
  b.Append("");
  b.Append("3");
  QCOMPARE(Lines(b), (QStringList{"1", "2", "3"}));
}

void TestConvertLineBuffer::everySplitPointGivesTheSameLines()
{
  const std::string text = "0\r\n2\r\n\r4\n\n0\r\r\n 1\r\n";
  LineBuffer whole;
  whole.Append(text);
  for (std::size_t a = 0; a <= text.size(); ++a) {
    for (std::size_t c = a; c <= text.size(); ++c) {
      LineBuffer b;
      b.Append(std::string_view(text).substr(0, a));
      b.Append(std::string_view(text).substr(a, c - a));
      b.Append(std::string_view(text).substr(c));
      QCOMPARE(Lines(b), Lines(whole));
    }
  }
  LineBuffer bytes;
  for (char ch : text)
    bytes.Append(std::string_view(&ch, 1));
  QCOMPARE(Lines(bytes), Lines(whole));
  QCOMPARE(Lines(whole), (QStringList{"0", "2", "", "4", "", "0", "", " 1"}));
}

void TestConvertLineBuffer::pastTheEnd()
{
  LineBuffer b;
  QCOMPARE(b.Line(0), std::string_view());
  b.Append("1\r\n2\r\n");
  QCOMPARE(b.Line(2), std::string_view());
  QCOMPARE(b.Line(4095), std::string_view());
  QCOMPARE(b.Line(-1), std::string_view());
  QVERIFY(b.Line(2).empty());
}

void TestConvertLineBuffer::textIsKeptUnchanged()
{
  LineBuffer b;
  const std::string text = "1\r\n2\n3\r\0x\r\n"s;
  b.Append(std::string_view(text).substr(0, 5));
  b.Append(std::string_view(text).substr(5));
  QCOMPARE(b.Text(), text);
  QCOMPARE(b.Line(3), std::string_view("\0x", 2));
}

void TestConvertLineBuffer::clear()
{
  LineBuffer b;
  b.Append("1\r\n2\r");
  b.Clear();
  QCOMPARE(b.LineCount(), 0);
  QVERIFY(b.Text().empty());
  // After Clear a leading LF is a break of its own, not the end of an old CR LF.
  b.Append("\n3");
  QCOMPARE(Lines(b), (QStringList{"", "3"}));
}

void TestConvertLineBuffer::oneMegabyteInSmallChunksIsLinear()
{
  std::string text;
  int lines = 0;
  while (text.size() < (1u << 20)) {
    text += std::to_string(lines % 1000) + "\r\n";
    ++lines;
  }
  // A rescan per append or per line would make this take minutes (and time
  // out); linear work takes milliseconds. No time is asserted here: the
  // bench measures it.
  LineBuffer b;
  for (std::size_t i = 0; i < text.size(); i += 3)
    b.Append(std::string_view(text).substr(i, 3));
  // Every line read once: constant time each.
  std::size_t total = 0;
  for (int i = 0; i < b.LineCount(); ++i)
    total += b.Line(i).size();
  QCOMPARE(b.LineCount(), lines);
  QCOMPARE(b.Line(lines - 1), std::string_view(std::to_string((lines - 1) % 1000)));
  QCOMPARE(total, text.size() - 2 * static_cast<std::size_t>(lines));
}

QTEST_APPLESS_MAIN(TestConvertLineBuffer)
#include "tst_convert_linebuffer.moc"
