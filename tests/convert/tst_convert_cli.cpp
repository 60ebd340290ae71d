// dedizivi-cli convert, run as a separate process: CR, LF and CR LF
// inputs, standard input and output, failures (status 1, message with the
// sample number, no output file created or changed) and usage errors (2).

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestConvertCli : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void convertsEveryLineEnding_data();
  void convertsEveryLineEnding();
  void everyGoldenCase();
  void standardInputToStandardOutput();
  void radiationOptions();
  void radiationWithoutConstantFails();
  void shortStreamFails();
  void badPieceLeavesExistingOutput();
  void inputLargerThanAnyCard();
  void badLineIsQuotedShort();
  void lastLineWithoutItsEndConvertsAsItStands();
  void usageErrors_data();
  void usageErrors();
  void missingInputFile();
  void help();

private:
  struct Result {
    int status = -1;
    QByteArray out;
    QByteArray err;
  };
  Result Run(const QStringList& args, const QByteArray& input = {});
  QString Path(const QString& name) const { return m_dir.filePath(name); }
  static QByteArray Data(const QString& name);
  void Write(const QString& name, const QByteArray& bytes);

  QTemporaryDir m_dir;
};

QByteArray TestConvertCli::Data(const QString& name)
{
  QFile f(QStringLiteral(DZ_TEST_DATA "/convert/") + name);
  if (!f.open(QIODevice::ReadOnly))
    qFatal("cannot open %s", qPrintable(f.fileName()));
  return f.readAll();
}

void TestConvertCli::Write(const QString& name, const QByteArray& bytes)
{
  QFile f(Path(name));
  QVERIFY(f.open(QIODevice::WriteOnly));
  QCOMPARE(f.write(bytes), bytes.size());
}

TestConvertCli::Result TestConvertCli::Run(const QStringList& args, const QByteArray& input)
{
  QProcess p;
  p.setProgram(QStringLiteral(DZ_CLI_PATH));
  p.setArguments(args);
  p.start();
  if (!p.waitForStarted())
    qFatal("cannot start %s", DZ_CLI_PATH);
  p.write(input);
  p.closeWriteChannel();
  if (!p.waitForFinished(60000))
    qFatal("dedizivi-cli did not finish");
  Result r;
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

void TestConvertCli::initTestCase()
{
  QVERIFY(m_dir.isValid());
  QVERIFY(QFile::exists(QStringLiteral(DZ_CLI_PATH)));
}

void TestConvertCli::convertsEveryLineEnding_data()
{
  QTest::addColumn<QByteArray>("eol");
  QTest::newRow("CR LF") << QByteArray("\r\n");
  QTest::newRow("LF") << QByteArray("\n");
  QTest::newRow("CR") << QByteArray("\r");
}

void TestConvertCli::convertsEveryLineEnding()
{
  QFETCH(QByteArray, eol);
  QByteArray raw = Data("onechannel.raw");
  raw.replace("\r\n", eol);
  Write("in.raw", raw);
  QFile::remove(Path("out.txt"));
  const Result r = Run({"convert", "--model", "8", Path("in.raw"), "-o", Path("out.txt")});
  QCOMPARE(r.status, 0);
  QVERIFY(r.out.isEmpty());
  QVERIFY(r.err.isEmpty());
  QFile out(Path("out.txt"));
  QVERIFY(out.open(QIODevice::ReadOnly));
  QCOMPARE(out.readAll(), Data("model8.expected"));
}

void TestConvertCli::everyGoldenCase()
{
  for (const QByteArray& line : Data("cases.txt").split('\n')) {
    if (line.isEmpty() || line.startsWith('#'))
      continue;
    const QList<QByteArray> f = line.split(' ');
    QStringList args{"convert", "--model=" + QString::fromLatin1(f[1]), "--offset", QString::fromLatin1(f[3])};
    if (f[4] != "-")
      args << "--constant" << QString::fromLatin1(f[4]);
    args << QStringLiteral(DZ_TEST_DATA "/convert/") + QString::fromLatin1(f[2]);
    const Result r = Run(args);
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY2(r.out == Data(QString::fromLatin1(f[5])), f[0].constData());
  }
}

void TestConvertCli::standardInputToStandardOutput()
{
  const Result r = Run({"convert", "--model", "2"}, Data("thermocouple.raw"));
  QCOMPARE(r.status, 0);
  QCOMPARE(r.out, Data("model2.expected"));
  const Result dash = Run({"convert", "--model", "3", "-", "-o", "-"}, Data("lm335.raw"));
  QCOMPARE(dash.status, 0);
  QCOMPARE(dash.out, Data("model3.expected"));
}

void TestConvertCli::radiationOptions()
{
  QByteArray raw;
  for (int i = 0; i < 1024; ++i)
    raw += "1\r\n0\r\n0\r\n0\r\n"; // W = 256
  const Result r = Run({"convert", "--model", "4", "--constant", "10", "--offset", "6"}, raw);
  QCOMPARE(r.status, 0);
  QVERIFY(r.out.startsWith("500,0\r\n500,0\r\n"));
  QCOMPARE(r.out.count("\r\n"), 1024);
  const Result comma = Run({"convert", "--model", "4", "--constant", " 1,5 "}, raw);
  QCOMPARE(comma.status, 0);
  QVERIFY(comma.out.startsWith("3413,0\r\n")); // 5120 / 1,5 = 3413,3
  const Result point = Run({"convert", "--model", "4", "--constant", "1.5"}, raw);
  QCOMPARE(point.status, 1);
  QVERIFY(point.out.isEmpty());
  QVERIFY(point.err.contains("'1.5' is not a valid floating point value"));
  QVERIFY(point.err.contains("sample 1"));
  const Result zero = Run({"convert", "--model", "4", "--constant", "0"}, raw);
  QCOMPARE(zero.status, 1);
  QVERIFY(zero.err.contains("Floating point division by zero"));
}

void TestConvertCli::radiationWithoutConstantFails()
{
  const Result r = Run({"convert", "--model", "4", QStringLiteral(DZ_TEST_DATA "/convert/onechannel.raw"), "-o", Path("rad.txt")});
  QCOMPARE(r.status, 1);
  QVERIFY(r.err.contains("'' is not a valid floating point value"));
  QVERIFY(!QFile::exists(Path("rad.txt")));
}

void TestConvertCli::shortStreamFails()
{
  QByteArray raw = Data("onechannel.raw");
  raw.chop(raw.size() - raw.lastIndexOf("\r\n", raw.size() - 3) - 2); // 4095 lines
  QCOMPARE(raw.count("\r\n"), 4095);
  Write("short.raw", raw);
  const Result r = Run({"convert", "--model", "5", Path("short.raw"), "-o", Path("short.txt")});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.contains("'' is not a valid integer value"), r.err.constData());
  QVERIFY2(r.err.contains("sample 1024"), r.err.constData());
  QVERIFY(r.out.isEmpty());
  QVERIFY(!QFile::exists(Path("short.txt")));
  QCOMPARE(m_dir.path().isEmpty(), false);
  // No temporary file left behind either.
  QDir dir(m_dir.path());
  QVERIFY(dir.entryList({"short.txt*"}).isEmpty());
}

void TestConvertCli::badPieceLeavesExistingOutput()
{
  QByteArray raw = Data("twochannel.raw");
  const qsizetype at = raw.indexOf("\r\n", 200);
  raw.insert(at, "x"); // a line such as "4x"
  Write("bad.raw", raw);
  Write("existing.txt", "old contents\r\n");
  const Result r = Run({"convert", "--model", "0", Path("bad.raw"), "-o", Path("existing.txt")});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.contains("x' is not a valid integer value"), r.err.constData());
  QVERIFY2(r.err.contains("sample "), r.err.constData());
  QFile f(Path("existing.txt"));
  QVERIFY(f.open(QIODevice::ReadOnly));
  QCOMPARE(f.readAll(), QByteArray("old contents\r\n"));
  QCOMPARE(QDir(m_dir.path()).entryList({"existing.txt*"}), QStringList{"existing.txt"});

  // The good stream replaces it.
  const Result ok = Run({"convert", "--model", "0", QStringLiteral(DZ_TEST_DATA "/convert/twochannel.raw"),
                         "-o", Path("existing.txt")});
  QCOMPARE(ok.status, 0);
  f.close();
  QVERIFY(f.open(QIODevice::ReadOnly));
  QCOMPARE(f.readAll(), Data("model0.expected"));
}

// Input no card can be is refused as soon as that is known, without reading
// on: nothing aborts, nothing fills memory, no output is made.
void TestConvertCli::inputLargerThanAnyCard()
{
  QFile sparse(Path("huge.raw"));
  QVERIFY(sparse.open(QIODevice::WriteOnly));
  QVERIFY(sparse.resize(qint64(100) << 20));
  sparse.close();
  for (const QString& input : {Path("huge.raw"), QStringLiteral("/dev/zero")}) {
    const Result r = Run({"convert", "--model", "0", input, "-o", Path("huge.txt")});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("is larger than any logger card"), r.err.constData());
    QVERIFY(!QFile::exists(Path("huge.txt")));
  }
  QProcess endless;
  endless.setStandardInputFile(QStringLiteral("/dev/zero"));
  endless.start(QStringLiteral(DZ_CLI_PATH), {"convert", "--model", "0"});
  QVERIFY(endless.waitForFinished(60000));
  QCOMPARE(endless.exitCode(), 1);
  QVERIFY(endless.readAllStandardError().contains("standard input is larger than any logger card"));

  // A card with stray lines after it, up to the limit, still converts.
  QByteArray padded = Data("lm335.raw");
  while (padded.size() + 43 <= (1 << 20))
    padded += QByteArray(42, '0') + '\r';
  const Result r = Run({"convert", "--model", "3"}, padded);
  QCOMPARE(r.status, 0);
  QCOMPARE(r.out, Data("model3.expected"));
}

// A line of noise is quoted by its start, escaped: the message stays short
// and whole, and nothing it holds reaches the terminal raw.
void TestConvertCli::badLineIsQuotedShort()
{
  QByteArray raw = Data("onechannel.raw");
  qsizetype at = 0;
  for (int i = 0; i < 40; ++i) // line 41: sample 11
    at = raw.indexOf("\r\n", at) + 2;
  raw.replace(at, raw.indexOf("\r\n", at) - at, QByteArray("\x1b[2J\0", 5) + QByteArray(600000, '9'));
  Write("noise.raw", raw);
  const Result r = Run({"convert", "--model", "8", Path("noise.raw")});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.size() < 300, r.err.left(300).constData());
  QVERIFY2(r.err.contains("sample 11: '\\x1b[2J\\x00" + QByteArray(75, '9') + "\xe2\x80\xa6' is not a valid integer value"),
           r.err.constData());
}

// A last line without its line end is a line, as the window's buffer reads
// it: a full card whose stream just lacks the final line end converts whole
// (raw files kept from earlier versions convert as they did), and stderr says
// so. A line after the model's last one changes nothing and is not mentioned.
void TestConvertCli::lastLineWithoutItsEndConvertsAsItStands()
{
  QByteArray raw = Data("onechannel.raw");
  QVERIFY(raw.endsWith("\r\n"));
  raw.chop(2);
  Write("noend.raw", raw);
  const Result r = Run({"convert", "--model", "8", Path("noend.raw"), "-o", Path("noend.txt")});
  QVERIFY2(r.status == 0, r.err.constData());
  QVERIFY2(r.err.contains("the input ends without a line end: its last line was converted as it stands"),
           r.err.constData());
  QFile out(Path("noend.txt"));
  QVERIFY(out.open(QIODevice::ReadOnly));
  QCOMPARE(out.readAll(), Data("model8.expected"));

  QByteArray seven = Data("lm335.raw");
  seven.chop(1); // the closing line, after the 1170 records, loses its CR
  const Result closing = Run({"convert", "--model", "3"}, seven);
  QCOMPARE(closing.status, 0);
  QCOMPARE(closing.out, Data("model3.expected"));
  QVERIFY2(closing.err.isEmpty(), closing.err.constData());
}

void TestConvertCli::usageErrors_data()
{
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<QByteArray>("message");
  QTest::newRow("no command") << QStringList{} << QByteArray("Usage");
  QTest::newRow("unknown command") << QStringList{"frobnicate"} << QByteArray("unknown command");
  QTest::newRow("unknown option") << QStringList{"convert", "--model", "0", "--bogus"} << QByteArray("unknown option '--bogus'");
  QTest::newRow("no model") << QStringList{"convert"} << QByteArray("--model");
  QTest::newRow("model 9") << QStringList{"convert", "--model", "9"} << QByteArray("invalid model '9'");
  QTest::newRow("model -1") << QStringList{"convert", "--model", "-1"} << QByteArray("invalid model '-1'");
  QTest::newRow("model text") << QStringList{"convert", "--model", "two"} << QByteArray("invalid model");
  QTest::newRow("missing value") << QStringList{"convert", "--model"} << QByteArray("needs a value");
  QTest::newRow("two inputs") << QStringList{"convert", "--model", "0", "a", "b"} << QByteArray("more than one input");
}

void TestConvertCli::usageErrors()
{
  QFETCH(QStringList, args);
  QFETCH(QByteArray, message);
  const Result r = Run(args);
  QCOMPARE(r.status, 2);
  QVERIFY2(r.err.contains(message), r.err.constData());
  QVERIFY(r.out.isEmpty());
}

void TestConvertCli::missingInputFile()
{
  const Result r = Run({"convert", "--model", "0", Path("does-not-exist.raw"), "-o", Path("never.txt")});
  QCOMPARE(r.status, 2);
  QVERIFY(r.err.contains("does-not-exist.raw"));
  QVERIFY(!QFile::exists(Path("never.txt")));
}

void TestConvertCli::help()
{
  const Result r = Run({"convert", "--help"});
  QCOMPARE(r.status, 0);
  QVERIFY(r.out.contains("--model N"));
  QVERIFY(r.out.contains("--constant K"));
  QVERIFY(r.out.contains("Exit status"));
  QVERIFY(r.out.count('\n') <= 25); // one screen
  const Result top = Run({"--help"});
  QCOMPARE(top.status, 0);
  QVERIFY(top.out.contains("convert"));
}

QTEST_GUILESS_MAIN(TestConvertCli)
#include "tst_convert_cli.moc"
