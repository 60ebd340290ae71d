// FormatFixed and the two text syntaxes (stream pieces, radiation constant).

#include "errors.h"
#include "formatfixed.h"
#include "textsyntax.h"

#include <QTest>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace dz;

class TestConvertText : public QObject {
  Q_OBJECT

private slots:
  void formatFixedSpecExamples_data();
  void formatFixedSpecExamples();
  void formatFixedTricky_data();
  void formatFixedTricky();
  void formatFixedSeparator();
  void formatFixedNonFinite();

  void strToIntValid_data();
  void strToIntValid();
  void strToIntInvalid_data();
  void strToIntInvalid();

  void strToFloatValid_data();
  void strToFloatValid();
  void strToFloatInvalid_data();
  void strToFloatInvalid();
  void strToFloatFollowsSeparator();
};

namespace {
void AddFormat(const char* name, float v, int P, int D, const char* text)
{
  QTest::newRow(name) << v << P << D << QString::fromLatin1(text);
}
} // namespace

void TestConvertText::formatFixedSpecExamples_data()
{
  QTest::addColumn<float>("v");
  QTest::addColumn<int>("P");
  QTest::addColumn<int>("D");
  QTest::addColumn<QString>("text");
  // The documented examples.
  AddFormat("23.4", 23.4f, 4, 1, "23,4");
  AddFormat("-24", -24.0f, 4, 1, "-24,0");
  AddFormat("0.04", 0.04f, 4, 1, "0,0");
  AddFormat("-0.04", -0.04f, 4, 1, "0,0");
  AddFormat("99.8 P3", 99.8f, 3, 1, "99,8");
  AddFormat("100.2 P3", 100.2f, 3, 1, "100,0");
  AddFormat("100.5 P3", 100.5f, 3, 1, "101,0");
  AddFormat("1023 D0", 1023.0f, 4, 0, "1023");
  AddFormat("10000 D0", 10000.0f, 4, 0, "1E4");
  AddFormat("17900", 17900.0f, 4, 1, "1,79E4");
  // Documented edge cases of the conversions.
  AddFormat("100.2 P4", 100.2f, 4, 1, "100,2");
  AddFormat("1538.46", 1538.4615f, 4, 1, "1538,0");
  AddFormat("20460", 20460.0f, 4, 1, "2,046E4");
  AddFormat("10240 D0", 10240.0f, 4, 0, "1,024E4");
  AddFormat("9999 D0", 9999.0f, 4, 0, "9999");
  AddFormat("-273 P3", -273.0f, 3, 1, "-273,0");
  AddFormat("205 P3", 204.6f, 3, 1, "205,0");
}

void TestConvertText::formatFixedSpecExamples()
{
  QFETCH(float, v);
  QFETCH(int, P);
  QFETCH(int, D);
  QFETCH(QString, text);
  QCOMPARE(QString::fromStdString(FormatFixed(v, P, D, ',')), text);
}

void TestConvertText::formatFixedTricky_data()
{
  QTest::addColumn<float>("v");
  QTest::addColumn<int>("P");
  QTest::addColumn<int>("D");
  QTest::addColumn<QString>("text");
  // The float nearest 99.95 is 99.94999694...: the dropped digit is a 4.
  AddFormat("99.95f P3", 99.95f, 3, 1, "99,9");
  AddFormat("99.96f P3", 99.96f, 3, 1, "100,0");
  AddFormat("999.9 P3 carry to exponent", 999.9f, 3, 1, "1E3");
  AddFormat("999.95 P4 carry", 999.95f, 4, 1, "1000,0");
  AddFormat("9999.5 P4 carry to exponent", 9999.5f, 4, 1, "1E4");
  AddFormat("9999.4 P4", 9999.4f, 4, 1, "9999,0");
  AddFormat("9999.6 D0", 9999.6f, 4, 0, "1E4");
  AddFormat("1000 P3", 1000.0f, 3, 1, "1E3");
  AddFormat("1000 P4", 1000.0f, 4, 1, "1000,0");
  AddFormat("9.95f", 9.95f, 4, 1, "9,9"); // 9.9499998...
  AddFormat("9.96f", 9.96f, 4, 1, "10,0");
  AddFormat("0.95f P3", 0.95f, 3, 1, "0,9"); // 0.94999999...
  AddFormat("0.96 carry into units", 0.96f, 4, 1, "1,0");
  AddFormat("100.05f", 100.05f, 4, 1, "100,1"); // 100.05000305...
  // Going up with k = 0.
  AddFormat("0.05", 0.05f, 4, 1, "0,1");
  AddFormat("-0.05", -0.05f, 4, 1, "-0,1");
  AddFormat("0.049", 0.049f, 4, 1, "0,0");
  AddFormat("-0.049", -0.049f, 4, 1, "0,0");
  AddFormat("0.5 D0", 0.5f, 4, 0, "1");
  AddFormat("-0.5 D0", -0.5f, 4, 0, "-1");
  AddFormat("0.4 D0", 0.4f, 4, 0, "0");
  AddFormat("-0.4 D0", -0.4f, 4, 0, "0");
  // k negative: nothing left.
  AddFormat("0.004", 0.004f, 4, 1, "0,0");
  AddFormat("-0.0096", -0.0096f, 4, 1, "0,0");
  // Zeros.
  AddFormat("0", 0.0f, 4, 1, "0,0");
  AddFormat("-0", -0.0f, 4, 1, "0,0");
  AddFormat("0 D0", 0.0f, 4, 0, "0");
  AddFormat("-0 D0", -0.0f, 4, 0, "0");
  // Negatives in both forms.
  AddFormat("-0.1", -0.1f, 4, 1, "-0,1");
  AddFormat("-24 D0", -24.0f, 4, 0, "-24");
  AddFormat("-123456", -123456.0f, 4, 1, "-1,235E5");
  AddFormat("-10000", -10000.0f, 4, 1, "-1E4");
  AddFormat("12345.6", 12345.6f, 4, 1, "1,235E4");
  AddFormat("12340", 12340.0f, 4, 1, "1,234E4");
  // Huge and tiny floats.
  AddFormat("FLT_MAX", FLT_MAX, 4, 1, "3,403E38");
  AddFormat("-FLT_MAX", -FLT_MAX, 4, 1, "-3,403E38");
  AddFormat("1e10", 1e10f, 4, 1, "1E10");
  AddFormat("1e-30", 1e-30f, 4, 1, "0,0");
  AddFormat("FLT_MIN", FLT_MIN, 4, 1, "0,0");
  AddFormat("denormal", std::numeric_limits<float>::denorm_min(), 4, 1, "0,0");
  AddFormat("-denormal", -std::numeric_limits<float>::denorm_min(), 4, 0, "0");
  // Values just below and above powers of ten.
  AddFormat("99.99", 99.99f, 4, 1, "100,0");
  AddFormat("999.94", 999.94f, 4, 1, "999,9");
  AddFormat("0.1", 0.1f, 4, 1, "0,1");
  AddFormat("1", 1.0f, 4, 1, "1,0");
  AddFormat("10", 10.0f, 4, 1, "10,0");
  AddFormat("100 P3", 100.0f, 3, 1, "100,0");
  AddFormat("25.04 P3", 25.04f, 3, 1, "25,0");
  AddFormat("25.05f P3", 25.05f, 3, 1, "25,0"); // 25.04999923...
}

void TestConvertText::formatFixedTricky()
{
  QFETCH(float, v);
  QFETCH(int, P);
  QFETCH(int, D);
  QFETCH(QString, text);
  QCOMPARE(QString::fromStdString(FormatFixed(v, P, D, ',')), text);
}

void TestConvertText::formatFixedSeparator()
{
  QCOMPARE(FormatFixed(23.4f, 4, 1, '.'), std::string("23.4"));
  QCOMPARE(FormatFixed(17900.0f, 4, 1, '.'), std::string("1.79E4"));
  QCOMPARE(FormatFixed(-0.04f, 4, 1, '.'), std::string("0.0"));
  QCOMPARE(FormatFixed(1234.0f, 4, 1, '.'), std::string("1234.0")); // no thousands separator
}

void TestConvertText::formatFixedNonFinite()
{
  QCOMPARE(FormatFixed(std::numeric_limits<float>::infinity(), 4, 1, ','), std::string("INF"));
  QCOMPARE(FormatFixed(-std::numeric_limits<float>::infinity(), 4, 1, ','), std::string("-INF"));
  QCOMPARE(FormatFixed(std::numeric_limits<float>::quiet_NaN(), 4, 1, ','), std::string("NAN"));
}

void TestConvertText::strToIntValid_data()
{
  QTest::addColumn<QByteArray>("text");
  QTest::addColumn<int>("value");
  QTest::newRow("0") << QByteArray("0") << 0;
  QTest::newRow("digits") << QByteArray("1023") << 1023;
  QTest::newRow("leading zeros") << QByteArray("007") << 7;
  QTest::newRow("leading blanks") << QByteArray("   12") << 12;
  QTest::newRow("plus") << QByteArray("+5") << 5;
  QTest::newRow("minus") << QByteArray("-5") << -5;
  QTest::newRow("blank then minus") << QByteArray(" -3") << -3;
  QTest::newRow("minus zero") << QByteArray("-0") << 0;
  QTest::newRow("dollar") << QByteArray("$1F") << 31;
  QTest::newRow("dollar lower") << QByteArray("$1f") << 31;
  QTest::newRow("x") << QByteArray("x1f") << 31;
  QTest::newRow("X") << QByteArray("X1F") << 31;
  QTest::newRow("0x") << QByteArray("0x1F") << 31;
  QTest::newRow("0X") << QByteArray("0X1f") << 31;
  QTest::newRow("minus dollar") << QByteArray("-$10") << -16;
  QTest::newRow("blank plus 0x") << QByteArray(" +0x10") << 16;
  QTest::newRow("max") << QByteArray("2147483647") << 2147483647;
  QTest::newRow("min") << QByteArray("-2147483648") << int(-2147483647 - 1);
  QTest::newRow("hex max") << QByteArray("$7FFFFFFF") << 2147483647;
  QTest::newRow("hex min") << QByteArray("-$80000000") << int(-2147483647 - 1);
  QTest::newRow("many leading zeros") << QByteArray("000000000000000000012") << 12;
  QTest::newRow("out of range piece 12") << QByteArray("12") << 12;
}

void TestConvertText::strToIntValid()
{
  QFETCH(QByteArray, text);
  QFETCH(int, value);
  QCOMPARE(StrToInt(std::string_view(text.constData(), text.size())), value);
}

void TestConvertText::strToIntInvalid_data()
{
  QTest::addColumn<QByteArray>("text");
  QTest::addColumn<QByteArray>("quoted"); // as the message shows it
  const auto row = [](const char* name, const QByteArray& text, const QByteArray& quoted = {}) {
    QTest::newRow(name) << text << (quoted.isNull() ? text : quoted);
  };
  row("empty", "");
  row("blanks", "   ");
  row("trailing blank", "12 ");
  row("tab", "\t1", "\\x091");
  row("CR", "1\r", "1\\x0d");
  row("fraction", "1.5");
  row("comma", "1,5");
  row("letters", "abc");
  row("letter x alone", "x");
  row("dollar alone", "$");
  row("0x alone", "0x");
  row("sign alone", "-");
  row("plus alone", "+");
  row("double sign", "--1");
  row("blank after sign", "- 1");
  row("bad hex digit", "$1G");
  row("hex digits without prefix", "1F");
  row("exponent", "1e3");
  row("too big", "2147483648");
  row("too small", "-2147483649");
  row("hex too big", "$80000000");
  row("hex far too big", "$FFFFFFFFF");
  row("huge", "99999999999999999999999");
  // A NUL no longer cuts the message short, noise cannot drive a terminal.
  row("NUL inside", QByteArray("1\0" "2", 3), "1\\x002");
  row("escape sequence", "\x1b[2J7", "\\x1b[2J7");
  row("DEL and C1 control", "1\x7f\xc2\x85", "1\\x7f\\xc2\\x85");
  row("bytes that are no UTF-8", "\xff\xc3", "\\xff\\xc3");
  row("UTF-8 kept", "1\xc2\xb5", "1\xc2\xb5");
  row("backslash doubled", "1\\x00", "1\\\\x00");
  // A line of noise is quoted by its first 80 characters and an ellipsis.
  row("81 characters cut to 80", QByteArray(80, '7') + "x", QByteArray(80, '7') + "\xe2\x80\xa6");
  row("a megabyte line", QByteArray(1 << 20, 'z'), QByteArray(80, 'z') + "\xe2\x80\xa6");
  row("escapes count as one", QByteArray(100, '\0'), QByteArray("\\x00").repeated(80) + "\xe2\x80\xa6");
  row("ellipsis only when cut", QByteArray(79, '8') + "\xc3\xa9", QByteArray(79, '8') + "\xc3\xa9");
}

void TestConvertText::strToIntInvalid()
{
  QFETCH(QByteArray, text);
  QFETCH(QByteArray, quoted);
  const std::string_view view(text.constData(), static_cast<std::size_t>(text.size()));
  QVERIFY(!TryStrToInt(view));
  try {
    StrToInt(view);
    QFAIL("no error");
  } catch (const ConvertError& e) {
    QCOMPARE(QByteArray(e.what()), "'" + quoted + "' is not a valid integer value");
    QCOMPARE(e.Sample(), 0);
  }
}

void TestConvertText::strToFloatValid_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<double>("value");
  QTest::newRow("integer") << "10" << 10.0;
  QTest::newRow("comma fraction") << "1,3" << 1.3;
  QTest::newRow("blanks around") << "  1,5  " << 1.5;
  QTest::newRow("minus") << "-1" << -1.0;
  QTest::newRow("plus") << "+2" << 2.0;
  QTest::newRow("trailing separator") << "1," << 1.0;
  QTest::newRow("leading separator") << ",5" << 0.5;
  QTest::newRow("exponent") << "1E3" << 1000.0;
  QTest::newRow("exponent lower negative") << "1e-3" << 0.001;
  QTest::newRow("exponent plus") << "2,5E+2" << 250.0;
  QTest::newRow("zero") << "0" << 0.0;
  QTest::newRow("zero fraction") << "0,000" << 0.0;
  QTest::newRow("blank then exponent") << " 66 " << 66.0;
  QTest::newRow("tiny") << "1E-40" << 1e-40;
}

void TestConvertText::strToFloatValid()
{
  QFETCH(QString, text);
  QFETCH(double, value);
  const std::string s = text.toStdString();
  QCOMPARE(static_cast<double>(StrToFloat(s, ',')), value);
}

void TestConvertText::strToFloatInvalid_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("quoted"); // as the message shows it
  const auto row = [](const char* name, const QString& text, const QString& quoted = {}) {
    QTest::newRow(name) << text << (quoted.isNull() ? text : quoted);
  };
  row("empty", "");
  row("blanks", "   ");
  row("point under comma", "1.5");
  row("two separators", "1,2,3");
  row("separator alone", ",");
  row("sign alone", "-");
  row("exponent alone", "E5");
  row("exponent without digits", "1E");
  row("exponent sign without digits", "1E+");
  row("letters", "abc");
  row("blank inside", "1 5");
  row("garbage after", "1,5x");
  row("thousands separator", "1.000,5");
  row("hex", "$10");
  row("tab", "\t1", "\\x091");
  row("overflow", "1E5000");
  row("inf", "INF");
  row("nan", "NAN");
  row("long", QString(200, '9') + "x", QString(80, '9') + QChar(0x2026));
}

void TestConvertText::strToFloatInvalid()
{
  QFETCH(QString, text);
  QFETCH(QString, quoted);
  const std::string s = text.toStdString();
  QVERIFY(!TryStrToFloat(s, ','));
  try {
    StrToFloat(s, ',');
    QFAIL("no error");
  } catch (const ConvertError& e) {
    QCOMPARE(QString::fromUtf8(e.what()), "'" + quoted + "' is not a valid floating point value");
  }
}

void TestConvertText::strToFloatFollowsSeparator()
{
  QCOMPARE(static_cast<double>(StrToFloat("1.5", '.')), 1.5);
  QVERIFY(!TryStrToFloat("1,5", '.'));
  QVERIFY(!TryStrToFloat("1.5", ','));
  // Held as the nearest long double, not a double.
  QCOMPARE(StrToFloat("1,3", ','), 1.3L);
  QCOMPARE(StrToFloat("0,0024", ','), 0.0024L);
}

QTEST_APPLESS_MAIN(TestConvertText)
#include "tst_convert_text.moc"
