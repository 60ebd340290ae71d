// The common conversion loop and its failure semantics, the radiation
// order of checks, and the saved data file layout.

#include "fake_target.h"

#include "conversion.h"
#include "datafile.h"
#include "errors.h"
#include "numberformat.h"

#include <QTest>

#include <algorithm>
#include <cstdio>

using namespace dz;

class TestConvertLoop : public QObject {
  Q_OBJECT

private slots:
  void init();

  void noModelDoesNothing();
  void stepsInOrder();
  void twoChannelSpecExample();
  void fullOneChannelCard();
  void badPieceStopsAtItsSample();
  void badPieceInSecondWord();
  void shortStreamStopsWithEmptyText();
  void extraLinesIgnored();
  void sevenChannelFullCard();
  void sevenChannelLastLineNotRead();
  void sevenChannelBadCharacter();
  void sixCharGroupFirstCharacter();
  void sevenChannelShortLine();
  void sevenChannelShortLineBadCharFirst();
  void sevenChannelMissingLine();
  void modelSwitchKeepsOtherCells();
  void radiationPanelAndFields();
  void radiationFailureOrder_data();
  void radiationFailureOrder();
  void radiationWithoutConstantStopsAtSample1();
  void humidityAllZeros();
  void decimalSeparatorInForce();

  void dataFileLayout();
  void dataFileOfEmptyGrid();
  void dataFileNoModel();
};

namespace {

std::vector<std::string> OneChannelLines(const std::vector<int>& words)
{
  std::vector<std::string> lines;
  for (int w : words)
    for (auto& l : WordLines(w))
      lines.push_back(l);
  return lines;
}

LineBuffer Buffer(const std::vector<std::string>& lines, const std::string& eol = "\r\n")
{
  LineBuffer b;
  b.Append(JoinLines(lines, eol));
  return b;
}

// Runs a conversion expected to fail; returns the error.
ConvertError Failure(int model, const LineBuffer& b, ConversionTarget& t)
{
  try {
    RunConversion(model, b, t);
  } catch (const ConvertError& e) {
    return e;
  }
  return ConvertError("(no error)", -1);
}

std::string ThermocoupleLine(int ref, int channel)
{
  const auto group = [](int w) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%d%03d", w / 256, w % 256);
    return std::string(buf);
  };
  std::string line = group(ref);
  for (int i = 0; i < 6; ++i)
    line += group(channel);
  return line;
}

} // namespace

void TestConvertLoop::init()
{
  UseProgramSeparators();
}

void TestConvertLoop::noModelDoesNothing()
{
  FakeTarget t;
  t.grid->SetCell(3, 3, "keep");
  const LineBuffer b = Buffer(OneChannelLines(std::vector<int>(1024, 240)));
  RunConversion(-1, b, t);
  RunConversion(9, b, t);
  QVERIFY(t.log.empty());
  QCOMPARE(t.title, std::string("(untouched)"));
  QCOMPARE(t.progress, -1);
  QCOMPARE(t.grid->Cell(3, 3), std::string("keep"));
  QCOMPARE(t.grid->Cell(0, 1), std::string());
}

void TestConvertLoop::stepsInOrder()
{
  FakeTarget t;
  const LineBuffer b = Buffer(OneChannelLines(std::vector<int>(1024, 240)));
  RunConversion(8, b, t);
  QCOMPARE(t.log, (std::vector<std::string>{"hide", "title", "reset"}));
  QCOMPARE(t.title, std::string("1 CANAL DE TEMPERATURA SENSOR LM35 EN \u00b0C, 1024 DATOS,"));
  QCOMPARE(t.progressMaximum, 1024);
  QCOMPARE(t.progress, 1024);
  QCOMPARE(t.grid->Cell(1, 0), std::string("CANAL1"));
  QCOMPARE(t.grid->Cell(0, 0), std::string()); // never written
  QCOMPARE(t.grid->Cell(0, 1), std::string("1"));
  QCOMPARE(t.grid->Cell(0, 1024), std::string("1024"));
  QCOMPARE(t.grid->Cell(0, 1025), std::string());
  QCOMPARE(t.grid->Cell(1, 1024), std::string("0,0"));
  QCOMPARE(t.grid->Cell(2, 1), std::string());
}

void TestConvertLoop::twoChannelSpecExample()
{
  std::vector<std::string> lines{"0", "2", "4", "0", "0", "0", "0", "0", "1", "0", "0", "0", "0", "2", "4", "0"};
  lines.resize(4096, "0");
  FakeTarget t;
  RunConversion(0, Buffer(lines), t);
  QCOMPARE(t.grid->Cell(1, 0), std::string("CANAL1"));
  QCOMPARE(t.grid->Cell(2, 0), std::string("CANAL2"));
  QCOMPARE(t.grid->Cell(1, 1), std::string("0,0"));
  QCOMPARE(t.grid->Cell(2, 1), std::string("-24,0"));
  QCOMPARE(t.grid->Cell(1, 2), std::string("1,6"));
  QCOMPARE(t.grid->Cell(2, 2), std::string("0,0"));
  QCOMPARE(t.grid->Cell(1, 512), std::string("-24,0"));
  QCOMPARE(t.grid->Cell(0, 512), std::string("512"));
  QCOMPARE(t.grid->Cell(0, 513), std::string());
  QCOMPARE(t.progress, 512);
  QCOMPARE(t.progressMaximum, 512);
}

void TestConvertLoop::fullOneChannelCard()
{
  // Exactly 4096 lines convert all 1024 rows.
  std::vector<int> words(1024);
  for (int i = 0; i < 1024; ++i)
    words[static_cast<std::size_t>(i)] = i;
  FakeTarget t;
  RunConversion(7, Buffer(OneChannelLines(words)), t);
  QCOMPARE(t.progress, 1024);
  QCOMPARE(t.grid->Cell(1, 1), std::string("0"));
  QCOMPARE(t.grid->Cell(1, 1024), std::string("1023"));
  QCOMPARE(t.title, std::string("1CH MILIVOLTIOS"));
}

void TestConvertLoop::badPieceStopsAtItsSample()
{
  auto lines = OneChannelLines(std::vector<int>(1024, 250));
  lines[4 * 4 + 2] = "x"; // sample 5, third line
  FakeTarget t;
  t.grid->SetCell(1, 5, "old");
  t.grid->SetCell(1, 6, "older");
  const ConvertError e = Failure(8, Buffer(lines), t);
  QCOMPARE(std::string(e.what()), std::string("'x' is not a valid integer value"));
  QCOMPARE(e.Sample(), 5);
  QCOMPARE(t.progress, 4);
  QCOMPARE(t.grid->Cell(1, 4), std::string("1,0"));
  QCOMPARE(t.grid->Cell(1, 5), std::string("old")); // the failing sample's cell untouched
  QCOMPARE(t.grid->Cell(1, 6), std::string("older"));
  // Title, column title and all sample numbers were written before.
  QCOMPARE(t.grid->Cell(1, 0), std::string("CANAL1"));
  QCOMPARE(t.grid->Cell(0, 1024), std::string("1024"));
  QVERIFY(t.title.starts_with("1 CANAL DE TEMPERATURA"));
}

void TestConvertLoop::badPieceInSecondWord()
{
  // A two-channel sample whose channel 2 fails leaves channel 1 unwritten too.
  std::vector<std::string> lines(4096, "0");
  lines[8 * 2 + 5] = " 1 ";
  FakeTarget t;
  const ConvertError e = Failure(1, Buffer(lines), t);
  QCOMPARE(std::string(e.what()), std::string("' 1 ' is not a valid integer value"));
  QCOMPARE(e.Sample(), 3);
  QCOMPARE(t.progress, 2);
  QCOMPARE(t.grid->Cell(1, 2), std::string("-120,8"));
  QCOMPARE(t.grid->Cell(1, 3), std::string());
  QCOMPARE(t.grid->Cell(2, 3), std::string());
}

void TestConvertLoop::shortStreamStopsWithEmptyText()
{
  auto lines = OneChannelLines(std::vector<int>(1024, 0));
  lines.pop_back(); // 4095 lines
  FakeTarget t;
  const ConvertError e = Failure(5, Buffer(lines), t);
  QCOMPARE(std::string(e.what()), std::string("'' is not a valid integer value"));
  QCOMPARE(e.Sample(), 1024);
  QCOMPARE(t.progress, 1023);
  QCOMPARE(t.grid->Cell(1, 1023), std::string("0,0"));
  QCOMPARE(t.grid->Cell(1, 1024), std::string());
  QCOMPARE(t.grid->Cell(0, 1024), std::string("1024"));
}

void TestConvertLoop::extraLinesIgnored()
{
  auto lines = OneChannelLines(std::vector<int>(1024, 241));
  lines.push_back("garbage");
  lines.push_back("x");
  FakeTarget t;
  RunConversion(8, Buffer(lines), t);
  QCOMPARE(t.progress, 1024);
  QCOMPARE(t.grid->Cell(1, 1024), std::string("0,1"));
}

void TestConvertLoop::sevenChannelFullCard()
{
  std::vector<std::string> lines(1170, ThermocoupleLine(250, 750));
  lines[0] = "0250" + std::string() + "0500050005000500050005000500";
  FakeTarget t;
  RunConversion(2, Buffer(lines, "\n"), t);
  QCOMPARE(t.progress, 1170);
  QCOMPARE(t.title, std::string("7 CANALES TERMOCUPLA TIPO \"J\" EN \u00b0C"));
  QCOMPARE(t.grid->Cell(1, 0), std::string("REF"));
  QCOMPARE(t.grid->Cell(7, 0), std::string("CANAL6"));
  for (int c = 1; c <= 7; ++c)
    QCOMPARE(t.grid->Cell(c, 1), std::string("50,0"));
  QCOMPARE(t.grid->Cell(1, 1170), std::string("50,0"));
  QCOMPARE(t.grid->Cell(7, 1170), std::string("75,0"));
  QCOMPARE(t.grid->Cell(0, 1170), std::string("1170"));
}

void TestConvertLoop::sevenChannelLastLineNotRead()
{
  std::vector<std::string> lines(1170, ThermocoupleLine(250, 500));
  lines.push_back("not a record at all"); // line 1171 of a complete download
  FakeTarget t;
  RunConversion(2, Buffer(lines), t);
  QCOMPARE(t.progress, 1170);
}

void TestConvertLoop::sevenChannelBadCharacter()
{
  std::vector<std::string> lines(1170, ThermocoupleLine(250, 500));
  lines[9][13] = ' ';
  FakeTarget t;
  const ConvertError e = Failure(2, Buffer(lines), t);
  QCOMPARE(std::string(e.what()), std::string("' ' is not a valid integer value"));
  QCOMPARE(e.Sample(), 10);
  QCOMPARE(t.progress, 9);
}

void TestConvertLoop::sixCharGroupFirstCharacter()
{
  std::vector<std::string> lines(1170, "010171" + std::string() + "011165011165011165011165011165011165");
  lines[1] = "910171911165911165911165911165911165911165";
  lines[2] = "A10171011165011165011165011165011165011165";
  FakeTarget t;
  const ConvertError e = Failure(3, Buffer(lines, "\r"), t);
  QCOMPARE(std::string(e.what()), std::string("'A' is not a valid integer value"));
  QCOMPARE(e.Sample(), 3);
  for (int row = 1; row <= 2; ++row) {
    QCOMPARE(t.grid->Cell(1, row), std::string("0,0"));
    for (int c = 2; c <= 7; ++c)
      QCOMPARE(t.grid->Cell(c, row), std::string("25,0"));
  }
  QCOMPARE(t.title, std::string("7 CANALES LM35Z EN \u00b0C"));
}

void TestConvertLoop::sevenChannelShortLine()
{
  std::vector<std::string> lines(1170, ThermocoupleLine(250, 500));
  lines[11].resize(20);
  FakeTarget t;
  const ConvertError e = Failure(2, Buffer(lines), t);
  QCOMPARE(std::string(e.what()), std::string("Line 12 is too short for sample 12 (28 characters needed, 20 found)"));
  QCOMPARE(e.Sample(), 12);
  QCOMPARE(t.progress, 11);
  QCOMPARE(t.grid->Cell(1, 12), std::string());

  // A model 3 line of 41 characters; the next line's characters are not taken.
  std::vector<std::string> lm(1170, std::string(42, '0'));
  lm[0].pop_back();
  FakeTarget t3;
  const ConvertError e3 = Failure(3, Buffer(lm), t3);
  QCOMPARE(std::string(e3.what()), std::string("Line 1 is too short for sample 1 (42 characters needed, 41 found)"));
  QCOMPARE(e3.Sample(), 1);
  QCOMPARE(t3.progress, 0);
}

void TestConvertLoop::sevenChannelShortLineBadCharFirst()
{
  // Pieces are met in stream order: a bad character before the end is reported first.
  std::vector<std::string> lines(1170, ThermocoupleLine(250, 500));
  lines[0] = "02x0";
  FakeTarget t;
  const ConvertError e = Failure(2, Buffer(lines), t);
  QCOMPARE(std::string(e.what()), std::string("'x' is not a valid integer value"));
  QCOMPARE(e.Sample(), 1);
}

void TestConvertLoop::sevenChannelMissingLine()
{
  std::vector<std::string> lines(1000, ThermocoupleLine(250, 500));
  FakeTarget t;
  const ConvertError e = Failure(2, Buffer(lines), t);
  QCOMPARE(std::string(e.what()), std::string("Line 1001 is missing for sample 1001 (the stream has 1000 lines)"));
  QCOMPARE(e.Sample(), 1001);
  QCOMPARE(t.progress, 1000);
  QCOMPARE(t.grid->Cell(7, 1000), std::string("50,0"));
}

void TestConvertLoop::modelSwitchKeepsOtherCells()
{
  FakeTarget t;
  RunConversion(3, Buffer(std::vector<std::string>(1171, std::string(42, '0'))), t);
  QCOMPARE(t.grid->Cell(1, 0), std::string("REF"));
  QCOMPARE(t.grid->Cell(7, 1170), std::string("-273,0"));
  RunConversion(8, Buffer(OneChannelLines(std::vector<int>(1024, 241))), t);
  QCOMPARE(t.grid->Cell(1, 0), std::string("CANAL1"));
  QCOMPARE(t.grid->Cell(2, 0), std::string("CANAL1")); // the seven-channel titles stay
  QCOMPARE(t.grid->Cell(7, 0), std::string("CANAL6"));
  QCOMPARE(t.grid->Cell(1, 1024), std::string("0,1"));
  QCOMPARE(t.grid->Cell(1, 1025), std::string("-273,0"));
  QCOMPARE(t.grid->Cell(0, 1170), std::string("1170"));
  QCOMPARE(t.grid->Cell(2, 1), std::string("-273,0"));
  QCOMPARE(t.progressMaximum, 1024);
  QCOMPARE(t.progress, 1024);
}

void TestConvertLoop::radiationPanelAndFields()
{
  FakeTarget t;
  t.offset = "6";
  t.constant = "10";
  RunConversion(4, Buffer(OneChannelLines(std::vector<int>(1024, 256))), t);
  QCOMPARE(t.hideCalls, 0); // the radiation routine leaves the panel alone
  QCOMPARE(t.log, (std::vector<std::string>{"title", "reset"}));
  QCOMPARE(t.offsetReads, 1024); // read afresh for every sample
  QCOMPARE(t.constantReads, 1024);
  QCOMPARE(t.grid->Cell(1, 1), std::string("500,0"));
  QCOMPARE(t.grid->Cell(1, 1024), std::string("500,0"));
  QCOMPARE(t.title, std::string("RADIACION PAR EN uMOL S-1 M-2"));

  for (int model : {0, 1, 2, 3, 5, 6, 7, 8}) {
    FakeTarget other;
    try {
      RunConversion(model, LineBuffer(), other);
    } catch (const ConvertError&) {
    }
    QCOMPARE(other.hideCalls, 1);
    QCOMPARE(other.offsetReads, 0);
  }
}

void TestConvertLoop::radiationFailureOrder_data()
{
  QTest::addColumn<QString>("badPiece"); // replaces line 2 of sample 3 when not empty
  QTest::addColumn<QString>("offset");
  QTest::addColumn<QString>("constant");
  QTest::addColumn<int>("word"); // sample 3's word
  QTest::addColumn<QString>("message");
  QTest::addColumn<int>("offsetReads");
  QTest::addColumn<int>("constantReads");
  // Samples 1 and 2 are good; reads count them plus what sample 3 got to.
  QTest::newRow("line before offset") << "y" << "z" << "w" << 0 << "'y' is not a valid integer value" << 2 << 2;
  QTest::newRow("offset before constant") << "" << "6 " << "w" << 0 << "'6 ' is not a valid integer value" << 3 << 2;
  QTest::newRow("empty offset") << "" << "" << "10" << 0 << "'' is not a valid integer value" << 3 << 2;
  QTest::newRow("constant before division") << "" << "6" << "1.5" << 0 << "'1.5' is not a valid floating point value" << 3 << 3;
  QTest::newRow("empty constant") << "" << "6" << "" << 6 << "'' is not a valid floating point value" << 3 << 3;
  QTest::newRow("division by zero") << "" << "6" << "0" << 256 << "Floating point division by zero" << 3 << 3;
  QTest::newRow("invalid operation") << "" << "6" << "0,0" << 6 << "Invalid floating point operation" << 3 << 3;
  QTest::newRow("overflow") << "" << "0" << "1E-40" << 1000 << "Floating point overflow" << 3 << 3;
  QTest::newRow("negative overflow") << "" << "0" << "-1E-40" << 1000 << "Floating point overflow" << 3 << 3;
}

void TestConvertLoop::radiationFailureOrder()
{
  QFETCH(QString, badPiece);
  QFETCH(QString, offset);
  QFETCH(QString, constant);
  QFETCH(int, word);
  QFETCH(QString, message);
  QFETCH(int, offsetReads);
  QFETCH(int, constantReads);

  // The fields hold good texts for samples 1 and 2 and the bad ones from sample 3 on.
  class Switching final : public ConversionTarget {
  public:
    FakeTarget inner;
    std::string badOffset, badConstant;
    CellGrid& Grid() override { return inner.Grid(); }
    void SetTitle(const std::string& s) override { inner.SetTitle(s); }
    void ProgressReset(int m) override { inner.ProgressReset(m); }
    void ProgressStep() override { inner.ProgressStep(); }
    void HideRadiationPanel() override { inner.HideRadiationPanel(); }
    std::string RadiationOffsetText() override
    {
      ++inner.offsetReads;
      return inner.progress < 2 ? "0" : badOffset;
    }
    std::string RadiationConstantText() override
    {
      ++inner.constantReads;
      return inner.progress < 2 ? "10" : badConstant;
    }
  } t;
  t.badOffset = offset.toStdString();
  t.badConstant = constant.toStdString();

  std::vector<int> words(1024, 500);
  words[2] = word;
  auto lines = OneChannelLines(words);
  if (!badPiece.isEmpty())
    lines[8 + 1] = badPiece.toStdString();

  const ConvertError e = Failure(4, Buffer(lines), t);
  QCOMPARE(QString::fromStdString(e.what()), message);
  QCOMPARE(e.Sample(), 3);
  QCOMPARE(t.inner.progress, 2);
  QCOMPARE(t.inner.offsetReads, offsetReads);
  QCOMPARE(t.inner.constantReads, constantReads);
  QCOMPARE(t.inner.grid->Cell(1, 2), std::string("1000,0"));
  QCOMPARE(t.inner.grid->Cell(1, 3), std::string());
}

void TestConvertLoop::radiationWithoutConstantStopsAtSample1()
{
  FakeTarget t; // Edit1 starts empty
  const ConvertError e = Failure(4, Buffer(OneChannelLines(std::vector<int>(1024, 256))), t);
  QCOMPARE(std::string(e.what()), std::string("'' is not a valid floating point value"));
  QCOMPARE(e.Sample(), 1);
  QCOMPARE(t.progress, 0);
  QCOMPARE(t.grid->Cell(1, 0), std::string("CANAL1"));
  QCOMPARE(t.grid->Cell(0, 1024), std::string("1024"));
  QCOMPARE(t.grid->Cell(1, 1), std::string());
}

void TestConvertLoop::humidityAllZeros()
{
  for (int model : {5, 6}) {
    FakeTarget t;
    RunConversion(model, Buffer(std::vector<std::string>(4096, "0")), t);
    QCOMPARE(t.progress, 1024);
    QCOMPARE(t.progressMaximum, 1024);
    for (int row = 1; row <= 1024; ++row)
      QCOMPARE(t.grid->Cell(1, row), std::string("0,0"));
    QCOMPARE(t.title, std::string("HUMEDAD RELATIVA EN \u00b0HR"));
    const std::string file = DataFileContents(model, *t.grid);
    std::string expected;
    for (int i = 0; i < 1024; ++i)
      expected += "0,0\r\n";
    QCOMPARE(file, expected);
  }
}

void TestConvertLoop::decimalSeparatorInForce()
{
  ProgramNumberFormat().DecimalSeparator = '.';
  FakeTarget t;
  t.constant = "1.5";
  RunConversion(4, Buffer(OneChannelLines(std::vector<int>(1024, 150))), t);
  QCOMPARE(t.grid->Cell(1, 1), std::string("2000.0"));
  t.constant = "1,5";
  const ConvertError e = Failure(4, Buffer(OneChannelLines(std::vector<int>(1024, 150))), t);
  QCOMPARE(std::string(e.what()), std::string("'1,5' is not a valid floating point value"));
}

void TestConvertLoop::dataFileLayout()
{
  CellGrid grid;
  grid.SetCell(0, 1, "1"); // never written to the file
  grid.SetCell(1, 0, "CANAL1");
  grid.SetCell(1, 1, "23,4");
  grid.SetCell(2, 1, "-24,0");
  grid.SetCell(1, 2, "1,79E4");
  grid.SetCell(3, 1, "x");
  const std::string two = DataFileContents(0, grid);
  QVERIFY(two.starts_with("23,4 -24,0\r\n1,79E4 \r\n \r\n"));
  QCOMPARE(std::count(two.begin(), two.end(), '\n'), 512);
  QVERIFY(two.ends_with(" \r\n"));
  const std::string seven = DataFileContents(2, grid);
  QVERIFY(seven.starts_with("23,4 -24,0 x    \r\n1,79E4      \r\n"));
  QCOMPARE(std::count(seven.begin(), seven.end(), '\n'), 1170);
  const std::string one = DataFileContents(7, grid);
  QVERIFY(one.starts_with("23,4\r\n1,79E4\r\n\r\n"));
  QCOMPARE(one.size(), std::size_t(4 + 2 + 6 + 2 + 1022 * 2));
}

void TestConvertLoop::dataFileOfEmptyGrid()
{
  // 1024 empty lines, 512 lines of one space, 1170 lines of six spaces.
  CellGrid grid;
  std::string one, two, seven;
  for (int i = 0; i < 1024; ++i)
    one += "\r\n";
  for (int i = 0; i < 512; ++i)
    two += " \r\n";
  for (int i = 0; i < 1170; ++i)
    seven += "      \r\n";
  QCOMPARE(DataFileContents(5, grid), one);
  QCOMPARE(DataFileContents(1, grid), two);
  QCOMPARE(DataFileContents(3, grid), seven);
}

void TestConvertLoop::dataFileNoModel()
{
  CellGrid grid;
  grid.SetCell(1, 1, "1,0");
  QCOMPARE(DataFileContents(-1, grid), std::string());
  QCOMPARE(DataFileContents(9, grid), std::string());
}

QTEST_APPLESS_MAIN(TestConvertLoop)
#include "tst_convert_loop.moc"
